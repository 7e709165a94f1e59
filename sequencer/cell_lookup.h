// Finding a row's cells and a channel's instrument and sample; shared by tick 0 and later ticks.
#pragma once
#include "module/song.h"
#include "sequencer/channel.h"

// Highest cell note that is a note; 255 is key-off, 97..254 count as no note.
constexpr uint8_t cell_note_last = 96;
constexpr uint8_t cell_note_key_off = 255;

inline bool cell_has_note(const PatternCell& cell) {
    return cell.note != 0 && cell.note <= cell_note_last;
}

// The channel_count cells of the current row, or null when the row has no cells: a null
// pattern, an order or pattern index out of range, or a row at or beyond the row count.
const PatternCell* lookup_row_cells(const Song* song);
// Channels that have both a cell and a channel record.
int32_t lookup_channel_limit(const Song* song);
// The channel's instrument; empty_instrument when the number is out of range.
const Instrument* lookup_instrument(const Song* song, const ChannelState* channel);
// The sample that the channel's instrument maps its note to; silent_sample when there is none.
Sample* lookup_sample(const Song* song, const ChannelState* channel);
