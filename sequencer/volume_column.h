// The volume column: its row-start meaning is apply_volume_column (row_start.h); this is
// the part that repeats on every later tick of the row.
#pragma once
#include "sequencer/channel.h"

void volume_column_tick(ChannelState* channel, uint8_t value);
