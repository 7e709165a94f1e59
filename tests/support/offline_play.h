// Plays a loaded song offline, as the player would, for a number of output blocks: the
// fuzz targets and the tests use it to drive the sequencer and the mixer without a device.
#pragma once
#include <cstdint>
#include "module/song.h"

// Renders `blocks` blocks of 884 frames from the song's start and returns a checksum of the
// PCM (so that nothing is optimised away); 0 when the song cannot be rendered.
uint32_t offline_play(Song* song, int32_t blocks);
