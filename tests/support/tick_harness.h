// Loads modules made by the XM writer and steps them tick by tick without audio, with the
// playback state set up as player_start sets it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "audio/voice.h"
#include "module/song.h"
#include "sequencer/channel.h"
#include "support/xm_writer.h"

// Writes the description as an XM module and loads it; null if the load fails.
Song* harness_load(const XmModuleDesc& description);
void harness_free(Song* song);
// The playback state of a fresh start: voices, song position and tempo, channel records.
void harness_start(Song* song);

struct TickSnapshot {
    int32_t order;
    int32_t row;
    int32_t tick;            // the tick that was processed
    int32_t global_volume;
    ChannelState channel;    // update_flags as the tick left them
    Voice voice;             // the voice the channel drives after the tick
};

// Runs one song_tick and records channel `channel` afterwards.
TickSnapshot harness_tick(Song* song, int channel = 0);
std::vector<TickSnapshot> harness_run(Song* song, int ticks, int channel = 0);

// A 1000-frame silent sample without a loop, volume 64, centre panning.
XmSampleDesc harness_sample(uint8_t volume = 64);
// A module of one pattern made of `rows` (text as xm_pattern_from_text takes it) with one
// instrument playing harness_sample on every note.
XmModuleDesc harness_module(int channels, const std::vector<std::string>& rows);

// Loads and starts a module and frees it at the end of the scope.
class HarnessPlayback {
public:
    explicit HarnessPlayback(const XmModuleDesc& description);
    ~HarnessPlayback();
    HarnessPlayback(const HarnessPlayback&) = delete;
    HarnessPlayback& operator=(const HarnessPlayback&) = delete;
    Song* song() const { return song_; }
    TickSnapshot tick(int channel = 0) { return harness_tick(song_, channel); }
    std::vector<TickSnapshot> run(int ticks, int channel = 0) { return harness_run(song_, ticks, channel); }

private:
    Song* song_;
};
