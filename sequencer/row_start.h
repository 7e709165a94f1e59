// Tick 0 of a row: notes, instruments, the volume column and the row-start effects.
#pragma once
#include "module/song.h"
#include "sequencer/channel.h"

void process_row(Song* song);
void channel_reset_instrument(ChannelState* channel, const Sample* sample);
void apply_volume_column(ChannelState* channel, uint8_t value);
