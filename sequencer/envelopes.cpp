#include "sequencer/envelopes.h"

#include <algorithm>
#include <cmath>

namespace {

// Envelope arithmetic wraps at 32 bits: a module with point values beyond 64, or ticks
// that run backwards, then gives odd sounds instead of undefined behaviour. Values within
// the format never come near the limits.
int32_t wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

// Points actually stored, whatever count the instrument claims.
int32_t envelope_usable_points(uint8_t point_count) {
    return std::min<int32_t>(point_count, envelope_max_points);
}

// 16.16 change per tick from point a to point b.
int32_t envelope_segment_step(const EnvelopePoint& a, const EnvelopePoint& b) {
    const int32_t ticks = int32_t{b.tick} - int32_t{a.tick};
    if (ticks == 0) return 0;
    const int32_t rise = wrap32((int64_t{b.value} - int64_t{a.value}) * 65536);
    return wrap32(int64_t{rise} / ticks);
}

int32_t envelope_point_value(const EnvelopePoint& point) {
    return wrap32(int64_t{point.value} * 65536);
}

// Auto-vibrato waveform value for a position of a 256-step cycle.
int32_t auto_vibrato_sine(int32_t pos) {
    const float k = 0.0245436877f;  // a 256th of a turn, a hair short in single precision
    return static_cast<int32_t>(std::sin(static_cast<double>(pos) * static_cast<double>(k)) * 64.0);
}

// The sine of every position of the cycle, worked out once at start-up: a sine per channel
// and tick was a noticeable part of rendering.
struct SineTable {
    int32_t value[256];
};
const SineTable auto_vibrato_sines = [] {
    SineTable t{};
    for (int32_t pos = 0; pos < 256; ++pos) t.value[pos] = auto_vibrato_sine(pos);
    return t;
}();

int32_t auto_vibrato_wave(uint8_t type, int32_t pos) {
    switch (type) {
    case 0: return pos >= 0 && pos < 256 ? auto_vibrato_sines.value[pos] : auto_vibrato_sine(pos);
    case 1: return pos < 128 ? 64 : -64;
    case 2: return (128 - ((pos + 128) & 255)) >> 1;
    case 3: return (128 - ((384 - pos) & 255)) >> 1;
    default: return 0;  // a waveform the format does not define adds no vibrato
    }
}

}  // namespace

void envelope_step(ChannelState* channel, int32_t* tick, int32_t* point, int32_t* value,
                   int32_t* out, int32_t* step, uint8_t* done, const EnvelopePoint* points,
                   uint8_t point_count, uint8_t flags, uint8_t sustain_point,
                   uint8_t loop_start, uint8_t loop_end, uint8_t flag_bit) {
    const int32_t count = envelope_usable_points(point_count);
    if (*point >= 0 && *point < count) {
        if (*tick == points[*point].tick) {
            // The loop is tested first: a loop end that is also the last point or the
            // sustain point sends the envelope back before either can hold it.
            if ((flags & 4) != 0 && *point == loop_end && loop_start < count) {
                *point = loop_start;
                *tick = points[loop_start].tick;
            }
            const int32_t p = *point;
            if (p == count - 1) {
                *out = points[p].value;
                *done = 1;
                channel->update_flags |= flag_bit;
                return;
            }
            if ((flags & 2) != 0 && p == sustain_point && channel->key_off == 0) {
                *out = points[p].value;
                channel->update_flags |= flag_bit;
                return;
            }
            *step = envelope_segment_step(points[p], points[p + 1]);
            *value = envelope_point_value(points[p]);
            *point = p + 1;
        } else {
            *value = wrap32(int64_t{*value} + *step);
        }
    }
    *out = *value >> 16;
    *tick = wrap32(int64_t{*tick} + 1);
    channel->update_flags |= flag_bit;
}

void channel_envelopes_step(ChannelState* channel, const Instrument* instrument, bool at_row_start) {
    if (channel == nullptr) return;
    if (instrument == nullptr) instrument = &empty_instrument;

    if ((instrument->volume_envelope_flags & 1) != 0) {
        if (channel->vol_env_done == 0) {
            envelope_step(channel, &channel->vol_env_tick, &channel->vol_env_point,
                          &channel->vol_env_value, &channel->vol_env_out, &channel->vol_env_step,
                          &channel->vol_env_done, instrument->volume_envelope,
                          instrument->volume_point_count, instrument->volume_envelope_flags,
                          instrument->volume_sustain_point, instrument->volume_loop_start,
                          instrument->volume_loop_end, update_volume);
        }
    } else if (at_row_start && channel->key_off == 1) {
        // Without a volume envelope a released key cuts the note at the row start.
        channel->vol_env_out = 0;
    }

    if ((instrument->panning_envelope_flags & 1) != 0 && channel->pan_env_done == 0) {
        envelope_step(channel, &channel->pan_env_tick, &channel->pan_env_point,
                      &channel->pan_env_value, &channel->pan_env_out, &channel->pan_env_step,
                      &channel->pan_env_done, instrument->panning_envelope,
                      instrument->panning_point_count, instrument->panning_envelope_flags,
                      instrument->panning_sustain_point, instrument->panning_loop_start,
                      instrument->panning_loop_end, update_panning);
    }

    if (channel->key_off == 1) {
        channel->fadeout_volume = std::max(channel->fadeout_volume - int32_t{instrument->fadeout}, 0);
        channel->update_flags |= update_volume;
    }
}

void envelope_set_position(ChannelState* channel, const Instrument* instrument, int32_t x) {
    if (channel == nullptr || instrument == nullptr) return;
    const EnvelopePoint* points = instrument->volume_envelope;
    const int32_t count = envelope_usable_points(instrument->volume_point_count);
    if (count == 0) return;

    // Beyond the last point the search may run over the unused stored slots; it never
    // runs past the stored array.
    int32_t i = 0;
    while (i < count && i + 1 < envelope_max_points && x > points[i + 1].tick) ++i;

    channel->vol_env_point = i;
    if (i >= count - 1) {
        channel->vol_env_out = points[count - 1].value;
        channel->vol_env_done = 1;
        return;
    }
    channel->vol_env_done = 0;
    channel->vol_env_tick = x;
    channel->vol_env_step = envelope_segment_step(points[i], points[i + 1]);
    channel->vol_env_point = i + 1;
    channel->vol_env_value = wrap32(int64_t{envelope_point_value(points[i])} +
                                    (int64_t{x} - points[i].tick) * channel->vol_env_step);
    channel->vol_env_out = channel->vol_env_value >> 16;
}

void auto_vibrato_step(ChannelState* channel, const Instrument* instrument) {
    if (channel == nullptr) return;
    if (instrument == nullptr) instrument = &empty_instrument;

    const int32_t pos = channel->auto_vibrato_pos & 255;
    int32_t x = auto_vibrato_wave(instrument->auto_vibrato_type, pos) * instrument->auto_vibrato_depth;
    const int32_t sweep = instrument->auto_vibrato_sweep;
    // The sweep position is used before it moves: the first tick adds nothing.
    const int32_t sweep_pos = std::clamp(channel->auto_vibrato_sweep_pos, 0, sweep);
    if (sweep != 0) x = x * sweep_pos / sweep;
    channel->period_delta = wrap32(int64_t{channel->period_delta} + (x >> 6));
    channel->auto_vibrato_sweep_pos = std::min(sweep_pos + 1, sweep);
    channel->auto_vibrato_pos = pos + instrument->auto_vibrato_rate;
    if (channel->auto_vibrato_pos > 255) channel->auto_vibrato_pos -= 256;
    channel->update_flags |= update_pitch;
}
