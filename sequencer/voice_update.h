// Periods, frequencies and the transfer of a channel's state to its mixer voice.
#pragma once
#include "module/song.h"
#include "sequencer/channel.h"

int32_t note_to_period(int32_t note, int32_t finetune);
void update_voice(ChannelState* channel, const Sample* sample, const Song* song);
