#include "support/offline_play.h"

#include <vector>
#include "audio/render.h"

uint32_t offline_play(Song* song, int32_t blocks) {
    if (!render_start(song)) return 0;
    std::vector<int16_t> pcm(static_cast<size_t>(block_frames) * 2);
    uint32_t sum = 0;
    for (int32_t b = 0; b < blocks; ++b) {
        render_next_block(pcm.data(), nullptr);
        for (int16_t v : pcm) sum = sum * 31 + static_cast<uint16_t>(v);
    }
    render_stop();
    return sum;
}
