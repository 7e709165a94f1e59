#include "audio/pcm.h"

void float_to_pcm16(int16_t* dst, const float* src, int32_t frames) {
    if (frames <= 0 || !dst || !src) return;
    // Adding and removing 1.5 x 2^23 leaves a float in range rounded to an integer in the
    // current rounding mode (nearest, ties to even), without a library call.
    constexpr float round_magic = 12582912.0f;
    const int32_t count = frames * 2;
    for (int32_t i = 0; i < count; ++i) {
        // Clipping before rounding gives the same result as after (the limits are
        // integers); NaN ends up at the lower limit.
        float v = src[i];
        v = v > -32768.0f ? v : -32768.0f;
        v = v < 32767.0f ? v : 32767.0f;
        v = (v + round_magic) - round_magic;
        dst[i] = static_cast<int16_t>(static_cast<int32_t>(v));
    }
}
