// The action of every effect number on ticks 1 and later of a row.
#pragma once
#include "module/song.h"
#include "sequencer/channel.h"

struct TickEffectContext {
    Song* song;
    ChannelState* channel;
    const PatternCell* cell;
    const Sample* sample;   // the sample of the channel's note and instrument on this tick
};

void effects_tick_apply(TickEffectContext* context);
