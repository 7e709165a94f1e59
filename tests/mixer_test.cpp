// The voice mixer against hand-worked cases and against a plain frame-by-frame model.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "audio/mixer.h"
#include "audio/player.h"
#include "audio/voice.h"
#include "module/song.h"
#include "support/owned_sample.h"

namespace {

constexpr int64_t frame_unit = int64_t{1} << 32;
const double inv255 = static_cast<double>(1.0f / 255.0f);

// Rounds to float through memory: g++ 12 at -O2 can otherwise vectorize away a
// double -> float -> double round trip.
float to_float(double x)
{
    volatile float f = static_cast<float>(x);
    return f;
}

uint32_t float_bits(float f)
{
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

std::vector<int16_t> rising_frames(int count, int first, int stride)
{
    std::vector<int16_t> f(count);
    for (int i = 0; i < count; ++i) f[i] = static_cast<int16_t>(first + i * stride);
    return f;
}

// A playing voice whose ramp has settled at its gains (no ramp pending).
Voice steady_voice(const Sample* s, uint64_t step, int32_t gain_left, int32_t gain_right)
{
    Voice v{};
    v.sample = s;
    v.step_int = static_cast<int32_t>(step >> 32);
    v.step_frac = static_cast<uint32_t>(step);
    v.direction = 1;
    v.gain_left = v.last_gain_left = gain_left;
    v.gain_right = v.last_gain_right = gain_right;
    v.ramp_gain_left = static_cast<uint32_t>(gain_left) * 256;
    v.ramp_gain_right = static_cast<uint32_t>(gain_right) * 256;
    return v;
}

void set_position(Voice& v, int64_t p)
{
    v.position = static_cast<int32_t>(p >> 32);
    v.position_frac = static_cast<uint32_t>(p);
}

int64_t position_of(const Voice& v)
{
    return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(v.position)) << 32) |
                                v.position_frac);
}

class MixerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (auto& v : voices) v = Voice{};
        ramp_frames = 128;
        inv_ramp = 1.0f / 128.0f;
    }
    void TearDown() override
    {
        for (auto& v : voices) v = Voice{};
    }
    std::vector<float> mix(int32_t frames)
    {
        std::vector<float> out(2 * static_cast<size_t>(frames), 0.0f);
        mix_voices(out.data(), frames);
        return out;
    }
};

// ---------------------------------------------------------------------------------------
// Plain model: one frame at a time, loops and reflections repeated literally.

int64_t model_ceil_div(int64_t a, int64_t b) { return a / b + (a % b != 0); }

void model_mix_voice(Voice& v, float* out, int32_t frames)
{
    const Sample& s = *v.sample;
    const int64_t E = int64_t{s.loop_start} + s.loop_length;
    const int64_t S = (int64_t{v.step_int} << 32) + v.step_frac;
    int64_t P = (int64_t{v.position} << 32) + v.position_frac;
    int32_t done = 0;
    while (true) {
        int32_t chunk = frames - done;
        bool at_boundary = false;
        int64_t D;
        if (v.direction == 1) {
            const int64_t end = (P >> 32) > E ? int64_t{s.length} : E;
            D = end * frame_unit - P;
        } else {
            D = P - int64_t{s.loop_start} * frame_unit;
        }
        if (D < 0) {
            chunk = 0;
            at_boundary = true;
        } else if (D < (int64_t{1} << 56)) {
            const int64_t shifted = S == 0 ? (0x17C6F8C >> 8) : (S >> 8);
            const int64_t n = model_ceil_div(D >> 8, shifted);
            if (n <= chunk) {
                chunk = static_cast<int32_t>(n);
                at_boundary = true;
            }
        }

        int32_t ramp;
        float step_r, step_l;
        if (v.ramp_left != 0 && v.gain_right == v.last_gain_right && v.gain_left == v.last_gain_left) {
            ramp = v.ramp_left;
            step_r = v.ramp_step_right;
            step_l = v.ramp_step_left;
        } else {
            v.last_gain_right = v.gain_right;
            v.last_gain_left = v.gain_left;
            const int32_t diff_r = v.gain_right - static_cast<int32_t>(v.ramp_gain_right >> 8);
            const int32_t diff_l = v.gain_left - static_cast<int32_t>(v.ramp_gain_left >> 8);
            step_r = diff_r == 0 ? 0.0f : to_float(diff_r * inv255 * static_cast<double>(inv_ramp));
            step_l = diff_l == 0 ? 0.0f : to_float(diff_l * inv255 * static_cast<double>(inv_ramp));
            v.ramp_step_right = step_r;
            v.ramp_step_left = step_l;
            ramp = (diff_r != 0 || diff_l != 0) ? ramp_frames : 0;
            v.ramp_left = ramp;
        }
        const int32_t chunk_before_ramp = chunk;
        if (ramp > 0 && chunk > ramp) chunk = ramp;

        const float g_r = to_float(v.gain_right * inv255);
        const float g_l = to_float(v.gain_left * inv255);
        double c_r = to_float(static_cast<int32_t>(v.ramp_gain_right) / 256.0 * inv255);
        double c_l = to_float(static_cast<int32_t>(v.ramp_gain_left) / 256.0 * inv255);

        for (int32_t f = 0; f < chunk; ++f) {
            const int64_t pos = P >> 32;
            const double s0 = s.data[pos];
            const double s1 = s.data[pos + 1];
            const double t = static_cast<double>(static_cast<uint32_t>(P) >> 1) / 2147483648.0;
            const double val = s0 + t * (s1 - s0);
            P = (P & ~int64_t{1}) + (v.direction == 1 ? S : -S);
            double left, right;
            const bool constant = ramp == 0 && !(chunk % 2 == 1 && f == chunk - 1);
            if (constant) {
                left = g_l;
                right = g_r;
            } else {
                left = c_l;
                right = c_r;
            }
            float* o = out + 2 * (done + f);
            o[0] = to_float(o[0] + val * left);
            o[1] = to_float(o[1] + val * right);
            if (ramp > 0) {
                c_l += step_l;
                c_r += step_r;
            }
        }
        done += chunk;

        if (ramp > 0) {
            v.ramp_gain_right = static_cast<uint32_t>(std::nearbyint(c_r * 255 * 256));
            v.ramp_gain_left = static_cast<uint32_t>(std::nearbyint(c_l * 255 * 256));
            v.ramp_left -= chunk;
            if (v.ramp_left == 0) {
                v.ramp_step_right = v.ramp_step_left = 0;
                v.ramp_gain_right = v.gain_right * 256;
                v.ramp_gain_left = v.gain_left * 256;
                if (chunk < chunk_before_ramp) continue;
            }
        }
        if (!at_boundary) break;
        if (s.loop_mode == loop_mode_forward) {
            P -= int64_t{s.loop_length} << 32;
            while ((P >> 32) >= E) P -= int64_t{s.loop_length} << 32;
        } else if (s.loop_mode == loop_mode_pingpong) {
            bool again = true;
            while (again) {
                if (v.direction == 1) {
                    P = 2 * E * frame_unit - P - 1;
                    v.direction = 2;
                    again = (P >> 32) < s.loop_start;
                } else {
                    P = 2 * int64_t{s.loop_start} * frame_unit - P - 1;
                    v.direction = 1;
                    again = (P >> 32) >= E;
                }
            }
        } else {
            v.sample = nullptr;
            P = 0;
            break;
        }
        if (done == frames) break;
    }
    set_position(v, P);
}

// ---------------------------------------------------------------------------------------

TEST_F(MixerTest, SilentVoicesAndZeroLengthSamples)
{
    OwnedSample empty({}, loop_mode_none, 0, 0);
    OwnedSample tone(rising_frames(100, 1000, 7), loop_mode_forward, 0, 100);
    voices[3] = steady_voice(&empty.sample, frame_unit, 100, 100);
    voices[3].position = 0;
    voices[4] = steady_voice(&silent_sample, frame_unit, 100, 100);
    voices[64] = steady_voice(&tone.sample, frame_unit, 100, 100);   // beyond the mixed voices

    const auto out = mix(50);
    for (float f : out) EXPECT_EQ(f, 0.0f);
    EXPECT_EQ(voices[3].sample, nullptr);
    EXPECT_EQ(voices[4].sample, nullptr);
    EXPECT_EQ(voices[64].position, 0);

    EXPECT_TRUE(mix(0).empty());
    mix_voices(nullptr, 0);
}

double gain_factor(int32_t gain) { return to_float(gain * inv255); }

TEST_F(MixerTest, StepOneEndsSampleWithoutLoop)
{
    std::vector<int16_t> frames(1000);
    std::mt19937 rng(7);
    for (auto& f : frames) f = static_cast<int16_t>(rng());
    OwnedSample s(frames, loop_mode_none, 0, 0);
    voices[0] = steady_voice(&s.sample, frame_unit, 127, 64);

    std::vector<float> out = mix(884);
    EXPECT_EQ(voices[0].sample, &s.sample);
    EXPECT_EQ(voices[0].position, 884);
    const std::vector<float> second = mix(884);
    out.insert(out.end(), second.begin(), second.end());

    EXPECT_EQ(voices[0].sample, nullptr);
    EXPECT_EQ(voices[0].position, 0);
    EXPECT_EQ(voices[0].position_frac, 0u);
    for (int f = 0; f < 1000; ++f) {   // t = 0 throughout: the guard frame never weighs in
        ASSERT_EQ(out[2 * f], static_cast<float>(frames[f] * gain_factor(127))) << f;
        ASSERT_EQ(out[2 * f + 1], static_cast<float>(frames[f] * gain_factor(64))) << f;
    }
    for (size_t i = 2000; i < out.size(); ++i) ASSERT_EQ(out[i], 0.0f) << i;
}

// Step 0.75 from 0 towards E = 10 reaches the boundary after n = 14 frames, at P = 10.5.
TEST_F(MixerTest, LoopBoundaryAfterFractionalSteps)
{
    struct Case {
        uint8_t mode;
        int32_t position;
        uint32_t frac;
        int32_t direction;
        const Sample* sample_after;   // null: ended
    };
    OwnedSample forward(rising_frames(16, 100, 50), loop_mode_forward, 4, 6);
    OwnedSample pingpong(rising_frames(16, 100, 50), loop_mode_pingpong, 4, 6);
    OwnedSample none(rising_frames(10, 100, 50), loop_mode_none, 0, 0);
    const struct {
        OwnedSample* s;
        Case want;
    } cases[] = {
        {&forward, {loop_mode_forward, 4, 0x80000000u, 1, &forward.sample}},
        {&pingpong, {loop_mode_pingpong, 9, 0x7FFFFFFFu, 2, &pingpong.sample}},
        {&none, {loop_mode_none, 0, 0, 1, nullptr}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int{c.want.mode});
        voices[0] = steady_voice(&c.s->sample, 0xC0000000u, 60, 60);
        mix(13);
        EXPECT_EQ(position_of(voices[0]), 9 * frame_unit + 0xC0000000u);   // not yet there
        mix(1);
        EXPECT_EQ(voices[0].position, c.want.position);
        EXPECT_EQ(voices[0].position_frac, c.want.frac);
        EXPECT_EQ(voices[0].direction, c.want.direction);
        EXPECT_EQ(voices[0].sample, c.want.sample_after);
    }
}

// Steps larger than the loop, and a position exactly on a ping-pong end.
TEST_F(MixerTest, WrapsAndReflectionsLandInsideLoop)
{
    struct Case {
        const char* name;
        uint8_t mode;
        uint32_t loop_start, loop_length;
        int64_t step;
        int32_t frames;
        int64_t position;
        int32_t direction;
    };
    const int64_t quarter = frame_unit / 4;
    const Case cases[] = {
        // 0, 5, then 10: 10 - 2 - 2 - 2 = 4
        {"forward, step 5, loop 4..6", loop_mode_forward, 4, 2, 5 * frame_unit, 2, 4 * frame_unit, 1},
        // 10 -> 2 - u -> 6 -> 6 - u: three reflections in one boundary step
        {"ping-pong, step 5, loop 4..6", loop_mode_pingpong, 4, 2, 5 * frame_unit, 2,
         6 * frame_unit - 1, 2},
        // 20 * 0.5 lands exactly on E = 10 and comes back one unit below, going backward
        {"ping-pong, exactly on the end", loop_mode_pingpong, 2, 8, 2 * quarter, 20,
         10 * frame_unit - 1, 2},
        // 9.25: 9 - 3 - 3 = 3
        {"forward, step 9.25, loop 2..5", loop_mode_forward, 2, 3, 37 * quarter, 1,
         13 * quarter, 1},
        // 9.25 -> 0.75 - u -> 3.25
        {"ping-pong, step 9.25, loop 2..5", loop_mode_pingpong, 2, 3, 37 * quarter, 1,
         13 * quarter, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OwnedSample s(rising_frames(16, -3000, 401), c.mode, c.loop_start, c.loop_length);
        voices[0] = steady_voice(&s.sample, static_cast<uint64_t>(c.step), 30, 90);
        Voice model = voices[0];
        std::vector<float> want(2 * static_cast<size_t>(c.frames), 0.0f);
        model_mix_voice(model, want.data(), c.frames);
        const auto out = mix(c.frames);
        EXPECT_EQ(position_of(voices[0]), c.position);
        EXPECT_EQ(voices[0].direction, c.direction);
        EXPECT_EQ(position_of(model), c.position);
        EXPECT_EQ(out, want);
        voices[0] = Voice{};
    }
}

// A new note fades in from silence over 128 frames; a call boundary inside the ramp carries
// its value over in 8 fraction bits.
TEST_F(MixerTest, RampFromSilence)
{
    OwnedSample s(std::vector<int16_t>(400, 1000), loop_mode_none, 0, 0);
    Voice fresh{};
    fresh.sample = &s.sample;
    fresh.step_int = 1;
    fresh.direction = 1;
    fresh.gain_left = fresh.gain_right = 100;

    voices[0] = fresh;
    const auto whole = mix(128);
    EXPECT_EQ(whole[0], 0.0f);   // the first frame is mixed with factor 0
    EXPECT_EQ(whole[1], 0.0f);
    EXPECT_EQ(voices[0].ramp_gain_left, 25600u);
    EXPECT_EQ(voices[0].ramp_gain_right, 25600u);
    EXPECT_EQ(voices[0].ramp_left, 0);
    EXPECT_EQ(voices[0].ramp_step_left, 0.0f);
    EXPECT_EQ(voices[0].ramp_step_right, 0.0f);
    EXPECT_EQ(voices[0].last_gain_left, 100);

    voices[0] = fresh;
    auto split = mix(40);
    EXPECT_EQ(voices[0].ramp_left, 88);
    EXPECT_EQ(float_bits(voices[0].ramp_step_right), float_bits(0.0030637258f));
    EXPECT_EQ(voices[0].ramp_step_left, voices[0].ramp_step_right);
    EXPECT_EQ(voices[0].ramp_gain_right, 8000u);   // 40 / 128 of 25600
    const auto rest = mix(88);
    split.insert(split.end(), rest.begin(), rest.end());
    EXPECT_EQ(voices[0].ramp_gain_right, 25600u);
    EXPECT_EQ(voices[0].ramp_left, 0);

    Voice model = fresh;
    std::vector<float> want(256, 0.0f);
    model_mix_voice(model, want.data(), 40);
    model_mix_voice(model, want.data() + 80, 88);
    EXPECT_EQ(split, want);
    // The carried value keeps 8 fraction bits, so past the cut the two may part in the last bit.
    for (int i = 0; i < 80; ++i) ASSERT_EQ(split[i], whole[i]) << i;
    for (int i = 80; i < 256; ++i) ASSERT_NEAR(split[i], whole[i], whole[i] * 1e-6) << i;
    for (int f = 1; f < 128; ++f) {
        ASSERT_LT(whole[2 * f - 2], whole[2 * f]) << f;
    }
    EXPECT_NEAR(whole[254], 1000.0 * 100.0 / 255.0 * 127.0 / 128.0, 1e-3);
}

// Without a ramp, frames go in pairs at g; an odd last frame uses the ramp value c, which
// differs from g when the ramp value kept a fraction.
TEST_F(MixerTest, OddChunkLastFrameUsesRampValue)
{
    OwnedSample s(std::vector<int16_t>(50, 1000), loop_mode_none, 0, 0);
    voices[0] = steady_voice(&s.sample, frame_unit, 20, 50);
    voices[0].ramp_gain_right = 50 * 256 + 0x80;   // gain 50 and a half: no ramp (diff 0)
    const auto out = mix(3);
    const float g = to_float(50 * inv255);
    const float c = to_float((50 * 256 + 0x80) / 256.0 * inv255);
    EXPECT_NE(g, c);
    EXPECT_EQ(out[1], static_cast<float>(1000.0 * g));
    EXPECT_EQ(out[3], static_cast<float>(1000.0 * g));
    EXPECT_EQ(out[5], static_cast<float>(1000.0 * c));
    EXPECT_EQ(out[4], static_cast<float>(1000.0 * gain_factor(20)));
    EXPECT_EQ(voices[0].ramp_left, 0);
    EXPECT_EQ(voices[0].ramp_gain_right, 50u * 256 + 0x80);
}

TEST_F(MixerTest, PanningGains)
{
    const struct {
        int32_t pan, left, right;
    } cases[] = {{0, 127, 0}, {255, 0, 127}, {128, 63, 63}, {64, 95, 31}};
    OwnedSample s(std::vector<int16_t>(50, -12345), loop_mode_none, 0, 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pan);
        const int32_t volume = 127;
        ASSERT_EQ(volume * (255 - c.pan) / 255, c.left);
        ASSERT_EQ(volume * c.pan / 255, c.right);
        voices[0] = steady_voice(&s.sample, frame_unit, c.left, c.right);
        const auto out = mix(4);
        for (int f = 0; f < 4; ++f) {
            EXPECT_EQ(out[2 * f], static_cast<float>(-12345.0 * gain_factor(c.left)));
            EXPECT_EQ(out[2 * f + 1], static_cast<float>(-12345.0 * gain_factor(c.right)));
        }
    }
}

// Positions at or beyond a boundary when the chunk starts are handled before any frame.
TEST_F(MixerTest, PositionAlreadyPastBoundary)
{
    struct Case {
        const char* name;
        uint8_t mode;
        int64_t start;
        int32_t direction;
        int64_t after;        // position once the boundary is handled, before any frame
        int32_t direction_after;
    };
    const Case cases[] = {
        {"forward, 5 units past E", loop_mode_forward, 10 * frame_unit + 5, 1, 4 * frame_unit + 5, 1},
        {"ping-pong, 16 units below the start", loop_mode_pingpong, 4 * frame_unit - 16, 2,
         4 * frame_unit + 15, 1},
        {"ping-pong, 3 units past E", loop_mode_pingpong, 10 * frame_unit + 3, 1,
         10 * frame_unit - 4, 2},
    };
    std::vector<int16_t> frames(16);
    for (int i = 0; i < 16; ++i) frames[i] = static_cast<int16_t>(i * i * 100 - 5000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OwnedSample s(frames, c.mode, 4, 6);
        voices[0] = steady_voice(&s.sample, frame_unit / 3, 127, 127);
        set_position(voices[0], c.start);
        voices[0].direction = c.direction;
        const auto out = mix(1);
        // The one frame mixed reads at the handled position.
        const int64_t p = c.after;
        const int64_t i = p >> 32;
        const double t = static_cast<double>(static_cast<uint32_t>(p) >> 1) / 2147483648.0;
        const double v = s.sample.data[i] + t * (s.sample.data[i + 1] - s.sample.data[i]);
        EXPECT_EQ(out[0], static_cast<float>(v * gain_factor(127)));
        EXPECT_EQ(voices[0].direction, c.direction_after);
        const int64_t step = (c.direction_after == 1 ? 1 : -1) * ((frame_unit / 3) + 0);
        EXPECT_EQ(position_of(voices[0]), (p & ~int64_t{1}) + step);
    }
}

// Loops starting at frame 0 can leave the position a hair below 0: frame -1 reads as 0 and
// nothing further in front is touched.
TEST_F(MixerTest, FrameBeforeIndexZero)
{
    struct Case {
        const char* name;
        uint8_t mode;
        int64_t start;
        int32_t direction;
    };
    const Case cases[] = {
        {"ping-pong reflection at 0", loop_mode_pingpong, 0, 2},
        {"forward wrap from just below E", loop_mode_forward, 8 * frame_unit - 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OwnedSample s(std::vector<int16_t>(8, 20000), c.mode, 0, 8);
        for (int i = 2; i <= 8; ++i) s.sample.data[-i] = 30000;   // must never be read
        voices[0] = steady_voice(&s.sample, frame_unit / 2, 127, 127);
        set_position(voices[0], c.start);
        voices[0].direction = c.direction;
        const auto out = mix(1);
        const double t = static_cast<double>(0x7FFFFFFF) / 2147483648.0;   // position -1 + (1 - 2^-32)
        EXPECT_EQ(out[0], static_cast<float>(20000.0 * t * gain_factor(127)));
        EXPECT_EQ(voices[0].direction, 1);
    }
}

void expect_same_voice(const Voice& a, const Voice& b)
{
    EXPECT_EQ(a.sample, b.sample);
    EXPECT_EQ(a.position, b.position);
    EXPECT_EQ(a.position_frac, b.position_frac);
    EXPECT_EQ(a.direction, b.direction);
    EXPECT_EQ(a.last_gain_left, b.last_gain_left);
    EXPECT_EQ(a.last_gain_right, b.last_gain_right);
    EXPECT_EQ(a.ramp_gain_left, b.ramp_gain_left);
    EXPECT_EQ(a.ramp_gain_right, b.ramp_gain_right);
    EXPECT_EQ(float_bits(a.ramp_step_left), float_bits(b.ramp_step_left));
    EXPECT_EQ(float_bits(a.ramp_step_right), float_bits(b.ramp_step_right));
    EXPECT_EQ(a.ramp_left, b.ramp_left);
}

// 64 random voices over random call lengths, with gain changes and restarts between calls
// as the voice update makes them, against the plain model, bit for bit.
TEST_F(MixerTest, MatchesPlainModelOnRandomVoices)
{
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        auto uniform = [&](int64_t lo, int64_t hi) {
            return std::uniform_int_distribution<int64_t>(lo, hi)(rng);
        };
        std::vector<std::unique_ptr<OwnedSample>> samples;
        Voice model[mixed_voices];
        for (int k = 0; k < mixed_voices; ++k) {
            const auto length = static_cast<uint32_t>(uniform(1, 300));
            std::vector<int16_t> frames(length);
            for (auto& f : frames) f = static_cast<int16_t>(uniform(-32768, 32767));
            const uint8_t modes[] = {loop_mode_none, loop_mode_forward, loop_mode_pingpong,
                                     loop_mode_forward, loop_mode_pingpong, 0};
            const uint8_t mode = modes[uniform(0, 5)];
            const auto loop_start = static_cast<uint32_t>(uniform(0, length - 1));
            const auto loop_length = static_cast<uint32_t>(uniform(1, length - loop_start));
            samples.push_back(std::make_unique<OwnedSample>(frames, mode, loop_start, loop_length));
            const Sample& s = samples.back()->sample;

            // Steps: slow, around 1, large, and beyond the loop.
            const int64_t step_ranges[][2] = {{frame_unit / 500, frame_unit},
                                              {frame_unit / 2, 3 * frame_unit},
                                              {frame_unit, 40 * frame_unit}};
            const auto* range = step_ranges[uniform(0, 2)];
            Voice v = steady_voice(&s, static_cast<uint64_t>(uniform(range[0], range[1])),
                                   static_cast<int32_t>(uniform(0, 127)),
                                   static_cast<int32_t>(uniform(0, 127)));
            const int64_t end = int64_t{s.loop_start} + s.loop_length;
            set_position(v, uniform(0, end * frame_unit - 1));
            if (mode == loop_mode_pingpong && uniform(0, 1) == 1) {
                v.direction = 2;
                set_position(v, uniform(int64_t{s.loop_start} * frame_unit, end * frame_unit - 1));
            }
            switch (uniform(0, 2)) {
            case 0:   // a note start: fade in from silence
                v.ramp_gain_left = v.ramp_gain_right = 0;
                break;
            case 1:   // gains changed since the last ramp
                v.ramp_gain_left = static_cast<uint32_t>(uniform(0, 127 * 256));
                v.ramp_gain_right = static_cast<uint32_t>(uniform(0, 127 * 256));
                break;
            default:
                break;
            }
            voices[k] = model[k] = v;
        }

        std::vector<float> out, want;
        for (int call = 0; call < 40; ++call) {
            const auto frames = static_cast<int32_t>(uniform(0, 3) == 0 ? uniform(1, 3) : uniform(1, 884));
            out.assign(2 * static_cast<size_t>(frames), 0.0f);
            for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<float>(uniform(-100, 100));
            want = out;
            mix_voices(out.data(), frames);
            for (int k = 0; k < mixed_voices; ++k) {
                if (model[k].sample != nullptr) model_mix_voice(model[k], want.data(), frames);
            }
            for (size_t i = 0; i < out.size(); ++i) {
                ASSERT_EQ(float_bits(out[i]), float_bits(want[i])) << "call " << call << " float " << i;
            }
            for (int k = 0; k < mixed_voices; ++k) {
                SCOPED_TRACE(k);
                expect_same_voice(voices[k], model[k]);
                if (uniform(0, 4) == 0) {   // the voice update changes a gain
                    voices[k].gain_left = model[k].gain_left = static_cast<int32_t>(uniform(0, 127));
                }
                if (uniform(0, 9) == 0 && samples[k]->sample.length > 0) {   // a note start
                    Voice& v = voices[k];
                    v.sample = &samples[k]->sample;
                    v.position = 0;
                    v.position_frac = 0;
                    v.direction = 1;
                    v.ramp_gain_left = v.ramp_gain_right = 0;
                    v.ramp_left = 0;
                    model[k] = v;
                }
            }
            if (HasFailure()) return;
        }
    }
}

// A zero step (which the voice update never produces) stands in for 256 Hz when counting
// frames to the boundary, so a stuck voice still reaches its loop handling.
TEST_F(MixerTest, ZeroStepUsesSubstituteStep)
{
    OwnedSample s(rising_frames(16, 500, 100), loop_mode_forward, 4, 6);
    voices[0] = steady_voice(&s.sample, 0, 100, 100);
    voices[0].position = 5;
    Voice model = voices[0];
    std::vector<float> want(2 * 884, 0.0f);
    model_mix_voice(model, want.data(), 884);
    const auto out = mix(884);
    EXPECT_EQ(out, want);
    expect_same_voice(voices[0], model);
    // 5 * 2^24 / 0x17C6F rounded up: 862 frames at frame 5, then one wrap to frame -1.
    EXPECT_EQ(out[2 * 861], static_cast<float>(1000.0 * gain_factor(100)));
    EXPECT_EQ(out[2 * 862], 0.0f);
    EXPECT_EQ(voices[0].position, -1);
}

// Voice states that the voice update never produces must not make the mixer read outside
// the sample's data or loop forever: the mixer ends such a voice instead.
TEST_F(MixerTest, CorruptVoicesStayInsideData)
{
    struct Case {
        const char* name;
        uint8_t mode;
        uint32_t loop_start, loop_length;
        int32_t position, step_int, direction;
    };
    const Case cases[] = {
        {"stuck voice wrapping below the loop", loop_mode_forward, 4, 6, 5, 0, 1},
        {"backward far beyond the data", loop_mode_none, 0, 100, 5000, 1, 2},
        {"forward far below the data", loop_mode_forward, 0, 100, -5000, 1, 1},
        {"largest step", loop_mode_forward, 10, 20, 0, INT32_MAX, 1},
        {"negative step", loop_mode_pingpong, 10, 20, 0, -3, 1},
        {"empty forward loop", loop_mode_forward, 10, 0, 0, 1, 1},
        {"empty ping-pong loop", loop_mode_pingpong, 10, 0, 0, 1, 1},
        {"loop end beyond the data", loop_mode_forward, 50, 100, 0, 3, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sample s{};
        s.length = 100;
        s.data = sample_data_alloc(s.length);
        for (uint32_t i = 0; i < s.length; ++i) s.data[i] = static_cast<int16_t>(i * 300);
        s.loop_mode = c.mode;
        s.loop_start = c.loop_start;
        s.loop_length = c.loop_length;
        voices[0] = steady_voice(&s, 0, 100, 100);
        voices[0].step_int = c.step_int;
        voices[0].step_frac = 0x12345;
        voices[0].position = c.position;
        voices[0].direction = c.direction;
        for (int block = 0; block < 20; ++block) {
            mix(884);
            if (voices[0].sample == nullptr) break;
            ASSERT_GE(voices[0].position, -1);
            ASSERT_LE(voices[0].position, 120);
        }
        voices[0] = Voice{};
        sample_data_free(s.data);
    }
}

}   // namespace
