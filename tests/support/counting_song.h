// A song for player tests whose tick handler only counts ticks: after tick n (from 1) the
// song stands at row n mod 256 of order n / 256, so the position recorded for each output
// block tells how many ticks the block filler had run by its end.
#pragma once
#include "module/song.h"

struct CountingLog {
    int ticks;
    int first_tick_block;   // next_block_to_fill at the first tick, -1 before it
    int first_tick_left;    // samples_left_in_tick at the first tick
};
extern CountingLog counting_log;

// Clears the log.
void counting_reset();
// 4 channels, speed 6, 125 BPM (882 frames per tick), ticking through counting_tick.
Song counting_song();
void counting_tick(Song* song);
// Ticks run by the end of block b when a tick is 882 frames and blocks are 884.
int counting_ticks_through_block(int b);
