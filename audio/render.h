// Offline rendering: the blocks playback would produce, through the same block filler and
// from the same start state, with no device and no thread.
#pragma once
#include <cstdint>

#include "audio/player.h"

// Stops any playback and prepares `song` for rendering from its beginning. False for a
// null song, a song with more than 32 channels, or when the buffers cannot be allocated.
bool render_start(Song* song);
// Renders the next block: block_frames (884) stereo frames into `pcm_out` (884 x 2
// samples) and the position recorded for it into `info`. Either may be null. Does nothing
// (writes nothing) when no render is running.
void render_next_block(int16_t* pcm_out, BlockInfo* info);
// True once a rendered block contained the song's first return to a row it had already
// played: the wrap at the end of the order table or a backward jump. Repeats of a pattern
// loop (E6y) do not count.
bool render_song_returned();
// Releases the render's buffers and gives the song back its own tick handler.
void render_stop();
