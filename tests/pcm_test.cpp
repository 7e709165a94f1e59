// Float to 16-bit PCM: the eight-at-a-time path and the one-at-a-time tail give the same
// value for every float as plain rounding and clipping.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "audio/pcm.h"

namespace {

int16_t plain_pcm(float v)
{
    if (std::isnan(v)) return -32768;
    const double r = std::nearbyint(static_cast<double>(v));   // ties to even
    return static_cast<int16_t>(r < -32768.0 ? -32768 : r > 32767.0 ? 32767 : r);
}

TEST(FloatToPcm16, EveryPositionOfEveryLengthMatchesPlainRounding)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float specials[] = {0.5f, 1.5f, 2.5f, -0.5f, -1.5f, -2.5f, 32767.4f, 32767.5f, 32767.6f,
                              -32768.5f, -32768.7f, -32769.0f, 100000.0f, -100000.0f, 3e9f, -3e9f,
                              1e38f, -1e38f, inf, -inf, std::nanf(""), -0.0f, 1e-30f,
                              8388607.5f, 16777216.0f};
    std::mt19937 rng(7);
    std::vector<float> src;
    for (int i = 0; i < 4000; ++i) {
        if (i % 3 == 0) {
            src.push_back(specials[rng() % std::size(specials)]);
        } else {
            // Values around the range, many of them halfway between two integers.
            const float whole = static_cast<float>(static_cast<int32_t>(rng() % 80000) - 40000);
            src.push_back(whole + (i % 2 ? 0.5f : static_cast<float>(rng() % 1000) / 1000.0f));
        }
    }
    // Every length from 1 to 40 frames at every start within 8 values: the tail and the
    // eight-at-a-time passes meet every value.
    for (int32_t start = 0; start < 8; ++start) {
        for (int32_t frames = 1; frames <= 40; ++frames) {
            std::vector<int16_t> dst(2 * frames + 1, 0x5A5A);
            float_to_pcm16(dst.data(), src.data() + start, frames);
            for (int32_t i = 0; i < 2 * frames; ++i) {
                ASSERT_EQ(dst[i], plain_pcm(src[start + i])) << "value " << src[start + i];
            }
            ASSERT_EQ(dst[2 * frames], 0x5A5A) << "wrote past the end";
        }
    }
    std::vector<int16_t> all(src.size());
    float_to_pcm16(all.data(), src.data(), static_cast<int32_t>(src.size() / 2));
    for (size_t i = 0; i < src.size(); ++i) ASSERT_EQ(all[i], plain_pcm(src[i])) << "value " << src[i];
}

}   // namespace
