#include "support/tick_harness.h"
#include <algorithm>
#include <cstring>
#include "module/xm_reader.h"
#include "sequencer/tick_clock.h"
#include "support/memory_stream.h"

Song* harness_load(const XmModuleDesc& description) {
    return song_load_from_memory(xm_write(description));
}

void harness_free(Song* song) { song_free(song); }

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
