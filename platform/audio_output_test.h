// A test double of the output device. It plays nothing: the test sets the reported play
// position and lets the mixer thread take its polls one at a time, so refills, positions
// and stops can be checked without any timing.
#pragma once
#include <cstdint>

#include "platform/audio_output.h"

const AudioOutput* audio_output_test();

// Back to a closed device with position 0, no failures armed and all counters at 0.
void audio_output_test_reset();
// The next opens fail (true) or succeed (false).
void audio_output_test_fail_open(bool fail);
// The byte count the device reports from now on.
void audio_output_test_set_position(uint32_t bytes);
// Position queries fail (true) or succeed (false).
void audio_output_test_fail_position(bool fail);

// Waits until the mixer thread is in its poll wait. False if it never gets there (a guard
// against a hung test after 10 s, not a timing check).
bool audio_output_test_wait_idle();
// Lets the waiting mixer thread take exactly one poll and waits until it is back in its
// wait; false as above.
bool audio_output_test_step();
// Lets the waiting mixer thread take one poll and returns at once, so the caller can run
// alongside it; audio_output_test_wait_idle then waits for it to finish.
bool audio_output_test_release();

struct AudioOutputTestState {
    bool open;
    bool playing;                 // between play_loop and reset
    const int16_t* ring;          // as given to play_loop
    uint32_t ring_bytes;
    int open_calls;
    int close_calls;
    int reset_calls;
    int play_calls;
    int priority_requests;
    int position_queries;
};
AudioOutputTestState audio_output_test_state();
