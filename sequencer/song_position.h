// Where the song stands: the pattern that the current order entry names, looked up
// without trusting the module (order and pattern numbers are checked before use).
#pragma once
#include "module/song.h"

// Null when the order index or the pattern number lies outside the song's tables.
inline const Pattern* song_current_pattern(const Song* song) {
    if (song == nullptr || song->patterns == nullptr) return nullptr;
    if (song->order < 0 || song->order >= 256) return nullptr;
    const int32_t pattern = song->order_table[song->order];
    if (pattern >= song->pattern_slots) return nullptr;
    return &song->patterns[pattern];
}
