// The tick clock: tempo, row length, pattern delay, order wrap and odd song shapes,
// checked as the (order, row, tick) sequence a listener would hear.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "audio/format.h"
#include "audio/voice.h"
#include "sequencer/channel.h"
#include "sequencer/tick_clock.h"
#include "support/tick_harness.h"

namespace {

TEST(SetBpm, TickIsTwoAndAHalfSecondsOverBpmRoundedDown) {
    Song song{};
    for (int32_t bpm = 1; bpm <= 1000; ++bpm) {
        set_bpm(&song, bpm);
        // The largest whole number of frames not longer than 2.5 / bpm seconds.
        const int64_t frames = song.samples_per_tick;
        EXPECT_LE(frames * bpm * 2, int64_t{mix_rate} * 5) << bpm;
        EXPECT_GT((frames + 1) * bpm * 2, int64_t{mix_rate} * 5) << bpm;
    }
    struct Case { int32_t bpm, frames; };
    for (const Case& c : {Case{125, 882}, Case{150, 735}, Case{32, 3445}, Case{255, 432}}) {
        set_bpm(&song, c.bpm);
        EXPECT_EQ(song.samples_per_tick, c.frames) << c.bpm;
    }
}

TEST(SetBpm, NonsenseTemposStillGiveATickOfAtLeastOneFrame) {
    Song song{};
    for (int32_t bpm : {0, -1, -125, INT32_MIN, 200000, INT32_MAX}) {
        set_bpm(&song, bpm);
        EXPECT_GE(song.samples_per_tick, 1) << bpm;
        EXPECT_LE(song.samples_per_tick, mix_rate * 5 / 2) << bpm;
    }
}

using Position = std::tuple<int32_t, int32_t, int32_t>;   // order, row, tick
using Positions = std::vector<Position>;

Positions positions(const XmModuleDesc& module, int ticks) {
    HarnessPlayback play(module);
    Positions out;
    if (play.song() == nullptr) {
        ADD_FAILURE() << "module did not load";
        return out;
    }
    for (const TickSnapshot& t : play.run(ticks)) out.emplace_back(t.order, t.row, t.tick);
    return out;
}

// Each row played, in order, with the number of ticks it lasted. Checks that the ticks of
// every row count up from 0.
struct RowSpan {
    int32_t order, row, ticks;
    bool operator==(const RowSpan&) const = default;
};
std::ostream& operator<<(std::ostream& os, const RowSpan& r) {
    return os << "(" << r.order << "," << r.row << ":" << r.ticks << ")";
}
using RowSpans = std::vector<RowSpan>;

RowSpans row_spans(const XmModuleDesc& module, int ticks) {
    RowSpans out;
    for (const auto& [order, row, tick] : positions(module, ticks)) {
        if (tick == 0) out.push_back({order, row, 0});
        EXPECT_FALSE(out.empty());
        if (out.empty()) break;
        EXPECT_EQ(tick, out.back().ticks) << order << " " << row;
        out.back().ticks++;
    }
    return out;
}

XmPatternDesc pattern(int rows, const std::vector<std::string>& text = {}) {
    return xm_pattern_from_text(1, text, static_cast<uint16_t>(rows));
}

XmModuleDesc module_of(std::vector<XmPatternDesc> patterns, std::vector<uint8_t> orders,
                       int speed = 3, int restart = 0) {
    XmModuleDesc module = harness_module(1, {""});
    module.patterns = std::move(patterns);
    module.orders = std::move(orders);
    module.speed = static_cast<uint16_t>(speed);
    module.restart = static_cast<uint16_t>(restart);
    return module;
}

TEST(TickClock, RowsLastSpeedTicksAndTheSongWrapsToTheRestartPosition) {
    const XmModuleDesc module = module_of({pattern(2), pattern(3)}, {0, 1, 0}, 3, 1);
    EXPECT_EQ(row_spans(module, 3 * 10), (RowSpans{{0, 0, 3}, {0, 1, 3}, {1, 0, 3}, {1, 1, 3},
                                                   {1, 2, 3}, {2, 0, 3}, {2, 1, 3}, {1, 0, 3},
                                                   {1, 1, 3}, {1, 2, 3}}));
}

TEST(TickClock, DefaultTempoGivesRowsOfSixTicksOf882Frames) {
    HarnessPlayback play(module_of({pattern(4)}, {0}, 6));
    ASSERT_NE(play.song(), nullptr);
    EXPECT_EQ(play.song()->samples_per_tick, 882);
    const std::vector<TickSnapshot> run = play.run(13);
    EXPECT_EQ(Position(run[5].order, run[5].row, run[5].tick), Position(0, 0, 5));
    EXPECT_EQ(Position(run[6].order, run[6].row, run[6].tick), Position(0, 1, 0));
    EXPECT_EQ(Position(run[12].order, run[12].row, run[12].tick), Position(0, 2, 0));
}

TEST(TickClock, PatternDelayLengthensOnlyItsRow) {
    const XmModuleDesc module = module_of({pattern(3, {"... .. .. EE3"})}, {0}, 6);
    EXPECT_EQ(row_spans(module, 24 + 6 + 6 + 1),
              (RowSpans{{0, 0, 24}, {0, 1, 6}, {0, 2, 6}, {0, 0, 1}}));
}

TEST(TickClock, SpeedOneAndZeroMakeEveryTickARowStart) {
    // Row 1 asks for a pattern delay of two rows: three ticks at speed 1, nothing at
    // speed 0 (its ticks are 2 x 0).
    struct Case { const char* speed_effect; RowSpans spans; };
    const Case cases[] = {
        {"F01", {{0, 0, 1}, {0, 1, 3}, {0, 2, 1}, {0, 3, 1}, {0, 0, 1}, {0, 1, 3}}},
        {"F00", {{0, 0, 1}, {0, 1, 1}, {0, 2, 1}, {0, 3, 1}, {0, 0, 1}, {0, 1, 1}}},
    };
    for (const Case& c : cases) {
        const XmModuleDesc module =
            module_of({pattern(4, {std::string("... .. .. ") + c.speed_effect, "... .. .. EE2"})}, {0}, 6);
        int ticks = 0;
        for (const RowSpan& r : c.spans) ticks += r.ticks;
        EXPECT_EQ(row_spans(module, ticks), c.spans) << c.speed_effect;
    }
}

TEST(TickClock, JumpsTakeEffectAtTheNextRowStart) {
    // B02 on order 0 row 0; D01 on order 2 row 1 breaks to row 1 of the next order.
    const XmModuleDesc module = module_of(
        {pattern(3, {"... .. .. B02"}), pattern(3, {"", "... .. .. D01"})}, {0, 0, 1, 0}, 2);
    EXPECT_EQ(row_spans(module, 2 * 6), (RowSpans{{0, 0, 2}, {2, 0, 2}, {2, 1, 2}, {3, 1, 2},
                                                  {3, 2, 2}, {0, 0, 2}}));
}

TEST(TickClock, OddSongShapesStayInsideTheTables) {
    struct Case { const char* name; XmModuleDesc module; RowSpans spans; };
    const Case cases[] = {
        // An order naming a pattern the module lacks plays 64 empty rows.
        {"missing pattern", module_of({pattern(1)}, {0, 3}, 1),
         [] {
             RowSpans r{{0, 0, 1}};
             for (int row = 0; row < 64; ++row) r.push_back({1, row, 1});
             r.push_back({0, 0, 1});
             return r;
         }()},
        // A break to a row beyond a short pattern plays that row, then moves on.
        {"break past the end", module_of({pattern(2, {"... .. .. D05"}), pattern(2)}, {0, 1, 1}, 1),
         {{0, 0, 1}, {1, 5, 1}, {2, 0, 1}, {2, 1, 1}, {0, 0, 1}}},
    };
    for (const Case& c : cases) {
        int ticks = 0;
        for (const RowSpan& r : c.spans) ticks += r.ticks;
        EXPECT_EQ(row_spans(c.module, ticks), c.spans) << c.name;
    }
}

// Songs the loader never returns: the clock must still keep every index in range.
TEST(TickClock, HandBuiltSongsBeyondTheLoaderLimits) {
    Pattern empty_pattern{0, nullptr};
    struct Case { const char* name; int16_t length, restart; int32_t slots; uint8_t orders[3];
                  std::vector<int32_t> order_sequence; };
    const Case cases[] = {
        {"nothing at all", 0, 0, 0, {0, 0, 0}, {0, 0, 0, 0}},
        {"rows of zero length", 3, 1, 1, {0, 0, 0}, {0, 1, 2, 1, 2}},
        {"restart outside the song", 2, 300, 1, {0, 0, 0}, {0, 1, 0, 1}},
        {"orders naming missing slots", 3, 0, 1, {9, 200, 0}, {0, 1, 2, 0}},
    };
    for (const Case& c : cases) {
        Song song{};
        song.patterns = c.slots > 0 ? &empty_pattern : nullptr;
        song.pattern_slots = c.slots;
        song.song_length = c.length;
        song.restart_position = c.restart;
        song.channel_count = 1;
        for (int i = 0; i < 3; ++i) song.order_table[i] = c.orders[i];
        song.speed = 1;
        song.next_row = song.next_order = -1;
        channels[0] = ChannelState{};
        channels[0].voice = &voices[0];
        std::vector<int32_t> orders;
        for (size_t i = 0; i < c.order_sequence.size(); ++i) {
            song_tick(&song);
            orders.push_back(song.order);
            EXPECT_EQ(song.row, 0) << c.name;
        }
        EXPECT_EQ(orders, c.order_sequence) << c.name;
    }
}

}  // namespace
