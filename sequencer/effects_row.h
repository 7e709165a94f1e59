// The row-start (tick 0) action of every effect number.
#pragma once
#include "module/song.h"
#include "sequencer/channel.h"

struct RowEffectContext {
    Song* song;
    ChannelState* channel;
    const PatternCell* cell;
    const Instrument* instrument;   // the row's instrument
    Sample* sample;                 // the row's sample; E5y writes its finetune
    int32_t saved_period;           // as the channel stood before its row started (EDy)
    int32_t saved_volume;
    int32_t saved_panning;
    bool* position_jump;            // set by B for the rest of the row
};

void effects_row_apply(RowEffectContext* context);
