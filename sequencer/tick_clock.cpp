#include "sequencer/tick_clock.h"

#include "audio/format.h"
#include "sequencer/row_start.h"
#include "sequencer/song_position.h"
#include "sequencer/tick_effects.h"

namespace {

// The order that follows the last one. A restart position outside the song (only a
// module beyond the format's limits has one) falls back to the first order.
int32_t song_wrapped_order(const Song* song, int32_t order) {
    if (order < song->song_length && order < 256) return order;
    const int32_t restart = song->restart_position;
    if (restart >= 0 && restart < song->song_length && restart < 256) return restart;
    return 0;
}

// Decides at a row's start where the song goes after this row, unless an effect did.
void song_plan_next_row(Song* song) {
    if (song->next_row != -1) return;
    const Pattern* pattern = song_current_pattern(song);
    const int32_t row_count = pattern != nullptr ? pattern->row_count : 0;
    song->next_row = song->row + 1;
    if (song->next_row >= row_count) {
        song->next_order = song_wrapped_order(song, song->order + 1);
        song->next_row = 0;
    }
}

}  // namespace

void song_tick(Song* song) {
    if (song == nullptr) return;
    if (song->tick == 0) {
        if (song->next_order >= 0 && song->next_order < 256) song->order = song->next_order;
        if (song->next_row >= 0) song->row = song->next_row;
        process_row(song);   // clears next_row and next_order before its effects set them
        song_plan_next_row(song);
    } else {
        process_tick(song);
    }
    song->tick += 1;
    if (song->tick >= song->speed + song->pattern_delay_ticks) {
        song->pattern_delay_ticks = 0;
        song->tick = 0;
    }
}

void set_bpm(Song* song, int32_t bpm) {
    if (song == nullptr) return;
    // A tick lasts 2.5 / bpm seconds. Integer arithmetic keeps exact quotients exact
    // (125 BPM is 882 frames, not 881). A tempo of 0 or less is taken as 1 BPM, and a
    // tick never shrinks below one frame, so the block filler always makes progress.
    if (bpm < 1) bpm = 1;
    const int64_t frames = int64_t{mix_rate} * 5 / (int64_t{2} * bpm);
    song->samples_per_tick = frames < 1 ? 1 : static_cast<int32_t>(frames);
}
