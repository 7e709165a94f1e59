#include "sequencer/tick_clock.h"
void song_tick(Song*) {}
void set_bpm(Song*, int32_t) {}
