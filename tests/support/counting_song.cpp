#include "support/counting_song.h"

#include "audio/player_state.h"

CountingLog counting_log{0, -1, -1};

void counting_reset() { counting_log = CountingLog{0, -1, -1}; }

void counting_tick(Song* song) {
    if (counting_log.ticks == 0) {
        counting_log.first_tick_block = next_block_to_fill;
        counting_log.first_tick_left = song->samples_left_in_tick;
    }
    ++counting_log.ticks;
    song->row = counting_log.ticks & 255;
    song->order = counting_log.ticks >> 8;
}

Song counting_song() {
    Song song{};
    song.channel_count = 4;
    song.song_length = 1;
    song.default_speed = 6;
    song.default_bpm = 125;
    song.default_global_volume = 64;
    song.tick_handler = counting_tick;
    return song;
}

int counting_ticks_through_block(int b) { return (884 * b + 883) / 882 + 1; }
