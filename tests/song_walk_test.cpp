// Whole modules stepped through song_tick without audio: the (order, row) of every tick
// must follow the clock's rules through jumps, breaks, loops, delays and speed changes.
#include <gtest/gtest.h>
#include <utility>
#include "support/tick_harness.h"

namespace {

struct Segment {
    int order;
    int row;
    int ticks;
};

using Walk = std::vector<std::pair<int, int>>;

Walk expand(const std::vector<Segment>& segments) {
    Walk walk;
    for (const Segment& s : segments)
        walk.insert(walk.end(), s.ticks, {s.order, s.row});
    return walk;
}

Walk walk_song(const XmModuleDesc& module, size_t ticks) {
    HarnessPlayback play(module);
    Walk walk;
    if (play.song() == nullptr) {
        ADD_FAILURE() << "module did not load";
        return walk;
    }
    while (walk.size() < ticks) {
        const TickSnapshot t = play.tick();
        walk.emplace_back(t.order, t.row);
    }
    return walk;
}

XmPatternDesc pattern(int channels, uint16_t rows, const std::vector<std::string>& text) {
    return xm_pattern_from_text(channels, text, rows);
}

TEST(SongWalk, FullModuleWithLoopDelayJumpBreakAndRestart) {
    XmModuleDesc module;
    module.channels = 2;
    module.speed = 2;
    module.orders = {0, 1, 2, 3};
    module.restart = 2;
    module.instruments.push_back(xm_instrument(harness_sample()));
    module.patterns = {
        pattern(2, 6,
                {"C-4 01 .. ... | ... .. .. ...",
                 "... .. .. E60 | ... .. .. ...",
                 "... .. .. ... | ... .. .. EE1",
                 "... .. .. E62 | ... .. .. ...",
                 "... .. .. ... | ... .. .. F03",
                 ""}),
        pattern(2, 8, {"", "... .. .. B02 | ... .. .. D05"}),
        pattern(2, 8, {"", "", "", "", "", "", "... .. .. ... | ... .. .. F02"}),
        pattern(2, 4, {}),
    };
    const std::vector<Segment> expected = {
        {0, 0, 2}, {0, 1, 2}, {0, 2, 4}, {0, 3, 2},   // first pass
        {0, 1, 2}, {0, 2, 4}, {0, 3, 2},              // loop, twice more
        {0, 1, 2}, {0, 2, 4}, {0, 3, 2},
        {0, 4, 3}, {0, 5, 3},                         // speed 3 from row 4
        {1, 0, 3}, {1, 1, 3},                         // B02 then D05: order 2, row 5
        {2, 5, 3}, {2, 6, 2}, {2, 7, 2},
        {3, 0, 2}, {3, 1, 2}, {3, 2, 2}, {3, 3, 2},   // end of the song: restart at order 2
        {2, 0, 2}, {2, 1, 2}, {2, 2, 2}, {2, 3, 2}, {2, 4, 2}, {2, 5, 2}, {2, 6, 2}, {2, 7, 2},
        {3, 0, 2},
    };
    const Walk want = expand(expected);
    EXPECT_EQ(walk_song(module, want.size()), want);
}

struct JumpCase {
    const char* name;
    std::string row_text;     // row 1 of order 0, six channels
    std::vector<Segment> after;
};

TEST(SongWalk, JumpsAndBreaks) {
    const JumpCase cases[] = {
        {"B05 on channel 2, D10 on channel 5", "| | ... .. .. B05 | | | ... .. .. D10", {{5, 10, 2}, {5, 11, 2}}},
        {"D10 on channel 2, B05 on channel 5", "| | ... .. .. D10 | | | ... .. .. B05", {{5, 0, 2}, {5, 1, 2}}},
        {"D40", "... .. .. D40", {{1, 40, 2}, {1, 41, 2}}},
        {"D64 is beyond row 63", "... .. .. D64", {{1, 0, 2}}},
        {"DA0 is beyond row 63", "... .. .. DA0", {{1, 0, 2}}},
        {"D1F is row 25", "... .. .. D1F", {{1, 25, 2}}},
        {"B beyond the song goes to order 0", "... .. .. B09", {{0, 0, 2}, {0, 1, 2}}},
        {"later channel's break wins", "... .. .. D03 | ... .. .. D07", {{1, 7, 2}}},
    };
    for (const JumpCase& c : cases) {
        SCOPED_TRACE(c.name);
        XmModuleDesc module;
        module.channels = 6;
        module.speed = 2;
        module.orders = {0, 1, 1, 1, 1, 1};
        module.instruments.push_back(xm_instrument(harness_sample()));
        module.patterns = {pattern(6, 4, {"", c.row_text}), pattern(6, 64, {})};
        std::vector<Segment> segments = {{0, 0, 2}, {0, 1, 2}};
        segments.insert(segments.end(), c.after.begin(), c.after.end());
        const Walk want = expand(segments);
        EXPECT_EQ(walk_song(module, want.size()), want);
    }
}

TEST(SongWalk, EndOfSongAndBreakOnTheLastOrder) {
    XmModuleDesc module;
    module.channels = 1;
    module.speed = 1;
    module.orders = {0, 1};
    module.restart = 1;
    module.instruments.push_back(xm_instrument(harness_sample()));
    module.patterns = {pattern(1, 2, {}), pattern(1, 3, {})};
    EXPECT_EQ(walk_song(module, 8), expand({{0, 0, 1}, {0, 1, 1}, {1, 0, 1}, {1, 1, 1}, {1, 2, 1},
                                            {1, 0, 1}, {1, 1, 1}, {1, 2, 1}}));
    // A break on the last order continues at order 0, not at the restart position.
    module.patterns[1] = pattern(1, 3, {"", "... .. .. D01"});
    EXPECT_EQ(walk_song(module, 6), expand({{0, 0, 1}, {0, 1, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}, {1, 0, 1}}));
}

TEST(SongWalk, PatternDelayAndSpeedChanges) {
    XmModuleDesc module = harness_module(1, {"... .. .. EE3", "", "... .. .. F00", "", "... .. .. F03", ""});
    const Walk want = expand({{0, 0, 24}, {0, 1, 6}, {0, 2, 1}, {0, 3, 1}, {0, 4, 3}, {0, 5, 3}, {0, 0, 3}});
    EXPECT_EQ(walk_song(module, want.size()), want);
    // A pattern delay given at speed 0 adds nothing.
    XmModuleDesc zero = harness_module(1, {"... .. .. F00", "... .. .. EE3", ""});
    EXPECT_EQ(walk_song(zero, 4), expand({{0, 0, 1}, {0, 1, 1}, {0, 2, 1}, {0, 0, 1}}));
}

// A break into a shorter pattern lands on a row the pattern does not have: no cell is
// processed and the song moves on to the next order entry.
TEST(SongWalk, RowBeyondThePatternMovesOn) {
    XmModuleDesc module;
    module.channels = 1;
    module.speed = 2;
    module.orders = {0, 1, 2};
    module.instruments.push_back(xm_instrument(harness_sample()));
    module.patterns = {pattern(1, 2, {"C-4 01 .. D10"}), pattern(1, 4, {"... .. .. C20"}), pattern(1, 2, {})};
    HarnessPlayback play(module);
    ASSERT_NE(play.song(), nullptr);
    play.run(2);
    const std::vector<TickSnapshot> beyond = play.run(2);
    for (const TickSnapshot& t : beyond) {
        EXPECT_EQ(std::make_pair(t.order, t.row), std::make_pair(1, 10));
        EXPECT_EQ(t.channel.volume, 64);   // row 0 (C20) is not played in its place
    }
    const TickSnapshot next = play.tick();
    EXPECT_EQ(std::make_pair(next.order, next.row), std::make_pair(2, 0));
}

TEST(SongWalk, LoopBackToARowTheNextPatternLacks) {
    // E60 marks row 5 of a long pattern; the loop end in a shorter pattern jumps to row 5,
    // which it does not have, and the song moves on.
    XmModuleDesc module;
    module.channels = 1;
    module.speed = 1;
    module.orders = {0, 1, 2};
    module.instruments.push_back(xm_instrument(harness_sample()));
    module.patterns = {pattern(1, 6, {"", "", "", "", "", "... .. .. E60"}), pattern(1, 2, {"", "... .. .. E61"}),
                       pattern(1, 1, {})};
    EXPECT_EQ(walk_song(module, 10), expand({{0, 0, 1}, {0, 1, 1}, {0, 2, 1}, {0, 3, 1}, {0, 4, 1}, {0, 5, 1},
                                             {1, 0, 1}, {1, 1, 1}, {1, 5, 1}, {2, 0, 1}}));
}

}  // namespace
