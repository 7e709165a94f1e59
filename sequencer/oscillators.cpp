#include "sequencer/oscillators.h"

#include <cstdint>

#include "sequencer/waveforms.h"

namespace {

// Vibrato waveform numbers: 0 sine, 1 ramp, 2 and 3 square.
int32_t vibrato_magnitude(uint8_t wave_control, int32_t pos) {
    switch (wave_control & 3) {
    case 0: return waveform_sine_magnitude(pos);
    case 1: return waveform_ramp_magnitude(pos);
    default: return waveform_square_magnitude(pos);
    }
}

// Tremolo waveform numbers: 0 and 3 sine, 1 ramp, 2 square.
int32_t tremolo_magnitude(uint8_t wave_control, int32_t pos) {
    switch ((wave_control >> 4) & 3) {
    case 1: return waveform_ramp_magnitude(pos);
    case 2: return waveform_square_magnitude(pos);
    default: return waveform_sine_magnitude(pos);
    }
}

// Moves an oscillator position in 8-bit arithmetic and folds it back into -32..31.
int8_t oscillator_advance(int8_t pos, uint8_t speed) {
    int32_t next = static_cast<int8_t>(static_cast<uint8_t>(pos + speed));
    if (next > 31) next -= 64;
    return static_cast<int8_t>(next);
}

}  // namespace

void vibrato_step(ChannelState* channel) {
    if (channel == nullptr) return;
    const int32_t m = vibrato_magnitude(channel->wave_control, channel->vibrato_pos);
    const int32_t d = ((m * channel->vibrato_depth) >> 5) & ~3;
    // The first half of the cycle shortens the period.
    channel->period_delta = channel->vibrato_pos >= 0 ? -d : d;
    channel->update_flags |= update_pitch;
}

void vibrato_advance(ChannelState* channel) {
    if (channel == nullptr) return;
    channel->vibrato_pos = oscillator_advance(channel->vibrato_pos, channel->vibrato_speed);
}

void tremolo_step(ChannelState* channel) {
    if (channel == nullptr) return;
    const int32_t m = tremolo_magnitude(channel->wave_control, channel->tremolo_pos);
    int32_t d = (m * channel->tremolo_depth) >> 6;
    // The offset keeps the effective volume inside 0..64.
    if (channel->tremolo_pos >= 0) {
        if (channel->volume + d > 64) d = 64 - channel->volume;
        channel->volume_delta = d;
    } else {
        if (channel->volume - d < 0) d = channel->volume;
        channel->volume_delta = -d;
    }
    channel->tremolo_pos = oscillator_advance(channel->tremolo_pos, channel->tremolo_speed);
    channel->update_flags |= update_volume;
}

void tone_porta_step(ChannelState* channel) {
    if (channel == nullptr) return;
    // 64-bit so that a period far out of range cannot overflow on the way to its target.
    const int64_t target = channel->porta_target_period;
    const int64_t speed = 4 * int64_t{channel->porta_speed};
    int64_t period = channel->period;
    if (period < target) {
        period += speed;
        if (period > target) period = target;
    } else if (period > target) {
        period -= speed;
        if (period < target) period = target;
    }
    channel->period = static_cast<int32_t>(period);
    channel->update_flags |= update_pitch;
}

void tremor_step(ChannelState* channel) {
    if (channel == nullptr) return;
    if (channel->tremor_pos >= channel->tremor_on_ticks) channel->volume_delta = -channel->volume;
    const int32_t next = channel->tremor_pos + 1;
    channel->tremor_pos = next < channel->tremor_on_ticks + channel->tremor_off_ticks ? next : 0;
    channel->update_flags |= update_volume;
}
