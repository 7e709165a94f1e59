#include "sequencer/voice_update.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>

#include "audio/format.h"
#include "audio/voice.h"
#include "sequencer/voice_pitch.h"

namespace {

// Period of note n of the Amiga table without finetune: 13.375 x 2^((132 - n) / 12).
// 1/12 is taken in single precision on purpose: the truncated periods depend on it.
int32_t amiga_note_period(int64_t note) {
    const float k = 1.0f / 12.0f;
    const double x = static_cast<double>(132 - note) * static_cast<double>(k);
    const double period = 13.375 * std::pow(2.0, x);
    // Only notes far below the table (never produced by a module) could overflow.
    if (!(period < 2147483647.0)) return INT32_MAX;
    return static_cast<int32_t>(period);
}

int32_t voice_linear_frequency(int64_t pitch_period) {
    const float k = 1.0f / 768.0f;   // single precision on purpose, as for the periods
    const double e = static_cast<double>(4608 - pitch_period) * static_cast<double>(k);
    const double f = 8363.0 * std::pow(2.0, e);
    if (!(f < 2147483647.0)) return INT32_MAX;
    return static_cast<int32_t>(f);
}

// The linear table's frequencies of the periods that notes and effects reach, each worked
// out by voice_linear_frequency when first asked for and kept plus one (0: not yet): a
// power per channel and tick was a noticeable part of rendering. Only the thread that
// fills blocks asks.
constexpr int64_t cached_period_first = -1024;
constexpr uint64_t cached_period_count = 10240;
uint32_t cached_frequency[cached_period_count];

// Slot number of a voice of the table, or -1 for any other record.
int32_t voice_slot(const Voice* v) {
    std::less<const Voice*> before;
    if (before(v, voices) || !before(v, voices + voice_count)) return -1;
    return static_cast<int32_t>(v - voices);
}

int32_t voice_partner_slot(int32_t k) { return k < 32 ? k + 32 : k - 32; }

int32_t voice_gain(int32_t volume, int32_t pan) {
    return static_cast<int32_t>(int64_t{volume} * pan / 255);
}

// A new note moves the channel to the partner voice when its own still sounds; the old
// voice keeps playing with zero gains so that the mixer ramps it out.
Voice* voice_note_start(ChannelState* channel, Voice* v, const Sample* sample) {
    const int32_t slot = voice_slot(v);
    if (v->sample != nullptr && slot >= 0) {
        const int32_t partner = voice_partner_slot(slot);
        Voice* w = &voices[partner];
        *w = *v;
        w->index = partner;
        v->volume = 0;
        v->gain_right = 0;
        v->gain_left = 0;
        channel->voice = w;
        v = w;
    }
    v->sample = sample;
    const uint64_t end = uint64_t{sample->loop_start} + sample->loop_length;
    if (v->start_offset >= end) v->start_offset = 0;
    v->position = static_cast<int32_t>(v->start_offset);
    v->position_frac = 0;
    v->direction = 1;
    v->start_offset = 0;
    v->ramp_gain_right = 0;
    v->ramp_gain_left = 0;
    v->ramp_left = 0;
    return v;
}

// 255 x volume x envelope x fade-out x global volume / 2^35, exact for every value the
// effects produce. Only envelope values beyond the format could leave 0..508; the
// result is kept to 0..32767 so that the gains stay meaningful to the mixer.
int32_t voice_scaled_volume(const ChannelState* channel, const Song* song) {
    const __int128 product = __int128{255} * (int64_t{channel->volume} + channel->volume_delta) *
                             channel->vol_env_out * channel->fadeout_volume * song->global_volume;
    const __int128 vol = product / (__int128{1} << 35);
    return static_cast<int32_t>(std::clamp<__int128>(vol, 0, 32767));
}

// The panning envelope moves the pan most near the centre and not at all at the edges.
int32_t voice_final_pan(const ChannelState* channel) {
    const int64_t panning = channel->panning;
    const int64_t room = (128 - std::llabs(panning - 128)) / 32;
    const int64_t p = room * (int64_t{channel->pan_env_out} - 32) + panning;
    return static_cast<int32_t>(std::clamp<int64_t>(p, 0, 255));
}

}  // namespace

// Frequency in Hz of a period plus offset. In the linear table 768 units are an octave
// around 8363 Hz at period 4608; a frequency beyond 32 bits (periods far below the table,
// reachable only by endless fine portamento) is held at INT32_MAX.
int32_t voice_frequency(int64_t pitch_period, bool linear) {
    if (linear) {
        const uint64_t slot = static_cast<uint64_t>(pitch_period - cached_period_first);
        if (slot >= cached_period_count) return voice_linear_frequency(pitch_period);
        if (cached_frequency[slot] == 0)
            cached_frequency[slot] = static_cast<uint32_t>(voice_linear_frequency(pitch_period)) + 1;
        return static_cast<int32_t>(cached_frequency[slot] - 1);
    }
    if (pitch_period == 0) return 0;  // callers skip this; it must not divide by zero
    return static_cast<int32_t>(14317056 / pitch_period);
}

void voice_set_step(Voice* voice, int32_t frequency) {
    const uint64_t fs = static_cast<uint64_t>(frequency < 100 ? 100 : frequency);
    const uint64_t rate = static_cast<uint64_t>(mix_rate);
    voice->step_int = static_cast<int32_t>(fs / rate);
    voice->step_frac = static_cast<uint32_t>(((fs % rate) << 32) / rate);
}

int32_t note_to_period(int32_t note, int32_t finetune) {
    const int64_t p0 = amiga_note_period(note);
    int64_t result;
    if (finetune >= 0 || note == 0) {
        result = p0 + ((p0 - amiga_note_period(int64_t{note} + 1)) * finetune) / -128;
    } else {
        result = p0 + (std::llabs(finetune) * (p0 - amiga_note_period(int64_t{note} - 1))) / -128;
    }
    return static_cast<int32_t>(std::clamp<int64_t>(result, INT32_MIN, INT32_MAX));
}

void update_voice(ChannelState* channel, const Sample* sample, const Song* song) {
    if (channel == nullptr || song == nullptr || channel->voice == nullptr) return;
    if (sample == nullptr) sample = &silent_sample;
    Voice* v = channel->voice;

    // Both terms are 32-bit; their sum is taken in 64 bits so drifting periods cannot wrap.
    const int64_t pitch_period = int64_t{channel->period} + channel->period_delta;
    if (pitch_period == 0) channel->update_flags &= static_cast<uint8_t>(~update_pitch);
    const uint8_t flags = channel->update_flags;

    if ((flags & update_trigger) != 0) v = voice_note_start(channel, v, sample);

    if ((flags & update_volume) != 0) {
        v->volume = voice_scaled_volume(channel, song);
        v->gain_right = voice_gain(v->volume, v->pan);
        v->gain_left = voice_gain(v->volume, 255 - v->pan);
    }

    if ((flags & update_panning) != 0) {
        v->pan = voice_final_pan(channel);
        v->gain_right = voice_gain(v->volume, v->pan);
        v->gain_left = voice_gain(v->volume, 255 - v->pan);
    }

    if ((flags & update_pitch) != 0) {
        voice_set_step(v, voice_frequency(pitch_period, (song->song_flags & song_flag_linear) != 0));
    }

    if ((flags & update_restart) != 0) {
        v->position = 0;
        v->position_frac = 0;
        v->start_offset = 0;
    }
}
