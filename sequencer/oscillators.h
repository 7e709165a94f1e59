// Vibrato, tremolo, tone portamento and tremor: per-tick workers of the pattern effects.
#pragma once
#include "sequencer/channel.h"

void vibrato_step(ChannelState* channel);
void vibrato_advance(ChannelState* channel);
void tremolo_step(ChannelState* channel);
void tone_porta_step(ChannelState* channel);
void tremor_step(ChannelState* channel);
