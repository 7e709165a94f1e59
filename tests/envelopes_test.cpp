#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <vector>

#include "sequencer/envelopes.h"

namespace {

struct Point { uint16_t tick, value; };

Instrument volume_envelope_instrument(std::initializer_list<Point> points, uint8_t flags,
                                      uint8_t sustain = 0, uint8_t loop_start = 0,
                                      uint8_t loop_end = 0) {
    Instrument ins{};
    int i = 0;
    for (const Point& p : points) ins.volume_envelope[i++] = EnvelopePoint{p.tick, p.value};
    ins.volume_point_count = static_cast<uint8_t>(points.size());
    ins.volume_envelope_flags = flags;
    ins.volume_sustain_point = sustain;
    ins.volume_loop_start = loop_start;
    ins.volume_loop_end = loop_end;
    return ins;
}

// A channel just after an instrument was given.
ChannelState fresh_channel() {
    ChannelState c{};
    c.vol_env_out = 64;
    c.pan_env_out = 32;
    c.fadeout_volume = 65536;
    return c;
}

// vol_env_out after each of `ticks` envelope steps; the key is released before tick
// `release` (never when negative).
std::vector<int32_t> volume_run(const Instrument& ins, int ticks, int release = -1) {
    ChannelState c = fresh_channel();
    std::vector<int32_t> out;
    for (int t = 0; t < ticks; ++t) {
        if (t == release) c.key_off = 1;
        c.update_flags = 0;
        channel_envelopes_step(&c, &ins, t == 0);
        out.push_back(c.vol_env_out);
    }
    return out;
}

using Values = std::vector<int32_t>;

TEST(VolumeEnvelope, TwoPointDecayEndsDoneAtTheLastPoint) {
    const Instrument ins = volume_envelope_instrument({{0, 64}, {10, 0}}, 1);
    ChannelState c = fresh_channel();
    Values out;
    for (int t = 0; t < 14; ++t) {
        c.update_flags = 0;
        channel_envelopes_step(&c, &ins, false);
        out.push_back(c.vol_env_out);
        EXPECT_EQ(c.vol_env_done, t >= 10 ? 1 : 0) << t;
        // Once done the envelope is not stepped and asks for no volume transfer.
        EXPECT_EQ(c.update_flags, t <= 10 ? update_volume : 0) << t;
    }
    EXPECT_EQ(out, (Values{64, 57, 51, 44, 38, 32, 25, 19, 12, 6, 0, 0, 0, 0}));
}

TEST(VolumeEnvelope, SustainHoldsUntilKeyOff) {
    const Instrument ins = volume_envelope_instrument({{0, 64}, {4, 32}, {8, 0}}, 1 | 2, 1);
    EXPECT_EQ(volume_run(ins, 10), (Values{64, 56, 48, 40, 32, 32, 32, 32, 32, 32}));
    // The release tick still outputs the sustain value and starts the next segment.
    EXPECT_EQ(volume_run(ins, 13, 7), (Values{64, 56, 48, 40, 32, 32, 32, 32, 24, 16, 8, 0, 0}));
}

TEST(VolumeEnvelope, LoopIsTakenBeforeSustainAndLastPoint) {
    // The loop end is both the sustain point and the last point: neither holds.
    const Instrument ins = volume_envelope_instrument({{0, 0}, {2, 64}, {4, 32}}, 1 | 2 | 4, 2, 1, 2);
    ChannelState c = fresh_channel();
    Values out;
    for (int t = 0; t < 9; ++t) {
        channel_envelopes_step(&c, &ins, false);
        out.push_back(c.vol_env_out);
    }
    EXPECT_EQ(out, (Values{0, 32, 64, 48, 64, 48, 64, 48, 64}));
    EXPECT_EQ(c.vol_env_done, 0);
}

TEST(VolumeEnvelope, PointsAtTheSameTickFreezeTheValue) {
    const Instrument ins = volume_envelope_instrument({{0, 64}, {4, 32}, {4, 0}}, 1);
    EXPECT_EQ(volume_run(ins, 9), (Values{64, 56, 48, 40, 32, 32, 32, 32, 32}));
}

TEST(VolumeEnvelope, WithoutEnvelopeKeyOffCutsAtRowStartsOnly) {
    const Instrument ins{};
    ChannelState c = fresh_channel();
    c.key_off = 1;
    channel_envelopes_step(&c, &ins, false);
    EXPECT_EQ(c.vol_env_out, 64);
    channel_envelopes_step(&c, &ins, true);
    EXPECT_EQ(c.vol_env_out, 0);

    ChannelState held = fresh_channel();
    channel_envelopes_step(&held, &ins, true);
    EXPECT_EQ(held.vol_env_out, 64);
    EXPECT_EQ(held.update_flags, 0);
}

TEST(Fadeout, RunsWhileTheKeyIsReleased) {
    Instrument ins{};
    ins.fadeout = 4096;
    ChannelState c = fresh_channel();
    channel_envelopes_step(&c, &ins, true);
    EXPECT_EQ(c.fadeout_volume, 65536);   // key held: no fade

    c.key_off = 1;
    for (int t = 1; t <= 17; ++t) {
        c.update_flags = 0;
        channel_envelopes_step(&c, &ins, t == 1);
        EXPECT_EQ(c.fadeout_volume, std::max(65536 - 4096 * t, 0)) << t;
        EXPECT_EQ(c.update_flags & update_volume, update_volume);
    }

    ins.fadeout = 0;
    c.fadeout_volume = 1000;
    channel_envelopes_step(&c, &ins, false);
    EXPECT_EQ(c.fadeout_volume, 1000);
}

TEST(PanningEnvelope, StepsWithThePanFlag) {
    Instrument ins{};
    ins.panning_envelope[0] = EnvelopePoint{0, 0};
    ins.panning_envelope[1] = EnvelopePoint{2, 64};
    ins.panning_point_count = 2;
    ins.panning_envelope_flags = 1;
    ChannelState c = fresh_channel();
    Values out;
    for (int t = 0; t < 4; ++t) {
        c.update_flags = 0;
        channel_envelopes_step(&c, &ins, false);
        EXPECT_EQ(c.update_flags, t <= 2 ? update_panning : 0) << t;
        out.push_back(c.pan_env_out);
    }
    EXPECT_EQ(out, (Values{0, 32, 64, 64}));
    EXPECT_EQ(c.pan_env_done, 1);
    EXPECT_EQ(c.vol_env_out, 64);
}

TEST(SetEnvelopePosition, JumpsIntoASegmentOrToTheEnd) {
    const Instrument ins = volume_envelope_instrument({{0, 64}, {10, 0}}, 1);
    struct Case { int32_t x, out, point; uint8_t done; int32_t next_out; };
    const Case cases[] = {
        {0, 64, 1, 0, 57},   // the first point's value, moving towards point 1
        {5, 32, 1, 0, 25},   // the next step outputs the value of tick 6
        {10, 0, 1, 0, 0},    // on the last point: reached by the next step
        {200, 0, 2, 1, 0},   // beyond the last point
    };
    for (const Case& c : cases) {
        ChannelState ch = fresh_channel();
        for (int t = 0; t < 3; ++t) channel_envelopes_step(&ch, &ins, false);
        envelope_set_position(&ch, &ins, c.x);
        EXPECT_EQ(ch.vol_env_out, c.out) << c.x;
        EXPECT_EQ(ch.vol_env_point, c.point) << c.x;
        EXPECT_EQ(ch.vol_env_done, c.done) << c.x;
        channel_envelopes_step(&ch, &ins, false);
        EXPECT_EQ(ch.vol_env_out, c.next_out) << c.x;
    }
}

TEST(SetEnvelopePosition, OnAPointContinuesAsIfTheEnvelopeReachedIt) {
    const Instrument ins = volume_envelope_instrument({{0, 64}, {4, 32}, {8, 0}}, 1 | 2, 1);
    ChannelState c = fresh_channel();
    envelope_set_position(&c, &ins, 4);
    EXPECT_EQ(c.vol_env_out, 32);
    channel_envelopes_step(&c, &ins, false);
    channel_envelopes_step(&c, &ins, false);
    EXPECT_EQ(c.vol_env_out, 32);   // held at the sustain point
}

TEST(Envelopes, OddInstrumentsStayInsideTheStoredPoints) {
    // Counts and indices beyond the 20 stored points, ticks that run backwards and
    // values beyond the format: only defined, bounded behaviour is asked for here.
    Instrument ins{};
    for (int i = 0; i < envelope_max_points; ++i) {
        ins.volume_envelope[i] = EnvelopePoint{static_cast<uint16_t>(i % 3 == 2 ? 0 : i * 3),
                                               static_cast<uint16_t>(i % 2 ? 65535 : 0)};
        ins.panning_envelope[i] = ins.volume_envelope[i];
    }
    ins.volume_point_count = ins.panning_point_count = 255;
    ins.volume_envelope_flags = ins.panning_envelope_flags = 7;
    ins.volume_sustain_point = ins.panning_sustain_point = 250;
    ins.volume_loop_start = ins.panning_loop_start = 200;
    ins.volume_loop_end = ins.panning_loop_end = 1;
    ChannelState c = fresh_channel();
    for (int t = 0; t < 5000; ++t) channel_envelopes_step(&c, &ins, t % 6 == 0);
    for (int x = 0; x < 256; x += 15) envelope_set_position(&c, &ins, x);

    ins.volume_loop_start = 0;
    ins.volume_loop_end = 3;
    ins.volume_point_count = 20;
    c = fresh_channel();
    for (int t = 0; t < 5000; ++t) channel_envelopes_step(&c, &ins, false);
    envelope_set_position(&c, &ins, 255);
    EXPECT_EQ(c.vol_env_done, 1);
}

// period_delta added by the auto-vibrato on each of `ticks` ticks.
Values auto_vibrato_run(const Instrument& ins, int ticks, int32_t start_pos = 0) {
    ChannelState c{};
    c.auto_vibrato_pos = start_pos;
    Values out;
    for (int t = 0; t < ticks; ++t) {
        c.period_delta = 0;
        c.update_flags = 0;
        auto_vibrato_step(&c, &ins);
        EXPECT_EQ(c.update_flags, update_pitch);
        out.push_back(c.period_delta);
    }
    return out;
}

Instrument vibrato_instrument(uint8_t type, uint8_t depth, uint8_t rate, uint8_t sweep = 0) {
    Instrument ins{};
    ins.auto_vibrato_type = type;
    ins.auto_vibrato_depth = depth;
    ins.auto_vibrato_rate = rate;
    ins.auto_vibrato_sweep = sweep;
    return ins;
}

TEST(AutoVibrato, WaveformValues) {
    // Depth 64 makes the offset equal to the waveform value.
    struct Case { uint8_t type; int32_t pos, value; };
    const Case cases[] = {
        {0, 0, 0},    {0, 64, 63},   {0, 128, 0},    {0, 192, -63},
        {1, 0, 64},   {1, 127, 64},  {1, 128, -64},  {1, 255, -64},
        {2, 0, 0},    {2, 127, -64}, {2, 128, 64},   {2, 255, 0},
        {3, 0, 0},    {3, 128, 64},  {3, 129, -64},  {3, 255, -1},
        {4, 64, 0},   {255, 128, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(auto_vibrato_run(vibrato_instrument(c.type, 64, 0), 1, c.pos)[0], c.value)
            << int(c.type) << " " << c.pos;
}

TEST(AutoVibrato, SineDepth15PeaksAtPlus14AndMinus15) {
    const Values out = auto_vibrato_run(vibrato_instrument(0, 15, 1), 256);
    EXPECT_EQ(*std::max_element(out.begin(), out.end()), 14);
    EXPECT_EQ(*std::min_element(out.begin(), out.end()), -15);
}

TEST(AutoVibrato, SweepRampsUpFromNothing) {
    EXPECT_EQ(auto_vibrato_run(vibrato_instrument(1, 16, 0, 4), 7), (Values{0, 4, 8, 12, 16, 16, 16}));
    EXPECT_EQ(auto_vibrato_run(vibrato_instrument(1, 16, 0, 0), 3), (Values{16, 16, 16}));
    EXPECT_EQ(auto_vibrato_run(vibrato_instrument(1, 0, 0, 0), 2), (Values{0, 0}));
}

TEST(AutoVibrato, PositionWrapsAndAddsToTheEffectOffset) {
    const Instrument ins = vibrato_instrument(1, 64, 200);
    ChannelState c{};
    c.period_delta = -100;
    auto_vibrato_step(&c, &ins);
    EXPECT_EQ(c.period_delta, -36);
    EXPECT_EQ(c.auto_vibrato_pos, 200);
    auto_vibrato_step(&c, &ins);
    EXPECT_EQ(c.auto_vibrato_pos, 144);
}

}  // namespace
