// Offline rendering: the same blocks as playback, and the end of a song played once through.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "audio/player.h"
#include "audio/player_state.h"
#include "audio/render.h"
#include "platform/audio_output_test.h"
#include "support/memory_stream.h"
#include "support/test_modules.h"
#include "support/xm_writer.h"

namespace {

std::vector<int16_t> render_blocks(Song* song, int blocks, std::vector<BlockInfo>* infos = nullptr) {
    std::vector<int16_t> pcm(static_cast<size_t>(blocks) * 884 * 2);
    if (!render_start(song)) return {};
    for (int b = 0; b < blocks; ++b) {
        BlockInfo info{};
        render_next_block(&pcm[static_cast<size_t>(b) * 884 * 2], &info);
        if (infos) infos->push_back(info);
    }
    render_stop();
    return pcm;
}

TEST(Render, FirstHundredBlocksAreWhatThePrefillPutsInTheRing) {
    Song* song = song_load_from_memory(xm_write(test_module_busy(8)));
    ASSERT_NE(song, nullptr);
    std::vector<BlockInfo> infos;
    const std::vector<int16_t> rendered = render_blocks(song, 100, &infos);
    ASSERT_EQ(rendered.size(), 88400u * 2);
    bool audible = false;
    for (int16_t v : rendered) audible = audible || v != 0;
    EXPECT_TRUE(audible);

    audio_output_test_reset();
    player_set_output(audio_output_test());
    ASSERT_TRUE(player_start(song));
    const AudioOutputTestState device = audio_output_test_state();
    ASSERT_EQ(device.ring_bytes, 353600u);
    EXPECT_EQ(std::memcmp(device.ring, rendered.data(), device.ring_bytes), 0);
    for (int b = 0; b < 100; ++b) {
        const BlockInfo info = block_table[b].load();
        EXPECT_EQ(info.order, infos[b].order) << "block " << b;
        EXPECT_EQ(info.row, infos[b].row) << "block " << b;
    }
    song_free(song);
    player_set_output(nullptr);
}

TEST(Render, TwoRendersAreIdenticalAndStopRestoresNothingPlaying) {
    Song* song = song_load_from_memory(xm_write(test_module_busy(4)));
    ASSERT_NE(song, nullptr);
    const std::vector<int16_t> first = render_blocks(song, 150);
    const std::vector<int16_t> second = render_blocks(song, 150);
    EXPECT_EQ(first, second);
    EXPECT_EQ(current_song, nullptr);
    EXPECT_EQ(block_table, nullptr);
    song_free(song);
}

TEST(Render, NothingRendersWithoutAStartOrAfterTheSongIsFreed) {
    int16_t pcm[4] = {5, 5, 5, 5};
    BlockInfo info{7, 7};
    EXPECT_FALSE(render_start(nullptr));
    render_next_block(pcm, &info);
    EXPECT_EQ(pcm[0], 5);
    EXPECT_EQ(info.order, 7);

    Song* song = song_load_from_memory(xm_write(test_module_busy(1)));
    ASSERT_NE(song, nullptr);
    ASSERT_TRUE(render_start(song));
    song_free(song);   // stops the render's state with the song
    render_next_block(pcm, &info);
    EXPECT_EQ(pcm[0], 5);
    render_stop();
}

// Speed 6 at 125 BPM: a row is 5292 frames, so row start n falls in block n * 5292 / 884.
int block_of_row_start(int n) { return n * 5292 / 884; }

TEST(Render, SongReturnsAtTheFirstRowPlayedAgain) {
    struct Case {
        const char* name;
        std::vector<uint8_t> orders;
        std::vector<std::vector<std::string>> patterns;   // 4 rows each
        int returning_row_start;                           // 0-based count of row starts
    };
    const Case cases[] = {
        {"wrap at the end of the orders", {0, 1}, {{}, {}}, 8},
        {"pattern loop repeats do not count", {0}, {{"... .. .. E60", "... .. .. E62"}}, 8},
        {"backward jump", {0, 1}, {{}, {"", "", "... .. .. B00"}}, 7},
        {"break to a row already played", {0, 1}, {{}, {"... .. .. D02", "", ""}}, 5},
        {"jump to the same order", {0}, {{"", "... .. .. B00"}}, 2},
    };
    for (const Case& c : cases) {
        XmModuleDesc desc;
        desc.channels = 1;
        desc.orders = c.orders;
        for (const auto& rows : c.patterns) desc.patterns.push_back(xm_pattern_from_text(1, rows, 4));
        Song* song = song_load_from_memory(xm_write(desc));
        ASSERT_NE(song, nullptr) << c.name;
        ASSERT_TRUE(render_start(song));
        const int expected = block_of_row_start(c.returning_row_start);
        int returned_at = -1;
        for (int b = 0; b < 200 && returned_at < 0; ++b) {
            render_next_block(nullptr, nullptr);
            if (render_song_returned()) returned_at = b;
        }
        EXPECT_EQ(returned_at, expected) << c.name;
        render_stop();
        song_free(song);
    }
}

}  // namespace
