#include "audio/pcm.h"

#include <cmath>

void float_to_pcm16(int16_t* dst, const float* src, int32_t frames) {
    if (frames <= 0 || !dst || !src) return;
    const int32_t count = frames * 2;
    for (int32_t i = 0; i < count; ++i) {
        // Clipping before rounding gives the same result as after (the limits are
        // integers) and keeps the conversion in range; NaN ends up at the lower limit.
        float v = src[i];
        v = v > -32768.0f ? v : -32768.0f;
        v = v < 32767.0f ? v : 32767.0f;
        dst[i] = static_cast<int16_t>(std::lrint(v));
    }
}
