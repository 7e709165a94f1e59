// Loads arbitrary bytes as a module and, when they load, plays them for a few thousand
// frames: neither the loader nor the sequencer nor the mixer may read or write outside a
// buffer, divide by zero or hang, whatever the file says.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "module/xm_reader.h"
#include "support/memory_stream.h"
#include "support/offline_play.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    Song* song = song_load_from_memory(bytes);
    if (song) {
        offline_play(song, 8);
        song_free(song);
    }
    return 0;
}
