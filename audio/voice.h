// One mixer voice.
#pragma once
#include <cstdint>
#include "module/song.h"

constexpr int voice_count = 256;   // allocated
constexpr int mixed_voices = 64;   // mixed: channel i drives voice i or i + 32

struct Voice {
    int32_t index;
    int32_t volume;
    int32_t pan;
    uint32_t start_offset;
    const Sample* sample;
    int32_t gain_right;
    int32_t gain_left;
    int32_t position;
    uint32_t position_frac;
    uint32_t step_frac;
    int32_t step_int;
    int32_t direction;        // 1 forward, anything else backward
    int32_t last_gain_right;
    int32_t last_gain_left;
    uint32_t ramp_gain_right;
    uint32_t ramp_gain_left;
    float ramp_step_right;
    float ramp_step_left;
    int32_t ramp_left;
};

extern Voice voices[voice_count];
