// Per-channel sequencer state and the update flags that carry a tick's changes to the voice.
#pragma once
#include <cstdint>

struct Voice;

constexpr uint8_t update_pitch = 1;
constexpr uint8_t update_volume = 2;
constexpr uint8_t update_panning = 4;
constexpr uint8_t update_trigger = 8;
constexpr uint8_t update_restart = 32;

constexpr int max_channels = 32;

struct ChannelState {
    uint8_t note;
    uint8_t update_flags;
    Voice* voice;
    int32_t period;
    int32_t volume;
    int32_t panning;
    int32_t volume_delta;
    int32_t period_delta;
    int32_t vol_env_tick;
    int32_t vol_env_point;
    int32_t vol_env_value;
    int32_t vol_env_out;
    int32_t vol_env_step;
    uint8_t vol_env_done;
    int32_t pan_env_tick;
    int32_t pan_env_point;
    int32_t pan_env_value;
    int32_t pan_env_out;
    int32_t pan_env_step;
    uint8_t pan_env_done;
    int32_t fadeout_volume;
    int32_t auto_vibrato_pos;
    int32_t auto_vibrato_sweep_pos;
    uint8_t key_off;
    uint8_t instrument_index;
    uint8_t real_note;
    int32_t note_period;
    uint8_t last_effect;
    int32_t sample_offset_memory;
    uint8_t porta_down_memory;
    uint8_t porta_up_memory;
    uint8_t extra_fine_porta_down_memory;
    uint8_t extra_fine_porta_up_memory;
    uint8_t volume_slide_memory;
    uint8_t panning_slide_memory;
    uint8_t retrig_volume_mode;
    uint8_t retrig_interval;
    int32_t porta_target_period;
    uint8_t porta_speed;
    int8_t vibrato_pos;
    uint8_t vibrato_speed;
    uint8_t vibrato_depth;
    int8_t tremolo_pos;
    uint8_t tremolo_speed;
    uint8_t tremolo_depth;
    uint8_t tremor_pos;
    uint8_t tremor_on_ticks;
    uint8_t tremor_off_ticks;
    int32_t loop_row;
    int32_t loop_count;
    uint8_t wave_control;
    uint8_t fine_volume_slide_memory;
    uint8_t fine_porta_up_memory;
    uint8_t fine_porta_down_memory;
};

// One record per pattern channel; owned by the player (reset by player_start).
extern ChannelState channels[max_channels];
