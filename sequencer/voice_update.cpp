#include "sequencer/voice_update.h"
int32_t note_to_period(int32_t, int32_t) { return 0; }
void update_voice(ChannelState*, const Sample*, const Song*) {}
