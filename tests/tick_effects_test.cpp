// Ticks 1 and later: the per-tick volume column and effects, checked tick by tick on the
// channel and its voice.
#include <gtest/gtest.h>
#include <array>
#include "sequencer/period_slide.h"
#include "support/tick_harness.h"

namespace {

constexpr uint8_t pitch = update_pitch;
constexpr uint8_t volume_bit = update_volume;
constexpr uint8_t trigger = update_trigger;

using SixTicks = std::array<int32_t, 6>;

// Runs the first row (six ticks at the default speed) and collects one value per tick.
template <typename Field>
SixTicks first_row(const XmModuleDesc& module, Field field) {
    HarnessPlayback play(module);
    SixTicks out{};
    if (play.song() == nullptr) {
        ADD_FAILURE() << "module did not load";
        return out;
    }
    for (int32_t& value : out)
        value = field(play.tick());
    return out;
}

XmModuleDesc one_row(const std::string& cell_text, bool linear = true) {
    XmModuleDesc module = harness_module(1, {cell_text});
    module.linear = linear;
    return module;
}

int32_t period_delta(const TickSnapshot& t) { return t.channel.period_delta; }
int32_t period(const TickSnapshot& t) { return t.channel.period; }
int32_t volume(const TickSnapshot& t) { return t.channel.volume; }
int32_t triggered(const TickSnapshot& t) { return (t.channel.update_flags & trigger) != 0; }

TEST(TickEffects, ArpeggioInBothFrequencyTables) {
    EXPECT_EQ(first_row(one_row("C-4 01 .. 047"), period_delta), (SixTicks{0, 256, 448, 0, 256, 448}));
    EXPECT_EQ(first_row(one_row("C-4 01 .. 047", false), period_delta),
              (SixTicks{0, -354, -570, 0, -354, -570}));
    // The pitch is sent on every tick, the base phase included.
    EXPECT_EQ(first_row(one_row("C-4 01 .. 047"), [](const TickSnapshot& t) { return t.channel.update_flags & pitch; }),
              (SixTicks{1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(first_row(one_row("C-4 01 .. 000"), period_delta), (SixTicks{0, 0, 0, 0, 0, 0}));
}

struct PeriodCase {
    const char* name;
    const char* cell;
    bool linear;
    SixTicks periods;
};

TEST(TickEffects, PortamentoStopsAt56UpAndHasNoLimitDown) {
    const PeriodCase cases[] = {
        {"up, linear", "C-4 01 .. 1FF", true, {4608, 3588, 2568, 1548, 528, 56}},
        {"up, amiga", "C-4 01 .. 1FF", false, {1712, 692, 56, 56, 56, 56}},
        {"down, linear", "C-4 01 .. 2FF", true, {4608, 5628, 6648, 7668, 8688, 9708}},
        {"down, amiga", "C-4 01 .. 2FF", false, {1712, 2732, 3752, 4772, 5792, 6812}},
        {"up without memory", "C-4 01 .. 100", true, {4608, 4608, 4608, 4608, 4608, 4608}},
    };
    for (const PeriodCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(first_row(one_row(c.cell, c.linear), period), c.periods);
    }
}

// Unbounded slides stop far beyond hearing instead of overflowing.
TEST(TickEffects, PeriodSlidesStopAtTheOverflowBound) {
    HarnessPlayback down(one_row("C-4 01 .. 2FF"));
    ASSERT_NE(down.song(), nullptr);
    down.tick();
    channels[0].period = period_slide_bound - 100;
    EXPECT_EQ(down.tick().channel.period, period_slide_bound);
    EXPECT_EQ(down.tick().channel.period, period_slide_bound);

    HarnessPlayback fine_up(harness_module(1, {"C-4 01 .. ...", "... .. .. E1F"}));
    ASSERT_NE(fine_up.song(), nullptr);
    fine_up.run(6);
    channels[0].period = -period_slide_bound + 10;
    EXPECT_EQ(fine_up.tick().channel.period, -period_slide_bound);
}

TEST(TickEffects, TonePortamentoSlidesToTheTargetAndKeepsItsSpeed) {
    HarnessPlayback play(harness_module(1, {"C-4 01 .. ...", "E-4 .. .. 308", "... .. .. 300"}));
    ASSERT_NE(play.song(), nullptr);
    play.run(6);
    SixTicks periods{};
    for (int32_t& p : periods)
        p = play.tick().channel.period;
    EXPECT_EQ(periods, (SixTicks{4608, 4576, 4544, 4512, 4480, 4448}));
    for (int32_t& p : periods)
        p = play.tick().channel.period;
    EXPECT_EQ(periods, (SixTicks{4448, 4416, 4384, 4352, 4352, 4352}));
}

struct VolumeCase {
    const char* name;
    const char* cell;
    SixTicks volumes;
};

TEST(TickEffects, VolumeSlides) {
    const VolumeCase cases[] = {
        {"A0F lowers by 15", "C-4 01 30 A0F", {32, 17, 2, 0, 0, 0}},
        {"AF0 raises by 15", "C-4 01 30 AF0", {32, 47, 62, 64, 64, 64}},
        {"A4F: the high nibble wins", "C-4 01 30 A4F", {32, 36, 40, 44, 48, 52}},
        {"A00 without memory", "C-4 01 30 A00", {32, 32, 32, 32, 32, 32}},
        {"column 62 with A01", "C-4 01 62 A01", {62, 59, 56, 53, 50, 47}},
        {"column 73 alone", "C-4 01 73 ...", {64, 64, 64, 64, 64, 64}},
        {"column 83 acts once", "C-4 01 83 ...", {61, 61, 61, 61, 61, 61}},
        {"EC2 cuts on tick 2", "C-4 01 .. EC2", {64, 64, 0, 0, 0, 0}},
        {"EC0 never cuts", "C-4 01 .. EC0", {64, 64, 64, 64, 64, 64}},
        {"EC7 is beyond the row", "C-4 01 .. EC7", {64, 64, 64, 64, 64, 64}},
    };
    for (const VolumeCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(first_row(one_row(c.cell), volume), c.volumes);
    }
    // The volume bit goes with every tick of a slide, even one with nothing to slide.
    EXPECT_EQ(first_row(one_row("C-4 01 30 A00"), [](const TickSnapshot& t) { return t.channel.update_flags & volume_bit; }),
              (SixTicks{2, 2, 2, 2, 2, 2}));
}

TEST(TickEffects, PanningColumnRunsPastTheRangeAndTheVoiceClampsIt) {
    XmModuleDesc module = one_row("C-4 01 E5 ...");
    module.instruments[0].samples[0].panning = 240;
    EXPECT_EQ(first_row(module, [](const TickSnapshot& t) { return t.channel.panning; }),
              (SixTicks{245, 250, 255, 260, 265, 270}));
    EXPECT_EQ(first_row(module, [](const TickSnapshot& t) { return t.voice.pan; }),
              (SixTicks{245, 250, 255, 255, 255, 255}));
}

TEST(TickEffects, PanningSlideStaysInRange) {
    XmModuleDesc right = one_row("C-4 01 .. P30");
    right.instruments[0].samples[0].panning = 250;
    EXPECT_EQ(first_row(right, [](const TickSnapshot& t) { return t.channel.panning; }),
              (SixTicks{250, 253, 255, 255, 255, 255}));
    XmModuleDesc left = one_row("C-4 01 .. P34");   // the high nibble wins
    left.instruments[0].samples[0].panning = 4;
    EXPECT_EQ(first_row(left, [](const TickSnapshot& t) { return t.channel.panning; }),
              (SixTicks{4, 7, 10, 13, 16, 19}));
    XmModuleDesc down = one_row("C-4 01 .. P05");
    down.instruments[0].samples[0].panning = 12;
    EXPECT_EQ(first_row(down, [](const TickSnapshot& t) { return t.channel.panning; }),
              (SixTicks{12, 7, 2, 0, 0, 0}));
}

struct TriggerCase {
    const char* name;
    const char* cell;
    SixTicks triggers;
};

TEST(TickEffects, RetriggersStartTheNoteOnTheirTicks) {
    const TriggerCase cases[] = {
        {"E93", "C-4 01 .. E93", {1, 0, 0, 1, 0, 0}},
        {"E92", "C-4 01 .. E92", {1, 0, 1, 0, 1, 0}},
        {"E90", "C-4 01 .. E90", {1, 0, 0, 0, 0, 0}},
        {"R13", "C-4 01 .. R13", {1, 0, 0, 1, 0, 0}},
        {"R02", "C-4 01 .. R02", {1, 0, 1, 0, 1, 0}},
        {"R10 has no interval", "C-4 01 .. R10", {1, 0, 0, 0, 0, 0}},
    };
    for (const TriggerCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(first_row(one_row(c.cell), triggered), c.triggers);
    }
    // Each start moves the channel to the other voice of its pair.
    EXPECT_EQ(first_row(one_row("C-4 01 .. E93"), [](const TickSnapshot& t) { return t.voice.index; }),
              (SixTicks{0, 0, 0, 32, 32, 32}));
}

struct RetrigVolumeCase {
    const char* cell;
    int32_t volume_before;
    int32_t volume_after;
    bool volume_sent;
};

TEST(TickEffects, MultiRetriggerVolumeModes) {
    const RetrigVolumeCase cases[] = {
        {"C-4 01 38 R13", 40, 39, true},  {"C-4 01 38 R23", 40, 38, true},  {"C-4 01 38 R33", 40, 36, true},
        {"C-4 01 38 R43", 40, 32, true},  {"C-4 01 38 R53", 40, 24, true},  {"C-4 01 38 R63", 40, 26, true},
        {"C-4 01 39 R73", 41, 20, true},  {"C-4 01 38 R83", 40, 40, true},  {"C-4 01 38 R93", 40, 41, true},
        {"C-4 01 38 RA3", 40, 42, true},  {"C-4 01 38 RB3", 40, 44, true},  {"C-4 01 38 RC3", 40, 48, true},
        {"C-4 01 38 RD3", 40, 56, true},  {"C-4 01 42 RE3", 50, 64, true},  {"C-4 01 38 RF3", 40, 64, true},
        {"C-4 01 1A R53", 10, 0, true},   {"C-4 01 38 R03", 40, 40, false},
    };
    for (const RetrigVolumeCase& c : cases) {
        SCOPED_TRACE(c.cell);
        HarnessPlayback play(one_row(c.cell));
        ASSERT_NE(play.song(), nullptr);
        const std::vector<TickSnapshot> row = play.run(4);
        EXPECT_EQ(row[2].channel.volume, c.volume_before);
        EXPECT_EQ(row[3].channel.volume, c.volume_after);
        EXPECT_EQ((row[3].channel.update_flags & volume_bit) != 0, c.volume_sent);
        EXPECT_EQ(row[3].channel.update_flags & trigger, trigger);
    }
}

// ED: the old note sounds on unchanged until tick y, where the row's note starts with
// its instrument reset and volume column.
TEST(TickEffects, NoteDelayStartsTheNoteOnItsTick) {
    for (int delay : {0, 1, 2, 3, 5, 6, 15}) {
        SCOPED_TRACE(delay);
        const std::string effect = "ED" + std::string(1, "0123456789ABCDEF"[delay]);
        XmModuleDesc module = harness_module(1, {"C-4 01 .. ...", "D-4 01 20 " + effect});
        module.instruments[0].samples[0].panning = 100;
        // A running envelope asks for a volume transfer on every tick; the delay holds it back.
        module.instruments[0].volume_envelope.points = {{0, 64}, {100, 64}};
        module.instruments[0].volume_envelope.on = true;
        HarnessPlayback play(module);
        ASSERT_NE(play.song(), nullptr);
        play.run(6);
        for (int tick = 0; tick < 6; ++tick) {
            SCOPED_TRACE(tick);
            const TickSnapshot t = play.tick();
            const bool started = delay != 0 && tick >= delay;
            if (delay != 0 && tick == delay)
                EXPECT_EQ(t.channel.update_flags, pitch | volume_bit | update_panning | trigger);
            else
                EXPECT_EQ(t.channel.update_flags, pitch);
            EXPECT_EQ(t.voice.index, started ? 32 : 0);
            EXPECT_EQ(t.voice.volume, started ? 31 : 127);
            EXPECT_EQ(t.channel.period, started ? 4480 : 4608);
        }
    }
}

TEST(TickEffects, GlobalVolumeSlideOnTwoChannelsSlidesTwice) {
    HarnessPlayback play(harness_module(2, {"C-4 01 .. H01 | C-4 01 .. H00"}));
    ASSERT_NE(play.song(), nullptr);
    SixTicks global{};
    for (int32_t& g : global)
        g = play.tick().global_volume;
    EXPECT_EQ(global, (SixTicks{64, 62, 60, 58, 56, 54}));
}

TEST(TickEffects, TremorSilencesTheOffTicks) {
    EXPECT_EQ(first_row(one_row("C-4 01 .. T10"), [](const TickSnapshot& t) { return t.channel.volume_delta; }),
              (SixTicks{0, 0, -64, 0, 0, -64}));
}

// A volume-column vibrato with effect 4 runs the oscillator twice per tick; a tone
// portamento after it drops the column's pitch offset.
TEST(TickEffects, VolumeColumnVibratoTogetherWithEffects) {
    HarnessPlayback twice(one_row("C-4 01 B4 4F4"));
    ASSERT_NE(twice.song(), nullptr);
    twice.tick();
    EXPECT_EQ(twice.tick().channel.vibrato_pos, 30);

    for (const char* effect : {"...", "300"}) {
        SCOPED_TRACE(effect);
        HarnessPlayback play(harness_module(1, {"C-4 01 AF ...", std::string("... .. B8 ") + effect}));
        ASSERT_NE(play.song(), nullptr);
        play.run(8);
        const TickSnapshot t = play.tick();
        EXPECT_EQ(t.channel.vibrato_pos, 30);
        EXPECT_EQ(t.channel.period_delta, effect[0] == '.' ? -60 : 0);
    }
}

// With a pattern delay the row's ticks keep counting: arpeggio phases and retriggers go
// on through the repetitions, while a note delay acts on its tick once.
TEST(TickEffects, PatternDelayKeepsCountingTheRowsTicks) {
    XmModuleDesc module =
        harness_module(4, {"C-4 01 .. 047 | ... .. .. EE1 | C-4 01 .. E92 | D-4 01 .. ED1", "", ""});
    module.speed = 3;
    HarnessPlayback play(module);
    ASSERT_NE(play.song(), nullptr);
    SixTicks arpeggio{}, retrig{}, delayed{};
    for (int tick = 0; tick < 6; ++tick) {
        arpeggio[tick] = play.tick().channel.period_delta;
        retrig[tick] = (channels[2].update_flags & trigger) != 0;
        delayed[tick] = (channels[3].update_flags & trigger) != 0;
    }
    EXPECT_EQ(arpeggio, (SixTicks{0, 256, 448, 0, 256, 448}));
    EXPECT_EQ(retrig, (SixTicks{1, 0, 1, 0, 1, 0}));
    EXPECT_EQ(delayed, (SixTicks{0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(play.tick().row, 1);
}

}  // namespace

namespace {

// Every effect number with edge parameters, odd notes, instruments and volume-column
// bytes, played through for a few rows: nothing may read outside the song (the sanitizer
// build checks), and channels stay on their own voice pair with the global volume in range.
TEST(TickEffects, SweepOfEveryEffectWithOddCellsStaysInBounds) {
    const uint8_t params[] = {0x00, 0x01, 0x0F, 0x10, 0x93, 0xF0, 0xFF};
    const uint8_t notes[] = {0, 1, 49, 96, 97, 98, 200, 254};
    const uint8_t instruments[] = {0, 1, 2, 3, 128};
    const uint8_t columns[] = {0x00, 0x0F, 0x50, 0x51, 0x65, 0x8F, 0xA3, 0xB3, 0xC8, 0xDF, 0xEF, 0xF0, 0xFF};
    for (uint8_t effect = 0; effect < 40; ++effect) {
        SCOPED_TRACE(static_cast<int>(effect));
        XmModuleDesc module;
        module.channels = 4;
        module.speed = 3;
        module.linear = effect % 2 == 0;
        module.orders = {0, 1, 0};
        XmInstrumentDesc looped = xm_instrument(harness_sample(50));
        looped.samples[0].loop = XmLoop::forward;
        looped.samples[0].loop_start = 100;
        looped.samples[0].loop_length = 300;
        looped.samples[0].relative_note = -60;
        looped.sample_map.fill(7);   // beyond its one sample
        looped.sample_map[48] = 0;
        module.instruments = {xm_instrument(harness_sample()), looped};
        module.instruments[0].volume_envelope.points = {{0, 64}, {3, 10}, {6, 40}};
        module.instruments[0].volume_envelope.on = true;
        module.instruments[0].volume_envelope.loop = true;
        module.instruments[0].volume_envelope.loop_end = 2;
        module.instruments[0].fadeout = 3000;
        module.instruments[0].vibrato_depth = 15;
        module.instruments[0].vibrato_rate = 40;
        for (int p = 0; p < 2; ++p) {
            XmPatternDesc pattern;
            pattern.rows = static_cast<uint16_t>(p == 0 ? 24 : 3);
            for (int i = 0; i < pattern.rows * 4; ++i)
                pattern.cells.push_back(XmCell{notes[(i + p) % 8], instruments[i % 5], columns[(i * 7) % 13], effect,
                                               params[(i / 4) % 7]});
            module.patterns.push_back(pattern);
        }
        HarnessPlayback play(module);
        ASSERT_NE(play.song(), nullptr);
        for (int tick = 0; tick < 200; ++tick) {
            const TickSnapshot t = play.tick();
            EXPECT_GE(t.global_volume, 0);
            EXPECT_LE(t.global_volume, 64);
            for (int c = 0; c < 4; ++c) {
                const Voice* v = channels[c].voice;
                EXPECT_TRUE(v == &voices[c] || v == &voices[c + 32]);
            }
        }
    }
}

}  // namespace
