// The player's process-wide state beyond the six operations: the ring, the block table,
// the output device selection and the set-up shared by playback and offline rendering.
#pragma once
#include <atomic>
#include <cstdint>

#include "audio/player.h"

#include "platform/thread.h"

struct AudioOutput;

extern Song* current_song;
extern int16_t* pcm_ring;                   // ring_frames x 2 samples
extern uint8_t* mix_buffer_allocation;      // ring_frames x 8 + 256 bytes
extern float* mix_buffer;                   // 16-byte aligned inside the allocation
// Written by the mixer thread while the main thread reads other entries.
extern std::atomic<BlockInfo>* block_table; // block_count entries
extern int32_t next_block_to_fill;          // touched by one thread at a time
extern std::atomic<int32_t> playing_block;  // always 0..block_count - 1

// Called by the block filler after every tick with whether the tick started a row;
// null (set by player_prepare) when nobody watches. Offline rendering uses it to notice
// when the song comes back to a row it has played.
using PlayerTickObserver = void (*)(Song* song, bool row_start);
extern PlayerTickObserver player_tick_observer;

// The device that is open (null when none) and the mixer thread; player_start sets them,
// player_release ends and closes them.
extern const AudioOutput* open_output;
extern PlatformThread mixer_thread_handle;

// The device the player opens from now on; null selects the SDL device again.
void player_set_output(const AudioOutput* output);

// The start of playback without buffers: every voice silent with its own index and a step
// of 1, the song's playback fields at their start, the song's channels cleared on voices
// 0..n-1. The sequencer tests step songs from here.
void player_reset_song_state(Song* song);
// Steps shared by player_start and offline rendering: sizes, voices, the song's playback
// fields, channels, current_song and the block table. False (state partly set) when the
// block table cannot be allocated; false with nothing changed for a song of more than 32
// channels.
bool player_prepare(Song* song);
// Allocates the PCM ring and the mix buffer; false when either allocation fails.
bool player_allocate_buffers();
// Stops the thread, releases the buffers and closes the device: player_stop without
// the null test.
void player_release();

// The mixer thread's entry: polls the device and refills every block it has finished.
int mixer_thread(void* unused);
