#include "sequencer/tick_effects.h"
void process_tick(Song*) {}
