#include "sequencer/oscillators.h"
void vibrato_step(ChannelState*) {}
void vibrato_advance(ChannelState*) {}
void tremolo_step(ChannelState*) {}
void tone_porta_step(ChannelState*) {}
void tremor_step(ChannelState*) {}
