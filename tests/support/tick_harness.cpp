#include "support/tick_harness.h"
#include <algorithm>
#include "audio/player_state.h"
#include "module/xm_reader.h"
#include "support/memory_stream.h"

Song* harness_load(const XmModuleDesc& description) {
    return song_load_from_memory(xm_write(description));
}

void harness_free(Song* song) { song_free(song); }

void harness_start(Song* song) {
    player_reset_song_state(song);
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
