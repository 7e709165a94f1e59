// Instrument envelopes, fade-out and auto-vibrato.
#pragma once
#include "module/song.h"
#include "sequencer/channel.h"

void channel_envelopes_step(ChannelState* channel, const Instrument* instrument, bool at_row_start);
void envelope_step(ChannelState* channel, int32_t* tick, int32_t* point, int32_t* value,
                   int32_t* out, int32_t* step, uint8_t* done, const EnvelopePoint* points,
                   uint8_t point_count, uint8_t flags, uint8_t sustain_point,
                   uint8_t loop_start, uint8_t loop_end, uint8_t flag_bit);
void envelope_set_position(ChannelState* channel, const Instrument* instrument, int32_t x);
void auto_vibrato_step(ChannelState* channel, const Instrument* instrument);
