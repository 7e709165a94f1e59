#include "audio/render.h"

#include <cstring>

#include "audio/player_state.h"
#include "sequencer/tick_clock.h"

namespace {

bool rendering = false;
Song* render_song = nullptr;
bool returned = false;
// One bit per (order, row) started outside a pattern-loop repeat.
uint8_t played_rows[256 * 256 / 8];

bool row_played(int32_t order, int32_t row) {
    const uint32_t bit = (static_cast<uint32_t>(order) & 255) * 256 + (static_cast<uint32_t>(row) & 255);
    return played_rows[bit >> 3] & (1u << (bit & 7));
}

void mark_row(int32_t order, int32_t row, bool played) {
    const uint32_t bit = (static_cast<uint32_t>(order) & 255) * 256 + (static_cast<uint32_t>(row) & 255);
    if (played)
        played_rows[bit >> 3] |= static_cast<uint8_t>(1u << (bit & 7));
    else
        played_rows[bit >> 3] &= static_cast<uint8_t>(~(1u << (bit & 7)));
}

// Watches every row start: the row it starts is played; a row already played means the
// song has come back. A pattern loop jumps back within its order without naming an order
// (only E6y sets next_row alone to a row not after the current one), so the rows it will
// repeat are forgotten and count as new when they come round again.
void render_watch_tick(Song* song, bool row_start) {
    if (!row_start) return;
    if (row_played(song->order, song->row)) returned = true;
    mark_row(song->order, song->row, true);
    if (song->next_order == -1 && song->next_row >= 0 && song->next_row <= song->row)
        for (int32_t r = song->next_row; r <= song->row; ++r) mark_row(song->order, r, false);
}

}  // namespace

bool render_start(Song* song) {
    render_stop();
    if (!song) return false;
    player_stop(song);
    if (!player_prepare(song) || !player_allocate_buffers()) {
        player_release();
        return false;
    }
    std::memset(played_rows, 0, sizeof played_rows);
    returned = false;
    render_song = song;
    player_tick_observer = render_watch_tick;
    rendering = true;
    return true;
}

// Playback started or stopped since render_start ends the render: the state is no longer ours.
static bool render_running() {
    return rendering && current_song == render_song && player_tick_observer == render_watch_tick;
}

void render_next_block(int16_t* pcm_out, BlockInfo* info) {
    if (!render_running()) return;
    const int32_t b = next_block_to_fill;
    fill_block();
    if (pcm_out)
        std::memcpy(pcm_out, pcm_ring + static_cast<size_t>(b) * block_frames * 2,
                    sizeof(int16_t) * 2 * static_cast<size_t>(block_frames));
    if (info) *info = block_table[b].load(std::memory_order_relaxed);
}

bool render_song_returned() { return returned; }

void render_stop() {
    if (!rendering) return;
    if (render_running()) {
        player_tick_observer = nullptr;
        player_release();
    }
    render_song = nullptr;
    rendering = false;
}
