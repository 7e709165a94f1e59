#include <gtest/gtest.h>

#include <cmath>

#include "sequencer/oscillators.h"
#include "sequencer/waveforms.h"

namespace {

constexpr uint8_t wave_sine = 0, wave_ramp = 1, wave_square = 2, wave_3 = 3;

ChannelState vibrato_at(uint8_t waveform, uint8_t depth, int8_t pos) {
    ChannelState c{};
    c.wave_control = waveform;
    c.vibrato_depth = depth;
    c.vibrato_pos = pos;
    return c;
}

TEST(Waveforms, SineTableMatchesTheFormulaOverAWholeCycle) {
    for (int pos = -32; pos <= 31; ++pos) {
        const int exact = static_cast<int>(std::fabs(std::sin(2.0 * pos * 0.049087375)) * 256.0);
        EXPECT_EQ(waveform_sine_magnitude(pos), exact) << pos;
    }
}

TEST(Vibrato, OffsetsFromTheWaveforms) {
    struct Case { uint8_t waveform, depth; int8_t pos; int32_t delta; };
    const Case cases[] = {
        {wave_sine, 15, 16, -116}, {wave_sine, 15, -16, 116}, {wave_sine, 15, 0, 0},
        {wave_sine, 15, -32, 0},   {wave_square, 4, 0, -28},  {wave_square, 4, 31, -28},
        {wave_square, 4, -32, 28}, {wave_square, 4, -1, 28},  {wave_ramp, 8, 31, -60},
        {wave_ramp, 8, -32, 60},   {wave_ramp, 8, 0, 0},      {wave_3, 4, 5, -28},
        {wave_3, 4, -5, 28},
    };
    for (const Case& c : cases) {
        ChannelState ch = vibrato_at(c.waveform, c.depth, c.pos);
        ch.period_delta = 999;   // replaced, not added to
        vibrato_step(&ch);
        EXPECT_EQ(ch.period_delta, c.delta) << int(c.waveform) << " " << int(c.depth) << " " << int(c.pos);
        EXPECT_EQ(ch.update_flags, update_pitch);
        EXPECT_EQ(ch.vibrato_pos, c.pos);   // the step only reads the position
    }
}

TEST(Vibrato, SineDepthOneOnlyAtTheCrests) {
    for (int pos = -32; pos <= 31; ++pos) {
        ChannelState ch = vibrato_at(wave_sine, 1, static_cast<int8_t>(pos));
        vibrato_step(&ch);
        const int magnitude = (pos >= 6 && pos <= 26) || (pos >= -26 && pos <= -6) ? 4 : 0;
        EXPECT_EQ(ch.period_delta, pos >= 0 ? -magnitude : magnitude) << pos;
    }
}

TEST(Vibrato, AdvanceWrapsWithinTheCycle) {
    ChannelState ch{};
    ch.vibrato_speed = 15;
    const int8_t expected[] = {15, 30, -19, -4, 11, 26, -23};
    for (int8_t e : expected) {
        vibrato_advance(&ch);
        EXPECT_EQ(ch.vibrato_pos, e);
    }
    EXPECT_EQ(ch.update_flags, 0);
}

TEST(Tremolo, OffsetKeepsTheVolumeInRangeAndMovesThePosition) {
    struct Case { uint8_t wave_control; int32_t volume; int8_t pos; int32_t delta; };
    const Case cases[] = {
        {0x00, 60, 16, 4},  {0x00, 60, -16, -59}, {0x00, 10, -16, -10}, {0x00, 20, 16, 44},
        {0x30, 20, 1, 5},   {0x20, 20, -1, -20},  {0x10, 5, 31, 58},   {0x00, 80, 16, -16},
    };
    for (const Case& c : cases) {
        ChannelState ch{};
        ch.wave_control = c.wave_control;
        ch.volume = c.volume;
        ch.tremolo_pos = c.pos;
        ch.tremolo_depth = 15;
        ch.tremolo_speed = 4;
        tremolo_step(&ch);
        EXPECT_EQ(ch.volume_delta, c.delta) << int(c.wave_control) << " " << c.volume << " " << int(c.pos);
        EXPECT_EQ(ch.volume, c.volume);
        EXPECT_EQ(ch.update_flags, update_volume);
        const int next = c.pos + 4;
        EXPECT_EQ(ch.tremolo_pos, next > 31 ? next - 64 : next);
    }
}

TEST(TonePortamento, SlidesToTheTargetAndStops) {
    struct Case { int32_t from, target; uint8_t speed; int32_t after1, after2; };
    const Case cases[] = {
        {1000, 1010, 4, 1010, 1010}, {1000, 1100, 4, 1016, 1032}, {1100, 1000, 4, 1084, 1068},
        {1010, 1000, 4, 1000, 1000}, {1000, 1010, 0, 1000, 1000}, {1000, 1000, 9, 1000, 1000},
    };
    for (const Case& c : cases) {
        ChannelState ch{};
        ch.period = c.from;
        ch.porta_target_period = c.target;
        ch.porta_speed = c.speed;
        tone_porta_step(&ch);
        EXPECT_EQ(ch.period, c.after1) << c.from << "->" << c.target;
        EXPECT_EQ(ch.update_flags, update_pitch);
        ch.update_flags = 0;
        tone_porta_step(&ch);
        EXPECT_EQ(ch.period, c.after2) << c.from << "->" << c.target;
        EXPECT_EQ(ch.update_flags, update_pitch);
    }
}

// 'A' audible, 'S' silent, for consecutive ticks from tremor_pos 0.
std::string tremor_pattern(uint8_t on, uint8_t off, int ticks) {
    ChannelState ch{};
    ch.tremor_on_ticks = on;
    ch.tremor_off_ticks = off;
    ch.volume = 50;
    std::string out;
    for (int i = 0; i < ticks; ++i) {
        ch.volume_delta = 0;
        ch.update_flags = 0;
        tremor_step(&ch);
        EXPECT_EQ(ch.update_flags, update_volume);
        out += ch.volume + ch.volume_delta == 0 ? 'S' : 'A';
    }
    return out;
}

TEST(Tremor, CyclesOfAudibleAndSilentTicks) {
    EXPECT_EQ(tremor_pattern(3, 2, 12), "AAASSAAASSAA");   // T21
    EXPECT_EQ(tremor_pattern(1, 1, 6), "ASASAS");          // T00
    EXPECT_EQ(tremor_pattern(0, 0, 4), "SSSS");            // never given a parameter
}

}  // namespace
