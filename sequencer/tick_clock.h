// The tick clock: rows, orders, speed and tempo.
#pragma once
#include "module/song.h"

void song_tick(Song* song);
void set_bpm(Song* song, int32_t bpm);
