// The looping audio output the player needs: 44100 Hz, signed 16-bit, stereo (left first),
// playing one ring buffer over and over from the moment it is started, and reporting how
// many bytes it has played as a wrapping 32-bit count. The mixer thread's poll wait and its
// priority request live here too, so that a test double can control time.
#pragma once
#include <cstdint>

struct AudioOutput {
    // Opens the default output device. False when it cannot be opened.
    bool (*open)();
    // Starts playing `ring` (`bytes` long) in an endless loop from byte 0; the played-bytes
    // count restarts at 0. The ring stays in use until reset.
    void (*play_loop)(const int16_t* ring, uint32_t bytes);
    // Bytes played since play_loop, wrapping at 2^32. False when the device cannot tell;
    // then *bytes is left alone.
    bool (*position)(uint32_t* bytes);
    // Stops playback; afterwards the ring is no longer read.
    void (*reset)();
    void (*close)();
    // The mixer thread's pause between two polls of the position (about 5 ms).
    void (*poll_wait)();
    // Ends a pending or the next poll_wait early (called after a stop is requested).
    void (*wake)();
    // Asks for the highest scheduling priority available to the calling thread.
    void (*raise_priority)();
};

// The SDL2 device (the default output).
const AudioOutput* audio_output_sdl();
