// The player's process-wide state and the six operations the front end uses.
#pragma once
#include <atomic>
#include <cstdint>
#include "module/song.h"
#include "module/stream.h"
#include "module/xm_reader.h"

struct BlockInfo {
    uint8_t order;
    uint8_t row;
};

// Sizes derived by player_start from the fixed format (initialised to the same values).
extern int32_t block_frames;   // 884
extern int32_t ring_frames;    // 88400
extern int32_t block_count;    // 100
extern int32_t ramp_frames;    // 128
extern float inv_ramp;         // 1 / 128

// Flags shared with the mixer thread; each has a single writer.
extern std::atomic<uint8_t> stop_request;
extern std::atomic<uint8_t> mixing_busy;
extern std::atomic<uint8_t> thread_exited;

bool player_start(Song* song);
bool player_stop(Song* song);
int32_t player_get_order(Song* song);
int32_t player_get_row(Song* song);
void fill_block();
void float_to_pcm16(int16_t* dst, const float* src, int32_t frames);
