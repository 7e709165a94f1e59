#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "module/xm_reader.h"
#include "sequencer/tick_clock.h"
#include "support/memory_stream.h"
#include "support/xm_writer.h"

namespace {

struct SongDeleter {
    void operator()(Song* song) const { song_free(song); }
};
using SongPtr = std::unique_ptr<Song, SongDeleter>;

SongPtr load(const std::vector<uint8_t>& bytes, SampleLoadCallback callback = nullptr) {
    SongPtr song(song_load_from_memory(bytes, callback));
    EXPECT_EQ(memory_stream_open_count(), 0) << "the loader left its stream open";
    return song;
}

SongPtr load(const XmModuleDesc& desc, SampleLoadCallback callback = nullptr) {
    return load(xm_write(desc), callback);
}

XmModuleDesc one_pattern_module(int channels = 2) {
    XmModuleDesc m;
    m.channels = static_cast<uint16_t>(channels);
    m.patterns.push_back(XmPatternDesc{});
    return m;
}

// A module with one instrument holding the given samples.
XmModuleDesc sample_module(std::vector<XmSampleDesc> samples) {
    XmModuleDesc m = one_pattern_module();
    XmInstrumentDesc ins;
    ins.samples = std::move(samples);
    m.instruments.push_back(ins);
    return m;
}

std::vector<int16_t> frames_of(const Sample* s, uint32_t count) {
    return std::vector<int16_t>(s->data, s->data + count);
}

// ---------------------------------------------------------------------------------------
// Signature and module header

TEST(LoaderSignature, ComparedByteForByte) {
    struct Case {
        const char* signature;
        bool loads;
    };
    const Case cases[] = {
        {"Extended Module: ", true},
        {"Extended module: ", false},   // one letter in another case
        {"extended Module: ", false},
        {"Extended Module:_", false},   // the final blank
        {"Extended Module:", false},    // the final blank missing (written as 0)
        {"Extended Modules", false},
    };
    for (const Case& c : cases) {
        XmModuleDesc m = one_pattern_module();
        m.signature = c.signature;
        SongPtr song = load(m);
        EXPECT_EQ(song != nullptr, c.loads) << c.signature;
    }
}

TEST(LoaderSignature, FilesTooShortOrMissingFail) {
    std::vector<uint8_t> full = xm_write(one_pattern_module());
    for (size_t size : {0u, 1u, 16u}) {
        std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<long>(size));
        EXPECT_EQ(load(cut), nullptr) << size;
    }
    memory_stream_install();
    EXPECT_EQ(song_load("not-registered.xm", nullptr), nullptr);
    EXPECT_EQ(memory_stream_counts().failed_opens, 1);
    EXPECT_EQ(memory_stream_counts().reads + memory_stream_counts().closes, 0);
}

TEST(LoaderHeader, FieldsTakenFromTheModule) {
    XmModuleDesc m;
    m.channels = 5;
    m.orders = {0, 1, 1, 0, 2};
    m.restart = 3;
    m.linear = false;
    m.flags = 0xFFFE;   // only bit 0 means anything; the rest is kept
    m.speed = 3;
    m.bpm = 150;
    m.patterns.resize(3);
    m.instruments.resize(2);
    SongPtr song = load(m);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->song_length, 5);
    EXPECT_EQ(song->restart_position, 3);
    EXPECT_EQ(song->channel_count, 5);
    EXPECT_EQ(song->instrument_count, 2);
    EXPECT_EQ(song->song_flags, 0xFFFE);
    EXPECT_EQ(song->default_speed, 3);
    EXPECT_EQ(song->default_bpm, 150);
    EXPECT_EQ(song->default_global_volume, 64);
    EXPECT_EQ(song->tick_handler, &song_tick);
    EXPECT_EQ(song->sample_load_callback, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(song->order_table, song->order_table + 6),
              (std::vector<uint8_t>{0, 1, 1, 0, 2, 0}));
    EXPECT_EQ(song->used_pattern_count, 3);
    EXPECT_EQ(song->pattern_slots, 3);
}

TEST(LoaderHeader, HeaderSizeDecidesWherePatternsStart) {
    XmModuleDesc m = one_pattern_module(1);
    m.header_size = 276 + 100;   // padded header
    m.patterns[0] = xm_pattern_from_text(1, {"C-4 01 .. ..."}, 4);
    SongPtr song = load(m);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->patterns[0].row_count, 4);
    EXPECT_EQ(song->patterns[0].cells[0].note, xm_note("C-4"));
}

// ---------------------------------------------------------------------------------------
// Patterns

TEST(LoaderPatterns, SlotsCoverTheOrderListOnly) {
    XmModuleDesc m = one_pattern_module(3);
    m.patterns.resize(10);
    m.orders = {0, 12, 3};
    m.orders.resize(200, 40);   // beyond song_length: do not count
    m.song_length = 3;
    SongPtr song = load(m);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->used_pattern_count, 13);
    EXPECT_EQ(song->pattern_slots, 13);
    for (int p = 10; p < 13; ++p) {
        ASSERT_NE(song->patterns[p].cells, nullptr);
        EXPECT_EQ(song->patterns[p].row_count, 64);
        for (int i = 0; i < 64 * 3; ++i) EXPECT_EQ(song->patterns[p].cells[i].note, 0);
    }
}

TEST(LoaderPatterns, DeclaredCountAboveTheOrderListKeepsAllPatterns) {
    XmModuleDesc m = one_pattern_module();
    m.patterns.resize(4);
    m.orders = {1};
    SongPtr song = load(m);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->used_pattern_count, 2);
    EXPECT_EQ(song->pattern_slots, 4);
}

struct CellCase {
    XmCell written;
    PatternCell loaded;
};

const CellCase cell_cases[] = {
    {{0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}},
    {{49, 1, 0x40, 0x0A, 0x01}, {49, 1, 0x40, 0x0A, 0x01}},
    {{97, 0, 0, 0, 0}, {255, 0, 0, 0, 0}},           // key off
    {{0, 129, 0, 0, 0}, {0, 0, 0, 0, 0}},            // instrument above 128
    {{0, 128, 0, 0, 0}, {0, 128, 0, 0, 0}},
    {{0, 255, 0x10, 0, 0}, {0, 0, 0x10, 0, 0}},
    {{98, 3, 0, 0, 0}, {98, 3, 0, 0, 0}},            // odd notes stay as read
    {{96, 0, 0, 0x0F, 0}, {96, 0, 0, 0x0F, 0}},
    {{0, 0, 0, 0, 0x33}, {0, 0, 0, 0, 0x33}},        // parameter alone
    {{1, 2, 3, 4, 5}, {1, 2, 3, 4, 5}},
};

TEST(LoaderPatterns, PackedAndPlainCellsWithFixUps) {
    const int channels = 3;
    for (bool packed : {true, false}) {
        XmModuleDesc m = one_pattern_module(channels);
        m.packed = packed;
        XmPatternDesc pat;
        pat.rows = 4;
        for (const CellCase& c : cell_cases) pat.cells.push_back(c.written);
        m.patterns = {pat, xm_pattern_from_text(channels, {"... .. .. F03 | C-1 02 .. ..."}, 2)};
        SongPtr song = load(m);
        ASSERT_NE(song, nullptr);
        const Pattern& p = song->patterns[0];
        ASSERT_EQ(p.row_count, 4);
        for (size_t i = 0; i < std::size(cell_cases); ++i) {
            const PatternCell& got = p.cells[i];
            const PatternCell& want = cell_cases[i].loaded;
            EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0) << "cell " << i << " packed " << packed;
        }
        for (size_t i = std::size(cell_cases); i < 12; ++i) EXPECT_EQ(p.cells[i].note, 0);
        // The next pattern starts right after the cells just decoded.
        const Pattern& q = song->patterns[1];
        EXPECT_EQ(q.cells[0].effect, 0x0F);
        EXPECT_EQ(q.cells[0].effect_param, 0x03);
        EXPECT_EQ(q.cells[1].note, xm_note("C-1"));
        EXPECT_EQ(q.cells[1].instrument, 2);
    }
}

TEST(LoaderPatterns, PackedBitsFiveAndSixAreIgnored) {
    XmModuleDesc m = one_pattern_module(2);
    XmPatternDesc pat;
    pat.rows = 1;
    pat.data = std::vector<uint8_t>{0x80 | 0x60 | 0x01, 50, 0xE0};
    m.patterns = {pat, xm_pattern_from_text(2, {"D-2 .. .. ..."}, 1)};
    SongPtr song = load(m);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->patterns[0].cells[0].note, 50);
    EXPECT_EQ(song->patterns[0].cells[0].instrument, 0);
    EXPECT_EQ(song->patterns[0].cells[1].note, 0);
    EXPECT_EQ(song->patterns[1].cells[0].note, xm_note("D-2"));
}

TEST(LoaderPatterns, ZeroDataSizeMeansEmptyRowsAndNoBytes) {
    XmModuleDesc m = one_pattern_module(2);
    XmPatternDesc empty;
    empty.rows = 7;
    empty.packed_size = 0;
    m.patterns = {empty, xm_pattern_from_text(2, {"... .. .. ... | E-3 05 .. ..."}, 3)};
    SongPtr song = load(m);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->patterns[0].row_count, 7);
    for (int i = 0; i < 14; ++i) EXPECT_EQ(song->patterns[0].cells[i].note, 0);
    EXPECT_EQ(song->patterns[1].row_count, 3);
    EXPECT_EQ(song->patterns[1].cells[1].note, xm_note("E-3"));
    EXPECT_EQ(song->patterns[1].cells[1].instrument, 5);
}

TEST(LoaderPatterns, CellCountComesFromRowsNotFromDataSize) {
    XmModuleDesc m = one_pattern_module(1);
    XmPatternDesc pat = xm_pattern_from_text(1, {"C-4 01 .. ...", "D-4 .. .. ..."}, 2);
    pat.packed_size = 1;   // only tested against 0
    m.patterns = {pat, xm_pattern_from_text(1, {"G-4 .. .. ..."}, 1)};
    SongPtr song = load(m);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->patterns[0].cells[1].note, xm_note("D-4"));
    EXPECT_EQ(song->patterns[1].cells[0].note, xm_note("G-4"));
}

// ---------------------------------------------------------------------------------------
// Instruments

TEST(LoaderInstruments, SampleCountsZeroSixteenSeventeen) {
    struct Case {
        int samples;
        bool loads;
    };
    for (Case c : {Case{0, true}, Case{1, true}, Case{16, true}, Case{17, false}}) {
        XmModuleDesc m = one_pattern_module();
        XmInstrumentDesc ins;
        for (int j = 0; j < c.samples; ++j) ins.samples.push_back(xm_sample_8bit({int8_t(j), 1}));
        m.instruments = {XmInstrumentDesc{}, ins, xm_instrument(xm_sample_8bit({9}))};
        SongPtr song = load(m);
        ASSERT_EQ(song != nullptr, c.loads) << c.samples;
        if (!song) continue;
        const Instrument& got = song->instruments[1];
        EXPECT_EQ(got.sample_count, c.samples);
        for (int j = 0; j < instrument_max_samples; ++j) {
            if (j < c.samples) {
                ASSERT_NE(got.samples[j], &silent_sample);
                EXPECT_EQ(got.samples[j]->data[0], j * 256);
            } else {
                EXPECT_EQ(got.samples[j], &silent_sample);
            }
        }
        // The instrument after it is read from the right place.
        EXPECT_EQ(song->instruments[2].samples[0]->data[0], 9 * 256);
    }
}

TEST(LoaderInstruments, EmptyInstrumentEndsAtItsHeaderSize) {
    XmModuleDesc m = one_pattern_module();
    XmInstrumentDesc empty;
    empty.header_size = 263;   // a full-size header without samples: skipped as a whole
    m.instruments = {empty, xm_instrument(xm_sample_8bit({5}))};
    SongPtr song = load(m);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->instruments[0].sample_count, 0);
    for (Sample* s : song->instruments[0].samples) EXPECT_EQ(s, &silent_sample);
    EXPECT_EQ(song->instruments[1].samples[0]->data[0], 5 * 256);
}

TEST(LoaderInstruments, HeaderFieldsAndFadeoutDoubling) {
    XmModuleDesc m = one_pattern_module();
    XmInstrumentDesc ins = xm_instrument(xm_sample_8bit({1}));
    for (int n = 0; n < 96; ++n) ins.sample_map[n] = static_cast<uint8_t>(n % 3);
    ins.volume_envelope = xm_envelope({{0, 64}, {10, 32}, {20, 0}}, 1, std::pair<uint8_t, uint8_t>{0, 2});
    ins.panning_envelope = xm_envelope({{0, 0}, {5, 64}});
    ins.vibrato_type = 2;
    ins.vibrato_sweep = 3;
    ins.vibrato_depth = 4;
    ins.vibrato_rate = 5;
    struct Case {
        uint16_t file;
        uint16_t stored;
    };
    for (Case c : {Case{0, 0}, Case{2048, 4096}, Case{40000, 14464}, Case{0xFFFF, 0xFFFE}}) {
        ins.fadeout = c.file;
        m.instruments = {ins};
        SongPtr song = load(m);
        ASSERT_NE(song, nullptr);
        const Instrument& got = song->instruments[0];
        EXPECT_EQ(got.fadeout, c.stored) << c.file;
        EXPECT_EQ(got.sample_map[0], 0);
        EXPECT_EQ(got.sample_map[95], 95 % 3);
        EXPECT_EQ(got.volume_point_count, 3);
        EXPECT_EQ(got.volume_envelope[1].tick, 10);
        EXPECT_EQ(got.volume_envelope[1].value, 32);
        EXPECT_EQ(got.volume_envelope_flags, 7);
        EXPECT_EQ(got.volume_sustain_point, 1);
        EXPECT_EQ(got.volume_loop_start, 0);
        EXPECT_EQ(got.volume_loop_end, 2);
        EXPECT_EQ(got.panning_point_count, 2);
        EXPECT_EQ(got.panning_envelope[1].value, 64);
        EXPECT_EQ(got.panning_envelope_flags, 1);
        EXPECT_EQ(got.auto_vibrato_type, 2);
        EXPECT_EQ(got.auto_vibrato_sweep, 3);
        EXPECT_EQ(got.auto_vibrato_depth, 4);
        EXPECT_EQ(got.auto_vibrato_rate, 5);
    }
}

TEST(LoaderInstruments, EnvelopeWithFewerThanTwoPointsIsOff) {
    for (uint8_t points : {0, 1, 2}) {
        XmModuleDesc m = one_pattern_module();
        XmInstrumentDesc ins = xm_instrument(xm_sample_8bit({1}));
        ins.volume_envelope.points = {{0, 64}, {4, 0}};
        ins.volume_envelope.point_count = points;
        ins.volume_envelope.flags = 7;
        ins.panning_envelope = ins.volume_envelope;
        m.instruments = {ins};
        SongPtr song = load(m);
        ASSERT_NE(song, nullptr);
        uint8_t want = points < 2 ? 0 : 1;   // sustain and loop point 0 exist with 2 points
        EXPECT_EQ(song->instruments[0].volume_envelope_flags, points < 2 ? 0 : 7) << int(points);
        EXPECT_EQ(song->instruments[0].panning_envelope_flags & 1, want);
    }
}

// ---------------------------------------------------------------------------------------
// Samples

TEST(LoaderSamples, EightBitDeltasBecomeHighBytes) {
    XmSampleDesc s;
    s.data = std::vector<uint8_t>{0x01, 0x01, 0xFE};
    s.length_bytes = 3;
    SongPtr song = load(sample_module({s}));
    ASSERT_NE(song, nullptr);
    const Sample* got = song->instruments[0].samples[0];
    EXPECT_EQ(got->bits, 16);
    EXPECT_EQ(got->length, 3u);
    EXPECT_EQ(frames_of(got, 3 + 8), (std::vector<int16_t>{256, 512, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(LoaderSamples, SixteenBitDeltasWrapAndFramesRoundTrip) {
    std::vector<int16_t> values = {0, 32767, -32768, -1, 1, 1000, -1000, 12345};
    std::vector<int8_t> small = {0, 127, -128, -1, 1, 100, -100, 45};
    SongPtr song = load(sample_module({xm_sample_16bit(values), xm_sample_8bit(small)}));
    ASSERT_NE(song, nullptr);
    const Sample* wide = song->instruments[0].samples[0];
    EXPECT_EQ(wide->length, 8u);
    EXPECT_EQ(wide->bits, 16);
    EXPECT_EQ(frames_of(wide, 8), values);
    const Sample* narrow = song->instruments[0].samples[1];
    for (size_t k = 0; k < small.size(); ++k) EXPECT_EQ(narrow->data[k], small[k] * 256) << k;
}

TEST(LoaderSamples, DataIsPaddedWithZeroFramesOnBothSides) {
    SongPtr song = load(sample_module({xm_sample_16bit({7, 7, 7})}));
    ASSERT_NE(song, nullptr);
    const Sample* s = song->instruments[0].samples[0];
    EXPECT_EQ(s->data[-1], 0);   // interpolation just below frame 0
    for (int k = 3; k < 3 + 8; ++k) EXPECT_EQ(s->data[k], 0);
}

TEST(LoaderSamples, LoopTypesAndGuardFrames) {
    const std::vector<int8_t> ramp = {10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    struct Case {
        const char* what;
        uint8_t type;
        bool sixteen;
        uint32_t loop_start_bytes, loop_length_bytes;
        uint8_t mode;
        uint32_t loop_start, loop_length;
        int32_t guard;   // value expected at loop_start + loop_length, in high bytes
    };
    const Case cases[] = {
        {"no loop", 0, false, 2, 4, 1, 0, 10, 0},
        {"forward", 1, false, 2, 4, 2, 2, 4, 12},
        {"ping-pong", 2, false, 2, 4, 4, 2, 4, 15},
        {"both bits: ping-pong", 3, false, 2, 4, 4, 2, 4, 15},
        {"forward to the end", 1, false, 6, 4, 2, 6, 4, 16},
        {"ping-pong to the end", 2, false, 6, 4, 4, 6, 4, 19},
        {"loop length 0", 1, false, 3, 0, 1, 0, 10, 0},
        {"other type bits ignored", 0xE1, false, 2, 4, 2, 2, 4, 12},
        {"16-bit bytes to frames", 0x11, true, 4, 8, 2, 2, 4, 12},
        {"16-bit loop of 1 byte", 0x11, true, 4, 1, 1, 0, 10, 0},
    };
    for (const Case& c : cases) {
        XmSampleDesc s;
        if (c.sixteen) {
            std::vector<int16_t> wide(ramp.begin(), ramp.end());
            for (int16_t& v : wide) v = static_cast<int16_t>(v * 256);
            s = xm_sample_16bit(wide);
        } else {
            s = xm_sample_8bit(ramp);
        }
        s.type = c.type;
        s.loop_start_bytes = c.loop_start_bytes;
        s.loop_length_bytes = c.loop_length_bytes;
        SongPtr song = load(sample_module({s}));
        ASSERT_NE(song, nullptr) << c.what;
        const Sample* got = song->instruments[0].samples[0];
        EXPECT_EQ(got->length, 10u) << c.what;
        EXPECT_EQ(got->loop_mode, c.mode) << c.what;
        EXPECT_EQ(got->loop_start, c.loop_start) << c.what;
        EXPECT_EQ(got->loop_length, c.loop_length) << c.what;
        EXPECT_EQ(got->data[c.loop_start + c.loop_length], c.guard * 256) << c.what;
        for (uint32_t k = 0; k < 10; ++k)
            if (k != c.loop_start + c.loop_length) {
                EXPECT_EQ(got->data[k], ramp[k] * 256) << c.what;
            }
    }
}

TEST(LoaderSamples, HeaderFieldsKeptAsStored) {
    XmSampleDesc s = xm_sample_8bit({1, 2});
    s.volume = 70;   // not clamped
    s.finetune = -128;
    s.panning = 255;
    s.relative_note = -12;
    SongPtr song = load(sample_module({s}));
    ASSERT_NE(song, nullptr);
    const Sample* got = song->instruments[0].samples[0];
    EXPECT_EQ(got->volume, 70);
    EXPECT_EQ(got->finetune, -128);
    EXPECT_EQ(got->panning, 255);
    EXPECT_EQ(got->relative_note, -12);
}

TEST(LoaderSamples, EmptySampleHasNoDataAndTakesNoBytes) {
    XmSampleDesc empty = xm_sample_16bit({});
    empty.type = 0x11;
    SongPtr song = load(sample_module({empty, xm_sample_8bit({3, 3})}));
    ASSERT_NE(song, nullptr);
    const Sample* got = song->instruments[0].samples[0];
    EXPECT_EQ(got->data, nullptr);
    EXPECT_EQ(got->length, 0u);
    EXPECT_EQ(got->bits, 16);   // the declared depth of a sample without data
    EXPECT_EQ(got->loop_mode, loop_mode_none);
    EXPECT_EQ(song->instruments[0].samples[1]->data[1], 3 * 256);
}

TEST(LoaderSamples, OddSixteenBitLengthLeavesTheLastByteInTheFile) {
    // 5 bytes declared: 2 frames (4 bytes) are read; the fifth byte is where the next
    // sample's data is read from.
    XmSampleDesc odd;
    odd.type = 0x10;
    odd.length_bytes = 5;
    odd.data = std::vector<uint8_t>{0x01, 0x00, 0x01, 0x00, 0x07};
    XmSampleDesc next = xm_sample_8bit({1, 1});
    SongPtr song = load(sample_module({odd, next}));
    ASSERT_NE(song, nullptr);
    const Sample* a = song->instruments[0].samples[0];
    EXPECT_EQ(a->length, 2u);
    EXPECT_EQ(frames_of(a, 3), (std::vector<int16_t>{1, 2, 0}));
    const Sample* b = song->instruments[0].samples[1];
    EXPECT_EQ(frames_of(b, 2), (std::vector<int16_t>{7 * 256, 8 * 256}));
}

// ---------------------------------------------------------------------------------------
// Sample load callback

struct CallbackRecord {
    int32_t byte_count, bits, instrument, sample;
    bool zero_filled;
};
std::vector<CallbackRecord> callback_calls;

void recording_callback(void* destination, int32_t byte_count, int32_t bits, int32_t instrument_index,
                        int32_t sample_index) {
    auto* bytes = static_cast<uint8_t*>(destination);
    // The block is length x 2 + 16 bytes; for 16-bit samples that is byte_count + 16.
    int32_t block = bits == 8 ? byte_count * 2 + 16 : byte_count + 16;
    bool zero = true;
    for (int32_t i = 0; i < block; ++i) zero = zero && bytes[i] == 0;
    callback_calls.push_back({byte_count, bits, instrument_index, sample_index, zero});
    // Plain PCM: byte k (8-bit) or frame k (16-bit) = k + 1.
    if (bits == 8) {
        for (int32_t k = 0; k < byte_count; ++k) bytes[k] = static_cast<uint8_t>(k + 1);
    } else {
        for (int32_t k = 0; k < byte_count / 2; ++k) {
            bytes[2 * k] = static_cast<uint8_t>(k + 1);
            bytes[2 * k + 1] = 0;
        }
    }
}

TEST(LoaderCallback, SuppliesPlainDataAndTheModuleBytesAreSkipped) {
    callback_calls.clear();
    XmModuleDesc m = one_pattern_module();
    XmInstrumentDesc first;
    first.samples = {xm_sample_8bit({50, 50, 50}), xm_sample_8bit({}), xm_sample_16bit({9, 9, 9, 9})};
    first.samples[2].loop = XmLoop::forward;
    first.samples[2].loop_start = 1;
    first.samples[2].loop_length = 2;
    m.instruments = {first, XmInstrumentDesc{}, xm_instrument(xm_sample_8bit({60, 60}))};
    SongPtr song = load(m, recording_callback);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->sample_load_callback, &recording_callback);
    ASSERT_EQ(callback_calls.size(), 3u);   // not for the empty sample
    struct Want {
        int32_t byte_count, bits, instrument, sample;
    };
    const Want want[] = {{3, 8, 0, 0}, {8, 16, 0, 2}, {2, 8, 2, 0}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(callback_calls[i].byte_count, want[i].byte_count) << i;
        EXPECT_EQ(callback_calls[i].bits, want[i].bits) << i;
        EXPECT_EQ(callback_calls[i].instrument, want[i].instrument) << i;
        EXPECT_EQ(callback_calls[i].sample, want[i].sample) << i;
        EXPECT_TRUE(callback_calls[i].zero_filled) << i;
    }
    // No delta decoding; 8-bit values still become high bytes; the guard frame is written.
    const Instrument& ins = song->instruments[0];
    EXPECT_EQ(frames_of(ins.samples[0], 4), (std::vector<int16_t>{256, 512, 768, 0}));
    EXPECT_EQ(ins.samples[0]->bits, 16);
    EXPECT_EQ(frames_of(ins.samples[2], 5), (std::vector<int16_t>{1, 2, 3, 2, 0}));
    // The instrument after the skipped bytes is in place.
    EXPECT_EQ(song->instruments[2].sample_count, 1);
    EXPECT_EQ(frames_of(song->instruments[2].samples[0], 2), (std::vector<int16_t>{256, 512}));
}

// ---------------------------------------------------------------------------------------
// Files that end early

XmModuleDesc rich_module() {
    XmModuleDesc m;
    m.name = "rich";
    m.channels = 4;
    m.orders = {0, 1, 0};
    m.patterns = {xm_pattern_from_text(4, {"C-4 01 40 A01 | D-4 02 .. ... | === .. .. ... | ... .. .. F06",
                                           "... .. 30 ... | ... .. .. E61 | C-5 01 .. 908 | ... .. .. ..."},
                                       16),
                  xm_pattern_from_text(4, {"G-3 02 .. ..."}, 8)};
    XmInstrumentDesc a = xm_instrument(xm_sample_8bit({0, 20, 40, 60, 40, 20, 0, -20, -40, -60},
                                                      XmLoop::forward, 2, 6));
    a.volume_envelope = xm_envelope({{0, 64}, {8, 32}, {16, 0}}, 1);
    a.fadeout = 300;
    XmInstrumentDesc b = xm_instrument(xm_sample_16bit({100, -100, 200, -200, 300, -300, 400, -400},
                                                       XmLoop::pingpong, 1, 5));
    b.samples.push_back(xm_sample_8bit({1, 2, 3, 4, 5, 6}));
    b.sample_map.fill(1);
    b.vibrato_depth = 8;
    b.vibrato_rate = 3;
    m.instruments = {a, b};
    return m;
}

TEST(LoaderTruncated, EveryCutLoadsOnceTheChannelCountIsIn) {
    std::vector<uint8_t> full = xm_write(rich_module());
    SongPtr whole = load(full);
    ASSERT_NE(whole, nullptr);
    for (size_t size = 17; size < full.size(); ++size) {
        std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<long>(size));
        SongPtr song = load(cut);
        // The rest reads as zeros; before the channel count's low byte (offset 68) that is
        // 0 channels, which is refused.
        EXPECT_EQ(song != nullptr, size > 68) << size;
    }
}

TEST(LoaderTruncated, CutInsideSampleDataRepeatsTheLastValue) {
    struct Case {
        const char* what;
        XmSampleDesc sample;
        size_t bytes_kept;
        std::vector<int16_t> head;   // frames expected first; the rest repeats the last one
    };
    std::vector<int16_t> long_wide(1000, 0);
    long_wide[0] = 300;
    long_wide[1] = 300 + 0x1234;   // a delta of 0x1234
    const Case cases[] = {
        {"8-bit", xm_sample_8bit({10, 20, 30, 40, 50, 60}), 3, {2560, 5120, 7680}},
        {"8-bit, nothing left", xm_sample_8bit({10, 20}), 0, {0}},
        {"16-bit, whole frames", xm_sample_16bit(long_wide), 4, {300, 300 + 0x1234}},
        // Half a frame: its low byte is a delta of 0x34 on top of 300.
        {"16-bit, half a frame", xm_sample_16bit(long_wide), 3, {300, 300 + 0x34}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = xm_write(sample_module({c.sample}));
        size_t data_bytes = c.sample.frames.size() * (c.sample.sixteen_bit ? 2 : 1);
        bytes.resize(bytes.size() - data_bytes + c.bytes_kept);
        SongPtr song = load(bytes);
        ASSERT_NE(song, nullptr) << c.what;
        const Sample* s = song->instruments[0].samples[0];
        ASSERT_EQ(s->length, c.sample.frames.size()) << c.what;
        for (uint32_t k = 0; k < s->length; ++k) {
            int16_t want = k < c.head.size() ? c.head[k] : c.head.back();
            ASSERT_EQ(s->data[k], want) << c.what << " frame " << k;
        }
        EXPECT_EQ(s->data[s->length], 0) << c.what;   // the spare frames stay silent
    }
}

TEST(LoaderTruncated, CutInsidePatternCellsLeavesEmptyCells) {
    XmModuleDesc m = one_pattern_module(1);
    m.patterns[0] = xm_pattern_from_text(1, {"C-4 01 .. ...", "D-4 01 .. ...", "E-4 01 .. ..."}, 3);
    std::vector<uint8_t> bytes = xm_write(m);
    bytes.resize(bytes.size() - 4);   // the third cell is 0x83 note instrument: cut into the second
    SongPtr song = load(bytes);
    ASSERT_NE(song, nullptr);
    const PatternCell* c = song->patterns[0].cells;
    EXPECT_EQ(c[0].note, xm_note("C-4"));
    EXPECT_EQ(c[1].note, xm_note("D-4"));
    EXPECT_EQ(c[1].instrument, 0);
    EXPECT_EQ(c[2].note, 0);
}

// ---------------------------------------------------------------------------------------
// Limits decided at load time

TEST(LoaderLimits, ChannelCountAndSongLength) {
    struct Case {
        const char* what;
        uint16_t channels;
        uint16_t song_length;
        bool loads;
        int16_t stored_length;
    };
    const Case cases[] = {
        {"1 channel", 1, 1, true, 1},
        {"32 channels", 32, 1, true, 1},
        {"0 channels", 0, 1, false, 0},
        {"33 channels", 33, 1, false, 0},
        {"65535 channels", 65535, 1, false, 0},
        {"256 orders", 4, 256, true, 256},
        {"257 orders", 4, 257, false, 0},
        {"65535 orders", 4, 65535, false, 0},
        {"0 orders plays order 0", 4, 0, true, 1},
    };
    for (const Case& c : cases) {
        XmModuleDesc m = one_pattern_module(4);
        m.channel_count = c.channels;
        m.song_length = c.song_length;
        m.orders = {3};
        SongPtr song = load(m);
        ASSERT_EQ(song != nullptr, c.loads) << c.what;
        if (!song) continue;
        EXPECT_EQ(song->song_length, c.stored_length) << c.what;
        EXPECT_EQ(song->channel_count, c.channels) << c.what;
        // Every order the clock can reach names an existing pattern.
        for (int i = 0; i < song->song_length; ++i) {
            ASSERT_LT(song->order_table[i], song->pattern_slots) << c.what;
            EXPECT_NE(song->patterns[song->order_table[i]].cells, nullptr) << c.what;
        }
    }
}

TEST(LoaderLimits, RestartPositionAndTempo) {
    struct Case {
        uint16_t restart, bpm;
        int16_t stored_restart, stored_bpm;
    };
    const Case cases[] = {
        {0, 125, 0, 125},      {2, 1, 2, 1},          {3, 32767, 0, 32767},
        {200, 0, 0, 125},      {0x8000, 0x8000, 0, 125}, {0xFFFF, 0xFFFF, 0, 125},
    };
    for (const Case& c : cases) {
        XmModuleDesc m = one_pattern_module();
        m.orders = {0, 0, 0};
        m.restart = c.restart;
        m.bpm = c.bpm;
        SongPtr song = load(m);
        ASSERT_NE(song, nullptr);
        EXPECT_EQ(song->restart_position, c.stored_restart) << c.restart;
        EXPECT_EQ(song->default_bpm, c.stored_bpm) << c.bpm;
    }
}

TEST(LoaderLimits, EnvelopeCountsAndIndices) {
    struct Case {
        const char* what;
        uint8_t count, flags, sustain, loop_start, loop_end;
        uint8_t stored_count, stored_flags;
    };
    const Case cases[] = {
        {"valid", 12, 7, 11, 0, 11, 12, 7},
        {"13 points", 13, 1, 0, 0, 0, 12, 1},
        {"255 points", 255, 7, 3, 1, 5, 12, 7},
        {"sustain at count", 4, 3, 4, 0, 0, 4, 1},
        {"sustain far out", 4, 7, 200, 0, 3, 4, 5},
        {"loop start at count", 4, 5, 0, 4, 3, 4, 1},
        {"loop end at count", 4, 5, 0, 0, 4, 4, 1},
        {"loop start after end", 4, 5, 0, 3, 1, 4, 5},
        {"other bits kept", 4, 0xF9, 0, 0, 0, 4, 0xF9},
    };
    for (const Case& c : cases) {
        XmModuleDesc m = one_pattern_module();
        XmInstrumentDesc ins = xm_instrument(xm_sample_8bit({1}));
        XmEnvelopeDesc env;
        for (int k = 0; k < 12; ++k) env.points.push_back({uint16_t(k * 4), uint16_t(64 - k)});
        env.point_count = c.count;
        env.flags = c.flags;
        env.sustain_point = c.sustain;
        env.loop_start = c.loop_start;
        env.loop_end = c.loop_end;
        ins.volume_envelope = env;
        ins.panning_envelope = env;
        m.instruments = {ins};
        SongPtr song = load(m);
        ASSERT_NE(song, nullptr) << c.what;
        const Instrument& got = song->instruments[0];
        EXPECT_EQ(got.volume_point_count, c.stored_count) << c.what;
        EXPECT_EQ(got.volume_envelope_flags, c.stored_flags) << c.what;
        EXPECT_EQ(got.panning_point_count, c.stored_count) << c.what;
        EXPECT_EQ(got.panning_envelope_flags, c.stored_flags) << c.what;
        EXPECT_EQ(got.volume_sustain_point, c.sustain) << c.what;   // indices kept as read
        EXPECT_EQ(got.volume_envelope[12].tick, 0) << c.what;      // slots beyond 12 stay zero
    }
}

TEST(LoaderLimits, LoopEndBeyondTheSample) {
    struct Case {
        const char* what;
        uint8_t type;
        uint32_t loop_start_bytes, loop_length_bytes;
        uint8_t mode;
        uint32_t loop_start, loop_length;
    };
    // An 8-frame 8-bit sample: data holds 16 frames, so a loop may end at frame 14 at most.
    const Case cases[] = {
        {"ends at the sample end", 1, 2, 6, 2, 2, 6},
        {"ends 6 frames beyond", 1, 2, 12, 2, 2, 12},
        {"ends 7 frames beyond: cut", 1, 2, 13, 2, 2, 6},
        {"huge length: cut", 2, 3, 0xFFFFFFFF, 4, 3, 5},
        {"start beyond the end: no loop", 1, 9, 10, 1, 0, 8},
        {"start and length overflow", 1, 0xFFFFFFF0, 0x20, 1, 0, 8},
    };
    for (const Case& c : cases) {
        XmSampleDesc s = xm_sample_8bit({1, 2, 3, 4, 5, 6, 7, 8});
        s.type = c.type;
        s.loop_start_bytes = c.loop_start_bytes;
        s.loop_length_bytes = c.loop_length_bytes;
        SongPtr song = load(sample_module({s}));
        ASSERT_NE(song, nullptr) << c.what;
        const Sample* got = song->instruments[0].samples[0];
        EXPECT_EQ(got->loop_mode, c.mode) << c.what;
        EXPECT_EQ(got->loop_start, c.loop_start) << c.what;
        EXPECT_EQ(got->loop_length, c.loop_length) << c.what;
    }
}

TEST(LoaderLimits, MemoryBudgetRefusesHostileSizes) {
    struct Case {
        const char* what;
        XmModuleDesc module;
    };
    std::vector<Case> cases;
    {
        XmModuleDesc m = one_pattern_module(32);
        XmPatternDesc huge;
        huge.rows = 65535;
        huge.packed_size = 0;
        m.patterns.assign(200, huge);   // 200 x 65535 rows x 32 channels x 5 bytes
        cases.push_back({"many long patterns", m});
    }
    {
        XmSampleDesc s;
        s.length_bytes = 0xFFFFFFFF;
        cases.push_back({"4 GB sample", sample_module({s})});
    }
    {
        XmSampleDesc s;
        s.type = 0x10;
        s.length_bytes = 0xFFFFFFFF;
        cases.push_back({"2 G frames of 16 bits", sample_module({s})});
    }
    {
        XmSampleDesc s;
        s.length_bytes = 100u << 20;   // 100 M frames: 200 MB each
        cases.push_back({"two samples over the budget together", sample_module({s, s})});
    }
    for (const Case& c : cases) EXPECT_EQ(load(c.module), nullptr) << c.what;

    // A large but plausible module still loads.
    XmSampleDesc s;
    s.length_bytes = 4u << 20;
    SongPtr song = load(sample_module({s}));
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->instruments[0].samples[0]->length, 4u << 20);
}

TEST(LoaderLimits, PatternWithoutRowsStillHasARowOfCells) {
    XmModuleDesc m = one_pattern_module(3);
    XmPatternDesc empty;
    empty.rows = 0;
    m.patterns = {empty};
    SongPtr song = load(m);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->patterns[0].row_count, 0);
    ASSERT_NE(song->patterns[0].cells, nullptr);
    EXPECT_EQ(song->patterns[0].cells[2].note, 0);
}

TEST(LoaderLimits, NegativeInstrumentCountMeansNone) {
    XmModuleDesc m = one_pattern_module();
    m.instrument_count = 0x8001;
    SongPtr song = load(m);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->instrument_count, 0);
    EXPECT_EQ(song->instruments, nullptr);
}

// ---------------------------------------------------------------------------------------
// Round trip and release

TEST(LoaderRoundTrip, WhatTheWriterWritesIsReadBack) {
    XmModuleDesc m = rich_module();
    for (bool packed : {true, false}) {
        m.packed = packed;
        SongPtr song = load(m);
        ASSERT_NE(song, nullptr);
        EXPECT_EQ(song->channel_count, m.channels);
        EXPECT_EQ(song->song_length, static_cast<int16_t>(m.orders.size()));
        EXPECT_EQ(song->pattern_slots, 2);
        for (size_t p = 0; p < m.patterns.size(); ++p) {
            const XmPatternDesc& want = m.patterns[p];
            const Pattern& got = song->patterns[p];
            ASSERT_EQ(got.row_count, want.rows);
            for (size_t i = 0; i < want.cells.size(); ++i) {
                const XmCell& w = want.cells[i];
                const PatternCell& g = got.cells[i];
                EXPECT_EQ(g.note, w.note == 97 ? 255 : w.note) << p << ":" << i;
                EXPECT_EQ(g.instrument, w.instrument) << p << ":" << i;
                EXPECT_EQ(g.volume_column, w.volume) << p << ":" << i;
                EXPECT_EQ(g.effect, w.effect) << p << ":" << i;
                EXPECT_EQ(g.effect_param, w.param) << p << ":" << i;
            }
        }
        ASSERT_EQ(song->instrument_count, 2);
        for (size_t i = 0; i < m.instruments.size(); ++i) {
            const XmInstrumentDesc& want = m.instruments[i];
            const Instrument& got = song->instruments[i];
            ASSERT_EQ(got.sample_count, static_cast<int32_t>(want.samples.size()));
            EXPECT_EQ(std::memcmp(got.sample_map, want.sample_map.data(), 96), 0);
            EXPECT_EQ(got.volume_point_count, want.volume_envelope.points.size());
            for (size_t k = 0; k < want.volume_envelope.points.size(); ++k) {
                EXPECT_EQ(got.volume_envelope[k].tick, want.volume_envelope.points[k].tick);
                EXPECT_EQ(got.volume_envelope[k].value, want.volume_envelope.points[k].value);
            }
            EXPECT_EQ(got.fadeout, static_cast<uint16_t>(want.fadeout * 2));
            EXPECT_EQ(got.auto_vibrato_depth, want.vibrato_depth);
            EXPECT_EQ(got.auto_vibrato_rate, want.vibrato_rate);
            for (size_t j = 0; j < want.samples.size(); ++j) {
                const XmSampleDesc& ws = want.samples[j];
                const Sample* gs = got.samples[j];
                ASSERT_EQ(gs->length, ws.frames.size());
                EXPECT_EQ(gs->loop_mode, ws.loop == XmLoop::none ? 1 : ws.loop == XmLoop::forward ? 2 : 4);
                if (ws.loop != XmLoop::none) {
                    EXPECT_EQ(gs->loop_start, ws.loop_start);
                    EXPECT_EQ(gs->loop_length, ws.loop_length);
                }
                int scale = ws.sixteen_bit ? 1 : 256;
                for (size_t k = 0; k < ws.frames.size(); ++k) {
                    if (ws.loop != XmLoop::none && k == ws.loop_start + ws.loop_length) continue;
                    EXPECT_EQ(gs->data[k], ws.frames[k] * scale) << i << "/" << j << "/" << k;
                }
            }
        }
    }
}

TEST(LoaderRelease, FreeOfNullIsFalse) { EXPECT_FALSE(song_free(nullptr)); }

TEST(LoaderRelease, FailedLoadsReleaseWhatTheyBuilt) {
    // Under the leak checker: an instrument with 17 samples after others with data.
    XmModuleDesc m = rich_module();
    XmInstrumentDesc bad;
    bad.samples.assign(17, xm_sample_8bit({1, 2}));
    m.instruments.push_back(bad);
    EXPECT_EQ(load(m), nullptr);
    XmSampleDesc huge;
    huge.length_bytes = 0xFFFFFFF0;
    m.instruments.back() = xm_instrument(huge);
    EXPECT_EQ(load(m), nullptr);
}

}  // namespace
