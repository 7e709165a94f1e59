// The loaded module as the sequencer and the mixer use it.
#pragma once
#include <cstdint>

struct PatternCell {
    uint8_t note;           // 0 none, 1..96 a note, 255 key off
    uint8_t instrument;     // 0 none, 1..128
    uint8_t volume_column;
    uint8_t effect;
    uint8_t effect_param;
};

struct Pattern {
    int32_t row_count;
    PatternCell* cells;     // row_count x channel_count, row by row
};

struct EnvelopePoint {
    uint16_t tick;
    uint16_t value;
};

constexpr uint8_t loop_mode_none = 1;
constexpr uint8_t loop_mode_forward = 2;
constexpr uint8_t loop_mode_pingpong = 4;

struct Sample {
    int16_t* data;          // length + 8 frames, null when length is 0
    uint32_t length;        // frames
    uint32_t loop_start;
    uint32_t loop_length;   // at least 1 whenever length is at least 1
    uint8_t volume;
    int8_t finetune;
    int32_t panning;
    uint8_t bits;
    uint8_t loop_mode;
    int8_t relative_note;
};

constexpr int instrument_max_samples = 16;
constexpr int envelope_max_points = 20;

struct Instrument {
    int32_t sample_count;
    Sample* samples[instrument_max_samples];
    uint8_t sample_map[96];
    EnvelopePoint volume_envelope[envelope_max_points];
    EnvelopePoint panning_envelope[envelope_max_points];
    uint8_t volume_point_count;
    uint8_t panning_point_count;
    uint8_t volume_sustain_point;
    uint8_t volume_loop_start;
    uint8_t volume_loop_end;
    uint8_t panning_sustain_point;
    uint8_t panning_loop_start;
    uint8_t panning_loop_end;
    uint8_t volume_envelope_flags;   // bit 0 on, bit 1 sustain, bit 2 loop
    uint8_t panning_envelope_flags;
    uint8_t auto_vibrato_type;
    uint8_t auto_vibrato_sweep;
    uint8_t auto_vibrato_depth;
    uint8_t auto_vibrato_rate;
    uint16_t fadeout;
};

struct Song;
using TickHandler = void (*)(Song* song);
using SampleLoadCallback = void (*)(void* destination, int32_t byte_count, int32_t bits,
                                    int32_t instrument_index, int32_t sample_index);

constexpr uint16_t song_flag_linear = 1;

struct Song {
    Pattern* patterns;
    Instrument* instruments;
    int32_t samples_left_in_tick;
    int32_t samples_per_tick;
    int16_t song_length;
    int16_t restart_position;
    int16_t channel_count;
    int32_t used_pattern_count;
    int32_t pattern_slots;
    int16_t instrument_count;
    uint16_t song_flags;
    int16_t default_speed;
    int16_t default_bpm;
    uint8_t order_table[256];
    uint8_t default_global_volume;
    int32_t global_volume;
    uint8_t global_volume_slide_memory;
    int32_t tick;
    int32_t speed;
    int32_t row;
    int32_t order;
    int32_t pattern_delay_ticks;
    int32_t next_row;
    int32_t next_order;
    TickHandler tick_handler;
    SampleLoadCallback sample_load_callback;
};

// Fills sample slots at and above sample_count, and notes that map to no sample.
extern Sample silent_sample;
// Stands in for an instrument number beyond the song's instruments.
extern Instrument empty_instrument;

// Sample data: length + 8 zero-filled frames, with zero frames in front of frame 0 as
// well, so that interpolation a hair below frame 0 reads silence. Null on failure.
int16_t* sample_data_alloc(uint32_t length);
// Writes the guard frame after a loop (a copy of the loop's first frame for a forward loop,
// of its last for a ping-pong loop) so interpolation can read one frame past the loop end.
void sample_write_guard_frame(Sample* sample);
void sample_data_free(int16_t* data);
