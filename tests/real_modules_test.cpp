// Real songs from the wild: each must load, play once through and render sound, cleanly
// (the sanitizer build runs the same test). The folder comes from WQ_REAL_MODULES, which
// scripts/test.sh fills with the songs it fetches; without it the test is skipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/render.h"
#include "module/file_stream.h"
#include "module/xm_reader.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int32_t max_blocks = 3000;   // about a minute of each song: the sanitizers are slow
#else
constexpr int32_t max_blocks = 45000;  // 15 minutes, far beyond any of them
#endif

std::vector<std::filesystem::path> real_modules() {
    std::vector<std::filesystem::path> files;
    const char* dir = std::getenv("WQ_REAL_MODULES");
    if (!dir || !std::filesystem::is_directory(dir)) return files;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().extension() == ".xm") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(RealModules, EachLoadsPlaysOnceThroughAndSounds) {
    const auto files = real_modules();
    if (files.empty()) GTEST_SKIP() << "WQ_REAL_MODULES names no folder of .xm files";
    file_stream_install();
    std::vector<int16_t> pcm(2 * 884);
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        Song* song = song_load(file.c_str(), nullptr);
        ASSERT_NE(song, nullptr);
        ASSERT_TRUE(render_start(song));
        int64_t energy = 0;
        int32_t blocks = 0;
        while (blocks < max_blocks && !render_song_returned()) {
            BlockInfo info{};
            render_next_block(pcm.data(), &info);
            ++blocks;
            ASSERT_LT(info.order, song->song_length);
            for (int16_t s : pcm) energy += s < 0 ? -int64_t{s} : s;
        }
        render_stop();
        EXPECT_GT(energy, int64_t{blocks} * 884) << "silent render";
        EXPECT_TRUE(song_free(song));
    }
}

}  // namespace
