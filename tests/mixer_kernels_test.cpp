// The mixer's fast paths give the same bits as its portable loop: every vector kernel on
// every kind of chunk, and voices whose factors are zero, which are not mixed at all but
// must move on exactly as if they were.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "audio/mixer.h"
#include "audio/mixer_kernels.h"
#include "audio/player.h"
#include "audio/voice.h"
#include "module/song.h"
#include "support/owned_sample.h"

namespace {

constexpr uint64_t frame = uint64_t{1} << 32;

// Exactly the frames a chunk may read, -1 .. length + 7, so that the sanitizer build
// catches a read beyond them.
struct Data {
    std::vector<int16_t> frames;
    const int16_t* data;
    int64_t length;
    explicit Data(int64_t n) : frames(static_cast<size_t>(n + 9)), length(n)
    {
        std::mt19937 rng(static_cast<uint32_t>(n));
        for (size_t i = 0; i < static_cast<size_t>(n + 2); ++i) frames[i] = static_cast<int16_t>(rng());
        data = frames.data() + 1;
    }
};

TEST(MixerKernels, VectorKernelsGiveThePortableBits)
{
    const Data long_data(3000);
    const Data short_data(20);   // too short for a whole window
    struct Case {
        const char* name;
        const Data* data;
        uint64_t step;
        bool backward;
        int64_t first;   // frame of the first position
    };
    const Case cases[] = {
        {"slow forward", &long_data, frame / 7 + 12345, false, 100},
        {"step one", &long_data, frame, false, 0},
        {"forward near the window limit", &long_data, (uint64_t{30} << 32) / 7, false, 10},
        {"forward just beyond it (gathered)", &long_data, (uint64_t{30} << 32) / 7 + 2, false, 10},
        {"fast forward", &long_data, 9 * frame + 77, false, 5},
        {"forward into the guard frames", &long_data, frame / 3, false, 2990},
        {"slow backward", &long_data, frame / 5 + 3, true, 2000},
        {"backward near the window limit", &long_data, (uint64_t{30} << 32) / 7, true, 2500},
        {"backward beyond it", &long_data, (uint64_t{30} << 32) / 7 + 2, true, 2500},
        {"backward from the end of the data", &long_data, frame / 2 + 1, true, 3005},
        {"backward down to frame -1", &long_data, frame + 5, true, 60},
        {"short sample forward", &short_data, frame / 4 + 9, false, -1},
        {"short sample backward", &short_data, frame / 4 + 9, true, 26},
    };
    const int32_t counts[] = {2, 4, 6, 8, 10, 14, 16, 18, 30, 62, 884};
    const MixerKernel kernels[] = {MixerKernel::avx2, MixerKernel::avx512};
    std::mt19937 rng(3);
    for (const Case& c : cases) {
        const Data& d = *c.data;
        const int64_t readable_end = d.length + 8;
        for (int32_t count : counts) {
            SCOPED_TRACE(testing::Message() << c.name << ", " << count << " frames");
            uint64_t step = c.step & ~uint64_t{1};
            if (c.backward) step = uint64_t{0} - ((c.step & ~uint64_t{1}) + 2 * (c.step & 1));
            const uint64_t r = (static_cast<uint64_t>(c.first) << 32) | (rng() & 0xFFFFFFFEu);
            // Keep the chunk inside frames -1 .. length + 7, as the mixer does.
            const int64_t last = (static_cast<int64_t>(r) + (count - 1) * static_cast<int64_t>(step)) >> 32;
            if (last < -1 || last > d.length + 6) continue;
            std::vector<float> start(2 * static_cast<size_t>(count));
            for (float& f : start) f = static_cast<float>(static_cast<int32_t>(rng() % 20001) - 10000) / 7.0f;
            const double left = 127.0f / 255.0f;
            const double right = 3.0f / 255.0f;
            std::vector<float> want = start;
            ASSERT_TRUE(mixer_kernel_constant_with(MixerKernel::portable, want.data(), count, d.data,
                                                   readable_end, r, step, left, right));
            for (MixerKernel k : kernels) {
                std::vector<float> got = start;
                if (!mixer_kernel_constant_with(k, got.data(), count, d.data, readable_end, r, step,
                                                left, right))
                    continue;   // not on this processor
                ASSERT_EQ(std::memcmp(got.data(), want.data(), got.size() * sizeof(float)), 0)
                    << "kernel " << static_cast<int>(k);
            }
        }
    }
}

// Running factors formed directly (start + k * step) must equal the running sums: every
// ramp a voice can have, and starts and steps so far apart that the sums round (those keep
// to the frame-by-frame loop).
TEST(MixerKernels, RampKernelsGiveThePortableBits)
{
    Data d(3000);
    const int64_t readable_end = d.length + 8;
    const float inv255 = 1.0f / 255.0f;
    auto factor = [&](int32_t ramp_gain) {
        return static_cast<float>(ramp_gain * static_cast<double>(1.0f / 256.0f) * inv255);
    };
    auto step = [&](int32_t diff) {
        return static_cast<float>(diff * static_cast<double>(inv255) * static_cast<double>(1.0f / 128.0f));
    };
    struct Case {
        const char* name;
        float left, right, step_left, step_right;
        int32_t count;
    };
    const Case cases[] = {
        {"fade in from silence", 0.0f, 0.0f, step(100), step(100), 128},
        {"fade out to silence", factor(127 * 256), factor(64 * 256), step(-127), step(-64), 128},
        {"one side only", factor(40 * 256 + 77), factor(90 * 256), step(3), 0.0f, 97},
        {"from a rounded ramp value", factor(12345), factor(301), step(-48), step(126), 88},
        {"smallest steps", factor(1), factor(32767), step(1), step(-1), 40},
        {"a short stretch", factor(5000), factor(5000), step(7), step(-7), 9},
        {"sums that round", 1.0e6f, 3.0f, 1.0e-7f, step(5), 128},
        {"sums that round on the right", 0.25f, 12345.678f, step(-2), 3.0e-9f, 64},
    };
    std::mt19937 rng(11);
    for (const Case& c : cases) {
        for (bool backward : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.name << (backward ? ", backward" : ", forward"));
            const uint64_t step_size = frame / 2 + 2 * (rng() % 1000);
            const uint64_t delta = backward ? uint64_t{0} - step_size : step_size;
            const uint64_t r = (uint64_t{1500} << 32) | (rng() & 0xFFFFFFFEu);
            std::vector<float> start(2 * static_cast<size_t>(c.count));
            for (float& f : start) f = static_cast<float>(static_cast<int32_t>(rng() % 20001) - 10000);
            std::vector<float> want = start;
            double want_left = c.left;
            double want_right = c.right;
            ASSERT_TRUE(mixer_kernel_ramp_with(MixerKernel::portable, want.data(), c.count, d.data,
                                               readable_end, r, delta, want_left, want_right,
                                               c.step_left, c.step_right));
            std::vector<float> got = start;
            double left = c.left;
            double right = c.right;
            if (!mixer_kernel_ramp_with(MixerKernel::avx512, got.data(), c.count, d.data,
                                        readable_end, r, delta, left, right, c.step_left,
                                        c.step_right))
                GTEST_SKIP() << "no AVX-512 here";
            ASSERT_EQ(std::memcmp(got.data(), want.data(), got.size() * sizeof(float)), 0);
            EXPECT_EQ(std::memcmp(&left, &want_left, sizeof left), 0);
            EXPECT_EQ(std::memcmp(&right, &want_right, sizeof right), 0);
        }
    }
}

// Frames i * 997 (wrapping), so that neighbours differ.
std::vector<int16_t> stepped_frames(uint32_t length) {
    std::vector<int16_t> frames(length);
    for (uint32_t i = 0; i < length; ++i) frames[i] = static_cast<int16_t>(i * 997);
    return frames;
}

// A voice at gains 0 (its ramp over) beside the same voice at audible gains: after every
// call both have the same position, direction and sample, and the silent one has left the
// floats exactly as they were.
TEST(MixerKernels, VoicesAtZeroGainMoveOnAsIfMixed)
{
    ramp_frames = 128;
    inv_ramp = 1.0f / 128.0f;
    OwnedSample forward(stepped_frames(700), loop_mode_forward, 200, 300);
    OwnedSample pingpong(stepped_frames(700), loop_mode_pingpong, 0, 5);
    OwnedSample once(stepped_frames(700), loop_mode_none, 0, 700);
    struct Case {
        const char* name;
        const Sample* sample;
        uint64_t step;
    };
    const Case cases[] = {
        {"forward loop", &forward.sample, frame + frame / 3},
        {"ping-pong loop shorter than a step", &pingpong.sample, 7 * frame + 12345},
        {"no loop: ends inside a call", &once.sample, frame / 2 + 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (auto& v : voices) v = Voice{};
        for (int k = 0; k < 2; ++k) {
            Voice& v = voices[k];
            v.sample = c.sample;
            v.step_int = static_cast<int32_t>(c.step >> 32);
            v.step_frac = static_cast<uint32_t>(c.step);
            v.direction = 1;
            v.position = 3;
            v.position_frac = 0x9000000F;
        }
        voices[1].gain_left = voices[1].last_gain_left = 90;
        voices[1].gain_right = voices[1].last_gain_right = 45;
        voices[1].ramp_gain_left = 90 * 256;
        voices[1].ramp_gain_right = 45 * 256;
        const int32_t calls[] = {884, 1, 3, 333, 884, 884, 57};
        for (int32_t frames : calls) {
            std::vector<float> out(2 * static_cast<size_t>(frames), 0.0f);
            out[0] = 5.0f;
            const std::vector<float> before = out;
            Voice audible = voices[1];
            voices[1].sample = nullptr;   // mix the silent one alone first
            mix_voices(out.data(), frames);
            ASSERT_EQ(std::memcmp(out.data(), before.data(), out.size() * sizeof(float)), 0);
            voices[1] = audible;
            const Voice silent = voices[0];
            voices[0].sample = nullptr;
            mix_voices(out.data(), frames);
            voices[0] = silent;
            EXPECT_EQ(voices[0].sample, voices[1].sample);
            EXPECT_EQ(voices[0].position, voices[1].position);
            EXPECT_EQ(voices[0].position_frac, voices[1].position_frac);
            EXPECT_EQ(voices[0].direction, voices[1].direction);
            if (voices[1].sample == nullptr) break;
        }
        EXPECT_EQ(c.sample == &once.sample, voices[0].sample == nullptr);
    }
    for (auto& v : voices) v = Voice{};
}

}   // namespace
