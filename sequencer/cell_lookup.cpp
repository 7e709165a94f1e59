#include "sequencer/cell_lookup.h"
#include "sequencer/song_position.h"

const PatternCell* lookup_row_cells(const Song* song) {
    const Pattern* pattern = song_current_pattern(song);
    if (pattern == nullptr || pattern->cells == nullptr || song->row < 0 ||
        song->row >= pattern->row_count)
        return nullptr;
    return pattern->cells + static_cast<int64_t>(song->row) * song->channel_count;
}

int32_t lookup_channel_limit(const Song* song) {
    return song->channel_count < max_channels ? song->channel_count : max_channels;
}

const Instrument* lookup_instrument(const Song* song, const ChannelState* channel) {
    if (song->instruments == nullptr || channel->instrument_index >= song->instrument_count)
        return &empty_instrument;
    return &song->instruments[channel->instrument_index];
}

Sample* lookup_sample(const Song* song, const ChannelState* channel) {
    // Notes above the map (reachable only through odd cell values) map to nothing, and so
    // does every note of empty_instrument, whose sample slots are all null.
    if (channel->note >= sizeof(Instrument::sample_map))
        return &silent_sample;
    const Instrument& instrument = *lookup_instrument(song, channel);
    const uint8_t slot = instrument.sample_map[channel->note];
    if (slot >= instrument_max_samples || instrument.samples[slot] == nullptr)
        return &silent_sample;
    return instrument.samples[slot];
}
