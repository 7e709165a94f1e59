#include "support/tick_harness.h"
#include <algorithm>
#include <cstring>
#include "sequencer/tick_clock.h"
#include "support/memory_stream.h"

namespace {

// Temporary: builds the Song straight from the description while the loader is a stub.
void fill_envelope(const XmEnvelopeDesc& from, EnvelopePoint* points, uint8_t* count, uint8_t* flags,
                   uint8_t* sustain, uint8_t* loop_start, uint8_t* loop_end) {
    *count = static_cast<uint8_t>(std::min<size_t>(from.points.size(), 12));
    for (int i = 0; i < *count; ++i)
        points[i] = EnvelopePoint{from.points[i].tick, from.points[i].value};
    *flags = *count < 2 ? 0 : static_cast<uint8_t>((from.on ? 1 : 0) | (from.sustain ? 2 : 0) | (from.loop ? 4 : 0));
    *sustain = from.sustain_point;
    *loop_start = from.loop_start;
    *loop_end = from.loop_end;
}

Song* direct_load(const XmModuleDesc& d) {
    Song* song = new Song{};
    song->channel_count = static_cast<int16_t>(d.channels);
    song->song_length = static_cast<int16_t>(d.orders.size());
    song->restart_position = static_cast<int16_t>(d.restart);
    song->song_flags = d.linear ? song_flag_linear : 0;
    song->default_speed = static_cast<int16_t>(d.speed);
    song->default_bpm = static_cast<int16_t>(d.bpm);
    song->default_global_volume = 64;
    song->tick_handler = song_tick;
    int used = 0;
    for (size_t i = 0; i < d.orders.size(); ++i) {
        song->order_table[i] = d.orders[i];
        used = std::max(used, d.orders[i] + 1);
    }
    song->used_pattern_count = used;
    song->pattern_slots = std::max<int>(used, static_cast<int>(d.patterns.size()));
    song->patterns = new Pattern[song->pattern_slots]{};
    for (int p = 0; p < song->pattern_slots; ++p) {
        const bool stored = p < static_cast<int>(d.patterns.size());
        const int rows = stored ? d.patterns[p].rows : 64;
        Pattern& pattern = song->patterns[p];
        pattern.row_count = rows;
        pattern.cells = new PatternCell[std::max(1, rows * d.channels)]{};
        if (!stored)
            continue;
        for (size_t c = 0; c < d.patterns[p].cells.size() && c < static_cast<size_t>(rows * d.channels); ++c) {
            const XmCell& x = d.patterns[p].cells[c];
            pattern.cells[c] = PatternCell{static_cast<uint8_t>(x.note == 97 ? 255 : x.note),
                                           static_cast<uint8_t>(x.instrument > 128 ? 0 : x.instrument),
                                           x.volume, x.effect, x.param};
        }
    }
    song->instrument_count = static_cast<int16_t>(d.instruments.size());
    song->instruments = new Instrument[std::max<size_t>(1, d.instruments.size())]{};
    for (size_t i = 0; i < d.instruments.size(); ++i) {
        const XmInstrumentDesc& from = d.instruments[i];
        Instrument& ins = song->instruments[i];
        ins.sample_count = static_cast<int32_t>(from.samples.size());
        for (int s = 0; s < instrument_max_samples; ++s) {
            if (s >= ins.sample_count) {
                ins.samples[s] = &silent_sample;
                continue;
            }
            const XmSampleDesc& hs = from.samples[s];
            const bool looped = hs.loop != XmLoop::none && hs.loop_length > 0;
            Sample* sample = new Sample{};
            sample->length = static_cast<uint32_t>(hs.frames.size());
            sample->loop_start = looped ? hs.loop_start : 0;
            sample->loop_length = looped ? hs.loop_length : sample->length;
            sample->loop_mode = looped ? loop_mode_forward : loop_mode_none;
            sample->volume = hs.volume;
            sample->finetune = hs.finetune;
            sample->panning = hs.panning;
            sample->relative_note = hs.relative_note;
            sample->bits = 16;
            if (sample->length)
                sample->data = new int16_t[sample->length + 8]{};
            ins.samples[s] = sample;
        }
        std::copy(from.sample_map.begin(), from.sample_map.end(), ins.sample_map);
        fill_envelope(from.volume_envelope, ins.volume_envelope, &ins.volume_point_count, &ins.volume_envelope_flags,
                      &ins.volume_sustain_point, &ins.volume_loop_start, &ins.volume_loop_end);
        fill_envelope(from.panning_envelope, ins.panning_envelope, &ins.panning_point_count,
                      &ins.panning_envelope_flags, &ins.panning_sustain_point, &ins.panning_loop_start,
                      &ins.panning_loop_end);
        ins.fadeout = static_cast<uint16_t>(from.fadeout * 2);
        ins.auto_vibrato_type = from.vibrato_type;
        ins.auto_vibrato_sweep = from.vibrato_sweep;
        ins.auto_vibrato_depth = from.vibrato_depth;
        ins.auto_vibrato_rate = from.vibrato_rate;
    }
    return song;
}

void direct_free(Song* song) {
    for (int p = 0; p < song->pattern_slots; ++p)
        delete[] song->patterns[p].cells;
    delete[] song->patterns;
    for (int i = 0; i < song->instrument_count; ++i)
        for (int s = 0; s < song->instruments[i].sample_count; ++s) {
            delete[] song->instruments[i].samples[s]->data;
            delete song->instruments[i].samples[s];
        }
    delete[] song->instruments;
    delete song;
}

}  // namespace

Song* harness_load(const XmModuleDesc& description) {
    return direct_load(description);
}

void harness_free(Song* song) {
    if (song != nullptr)
        direct_free(song);
}

void harness_start(Song* song) {
    std::memset(voices, 0, sizeof(voices));
    for (int i = 0; i < voice_count; ++i) {
        voices[i].index = i;
        voices[i].step_int = 1;
    }
    song->global_volume = song->default_global_volume;
    song->next_order = -1;
    song->next_row = -1;
    song->speed = song->default_speed;
    song->row = 0;
    song->order = 0;
    song->samples_left_in_tick = 0;
    song->tick = 0;
    song->pattern_delay_ticks = 0;
    set_bpm(song, song->default_bpm);
    for (int i = 0; i < song->channel_count && i < max_channels; ++i) {
        channels[i] = ChannelState{};
        channels[i].voice = &voices[i];
    }
    // The set-finetune effect writes this shared record; every run starts from zero.
    silent_sample = Sample{};
}

TickSnapshot harness_tick(Song* song, int channel) {
    TickSnapshot snap{};
    snap.tick = song->tick;
    song->tick_handler(song);
    snap.order = song->order;
    snap.row = song->row;
    snap.global_volume = song->global_volume;
    snap.channel = channels[channel];
    snap.voice = *channels[channel].voice;
    return snap;
}

std::vector<TickSnapshot> harness_run(Song* song, int ticks, int channel) {
    std::vector<TickSnapshot> out;
    for (int i = 0; i < ticks; ++i)
        out.push_back(harness_tick(song, channel));
    return out;
}

XmSampleDesc harness_sample(uint8_t volume) {
    XmSampleDesc sample = xm_sample_16bit(std::vector<int16_t>(1000, 0));
    sample.volume = volume;
    return sample;
}

XmModuleDesc harness_module(int channels, const std::vector<std::string>& rows) {
    XmModuleDesc module;
    module.channels = static_cast<uint16_t>(channels);
    module.patterns.push_back(xm_pattern_from_text(channels, rows, static_cast<uint16_t>(std::max<size_t>(rows.size(), 1))));
    module.instruments.push_back(xm_instrument(harness_sample()));
    return module;
}

HarnessPlayback::HarnessPlayback(const XmModuleDesc& description) : song_(harness_load(description)) {
    if (song_ != nullptr)
        harness_start(song_);
}

HarnessPlayback::~HarnessPlayback() { harness_free(song_); }
