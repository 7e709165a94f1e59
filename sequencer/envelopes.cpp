#include "sequencer/envelopes.h"
void channel_envelopes_step(ChannelState*, const Instrument*, bool) {}
void envelope_step(ChannelState*, int32_t*, int32_t*, int32_t*, int32_t*, int32_t*, uint8_t*,
                   const EnvelopePoint*, uint8_t, uint8_t, uint8_t, uint8_t, uint8_t, uint8_t) {}
void envelope_set_position(ChannelState*, const Instrument*, int32_t) {}
void auto_vibrato_step(ChannelState*, const Instrument*) {}
