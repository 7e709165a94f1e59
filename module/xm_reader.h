// The XM module loader and song release.
#pragma once
#include "module/song.h"
#include "module/stream.h"

// Null when the file cannot be opened or is not a module this player accepts.
Song* song_load(const char* name, SampleLoadCallback sample_load_callback);
bool xm_read_song(Song* song, StreamHandle* stream);
// Stops playback first; false for null.
bool song_free(Song* song);
