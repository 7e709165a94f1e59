// Ticks 1 and later of a row: slides, oscillators, retriggers, cuts and delays.
#pragma once
#include "module/song.h"

void process_tick(Song* song);
