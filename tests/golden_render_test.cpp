// Golden renders: the PCM and the recorded positions of whole renders, pinned by their
// hashes. Any change to the mixer, the block filler or the sequencer that alters a single
// output bit changes a hash; speed work must leave every one of them as it is.
//
// The real songs come from the folder named by WQ_REAL_MODULES (scripts/test.sh fetches
// them); without it those cases are skipped. Each song is identified by the hash of its
// bytes, so a different file of the same name is reported, not misjudged. A deliberate
// change of the output needs new hashes: the failure shows them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "audio/mixer_kernels.h"
#include "audio/render.h"
#include "module/file_stream.h"
#include "module/xm_reader.h"
#include "support/memory_stream.h"
#include "support/test_modules.h"
#include "support/xm_writer.h"

namespace {

// 64-bit FNV-1a.
struct Fnv {
    uint64_t h = 0xcbf29ce484222325ull;
    void add(const void* data, size_t n) {
        const auto* p = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < n; ++i) {
            h ^= p[i];
            h *= 0x100000001b3ull;
        }
    }
};

std::string hex(uint64_t v) {
    char text[19];
    std::snprintf(text, sizeof text, "0x%016llx", static_cast<unsigned long long>(v));
    return text;
}

// Hash of `blocks` rendered blocks: each block's PCM (as little-endian bytes on this
// machine) followed by its order and row.
uint64_t render_hash(Song* song, int32_t blocks) {
    Fnv fnv;
    std::vector<int16_t> pcm(2 * 884);
    if (!render_start(song)) return 0;
    for (int32_t b = 0; b < blocks; ++b) {
        BlockInfo info{};
        render_next_block(pcm.data(), &info);
        fnv.add(pcm.data(), pcm.size() * sizeof(int16_t));
        const uint8_t pos[2] = {info.order, info.row};
        fnv.add(pos, sizeof pos);
    }
    render_stop();
    return fnv.h;
}

// A song made to drive the mixer into its corners: steps far beyond tiny loops (several
// reflections or wraps per boundary), a ping-pong loop from frame 0, a one-frame forward
// loop, an unlooped sample that ends inside chunks, voices silenced by volume 0, key-off
// and note cut while they keep playing, one-sided panning, sample offsets past the end,
// and tempo changes that give ticks of odd and varied lengths.
XmModuleDesc corner_module(bool linear) {
    std::vector<int16_t> tiny(40);
    for (size_t i = 0; i < tiny.size(); ++i) tiny[i] = static_cast<int16_t>((i * 2654435761u >> 16) - 32768);
    std::vector<int8_t> one(16);
    for (size_t i = 0; i < one.size(); ++i) one[i] = static_cast<int8_t>(i * 17 - 100);
    std::vector<int16_t> hit(50);
    for (size_t i = 0; i < hit.size(); ++i) hit[i] = static_cast<int16_t>(i % 2 ? 30000 - 600 * i : -30000 + 500 * i);
    std::vector<int16_t> tone(5000);
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<int16_t>((i * 37 % 401) * 80 - 16000);

    XmModuleDesc song;
    song.name = "mixer corners";
    song.channels = 8;
    song.linear = linear;
    song.speed = 3;
    song.bpm = 127;
    song.instruments = {
        xm_instrument(xm_sample_16bit(tiny, XmLoop::pingpong, 30, 3)),
        xm_instrument(xm_sample_8bit(one, XmLoop::forward, 10, 1)),
        xm_instrument(xm_sample_16bit(hit)),
        xm_instrument(xm_sample_16bit(tone, XmLoop::forward, 1000, 3000)),
        xm_instrument(xm_sample_16bit(tiny, XmLoop::pingpong, 0, 7)),
    };
    const std::vector<std::string> rows0 = {
        "B-7 01 .. ... | C-1 02 .. 800 | G-7 03 .. ... | C-4 04 .. 8FF | A-6 05 .. ... | C-4 04 10 ... | E-5 01 .. ... | C-2 05 .. ...",
        "... .. .. ... | ... .. .. ... | ... .. .. ... | ... .. .. C00 | ... .. .. ... | ... .. .. ... | ... .. .. EC1 | ... .. .. ...",
        "... .. .. F1F | C-7 03 .. 9FF | ... .. .. ... | ... .. .. ... | === .. .. ... | ... .. .. ... | ... .. .. ... | ... .. .. ...",
        "F#7 01 .. ... | ... .. .. ... | D-4 03 .. 905 | C-4 04 .. 840 | ... .. .. ... | ... .. .. C40 | C-4 05 .. 880 | B-7 05 .. ...",
        "... .. .. F20 | C-7 02 .. ... | ... .. .. ... | ... .. .. ... | C-0 05 .. ... | ... .. .. ... | ... .. .. ... | ... .. .. ...",
        "... .. .. ... | ... .. .. ... | B-7 03 .. ... | ... .. .. A0F | ... .. .. ... | ... .. .. ... | ... .. .. ... | === .. .. ...",
        "... .. .. FFF | ... .. .. ... | ... .. .. ... | ... .. .. ... | C-5 05 .. 2FF | ... .. .. ... | ... .. .. ... | ... .. .. ...",
        "... .. .. F03 | ... .. .. ... | ... .. .. ... | ... .. .. ... | ... .. .. ... | ... .. .. ... | ... .. .. ... | ... .. .. ...",
    };
    const std::vector<std::string> rows1 = {
        "C-3 04 .. F40 | C-3 04 .. 4F8 | C-5 01 .. 1FF | C-4 04 .. ... | G-1 05 .. ... | A-7 05 .. 3FF | D-6 02 .. ... | C-4 03 .. 8C0",
        "... .. .. ... | ... .. .. ... | ... .. .. ... | ... .. .. C00 | ... .. .. ... | ... .. .. ... | ... .. .. ... | ... .. .. ...",
        "... .. .. F7D | ... .. .. ... | ... .. .. ... | ... .. .. C30 | ... .. .. ... | C-1 05 .. ... | ... .. .. ... | ... .. .. ...",
        "... .. .. ... | === .. .. ... | ... .. .. ... | ... .. .. ... | ... .. .. ... | ... .. .. ... | ... .. .. ... | ... .. .. ...",
    };
    song.patterns = {xm_pattern_from_text(8, rows0, 8), xm_pattern_from_text(8, rows1, 4)};
    song.orders = {0, 1, 1, 0};
    return song;
}

struct WriterCase {
    const char* name;
    XmModuleDesc (*module)();
    int32_t blocks;
    uint64_t hash;
};

XmModuleDesc busy_amiga_8() {
    XmModuleDesc desc = test_module_busy(8);
    desc.linear = false;
    return desc;
}

// Two passes of each song (about 16 s of audio): the wrap back to the start is included.
const WriterCase writer_cases[] = {
    {"busy, 1 channel", [] { return test_module_busy(1); }, 820, 0xea30b53dfd5a4bde},
    {"busy, 8 channels", [] { return test_module_busy(8); }, 820, 0xc6ce1a65f4063ab3},
    {"busy, 32 channels", [] { return test_module_busy(32); }, 820, 0x6bca1535a194c1e4},
    {"busy, 8 channels, Amiga periods", busy_amiga_8, 820, 0x5cfd70a101e94c23},
    {"corners, linear", [] { return corner_module(true); }, 700, 0x3137158c76617c0c},
    {"corners, Amiga periods", [] { return corner_module(false); }, 700, 0x8466e0a8726cb96a},
};

// Every mixer kernel this processor runs gives the same renders.
TEST(GoldenRender, WriterModulesRenderAsPinned) {
    const std::pair<MixerKernel, const char*> kernels[] = {
        {MixerKernel::portable, "portable"}, {MixerKernel::avx2, "AVX2"}, {MixerKernel::avx512, "AVX-512"}};
    for (const auto& [kernel, kernel_name] : kernels) {
        mixer_kernels_limit(kernel);
        for (const WriterCase& c : writer_cases) {
            SCOPED_TRACE(testing::Message() << c.name << ", " << kernel_name << " kernels");
            Song* song = song_load_from_memory(xm_write(c.module()));
            ASSERT_NE(song, nullptr);
            EXPECT_EQ(hex(render_hash(song, c.blocks)), hex(c.hash));
            song_free(song);
        }
    }
    mixer_kernels_limit(MixerKernel::avx512);
}

struct RealCase {
    const char* file;
    uint64_t file_hash;     // FNV-1a of the file's bytes
    uint64_t render_hash;   // of its first real_blocks blocks
};

constexpr int32_t real_blocks = 1500;   // 30 s of each song

const RealCase real_cases[] = {
    {"clanlib-doc__clanbeat.xm", 0x23acad8150bb89c5,
     0x9fc4a629ff0d7a88},
    {"heroes-sound-tracks__endscroll.xm", 0x12f7445af4dbf58b,
     0x983ad969863ff3cc},
    {"heroes-sound-tracks__heroes01.xm", 0x451672cbd2f6ffd9,
     0x6575835dd824320e},
    {"heroes-sound-tracks__heroes02.xm", 0x914600d81409b124,
     0xed4bc6bec0696f3a},
    {"heroes-sound-tracks__heroes07.xm", 0xb5f7abd38eadefeb,
     0x93388e1f98603104},
    {"heroes-sound-tracks__heroes09.xm", 0x2f6ffc32db6c00b3,
     0x201e4b7ae7ae0ef6},
    {"heroes-sound-tracks__intro.xm", 0x7541cf0cf161fc29,
     0x23bd17a745d0a490},
    {"pekka-kana-2-data__bigboss.xm", 0xdcb49cfa0d1be8d7,
     0x714dbc6c2939ef15},
    {"pekka-kana-2-data__hiscore.xm", 0x3befbff98c773025,
     0x97cdc5bf860d1ddb},
    {"pekka-kana-2-data__intro.xm", 0xb5aa49bd6361364b,
     0x9d34e04302535f95},
    {"pekka-kana-2-data__song02.xm", 0x6c516256ef4b7b20,
     0x587a078f33663fcb},
    {"pekka-kana-2-data__song09.xm", 0xbd993ee038ad2247,
     0x48d0b600bfa49296},
    {"vodovod__flow.xm", 0x3129c7e9a1b8062b,
     0x4ecb610beaceae96},
    {"vodovod__walk.xm", 0x97c1eee66fc2ca66,
     0xc36cbf93dcc599b0},
    {"vor__mph.xm", 0xabfb141d4461a01b,
     0x70e2a6f9f532140d},
};

TEST(GoldenRender, RealSongsRenderAsPinned) {
    const char* dir = std::getenv("WQ_REAL_MODULES");
    if (!dir || !std::filesystem::is_directory(dir)) GTEST_SKIP() << "WQ_REAL_MODULES names no folder";
    int checked = 0;
    for (const RealCase& c : real_cases) {
        SCOPED_TRACE(c.file);
        const std::filesystem::path path = std::filesystem::path(dir) / c.file;
        std::ifstream in(path, std::ios::binary);
        if (!in) continue;
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        Fnv file;
        file.add(bytes.data(), bytes.size());
        if (file.h != c.file_hash) {
            ADD_FAILURE() << "not the pinned file: its hash is " << hex(file.h);
            continue;
        }
        file_stream_install();
        Song* song = song_load(path.c_str(), nullptr);
        ASSERT_NE(song, nullptr);
        EXPECT_EQ(hex(render_hash(song, real_blocks)), hex(c.render_hash));
        song_free(song);
        ++checked;
    }
    if (checked == 0) GTEST_SKIP() << "none of the pinned songs is in " << dir;
}

}  // namespace
