#include "audio/pcm.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Clipping before rounding gives the same result as after (the limits are integers); a
// NaN ends up at the lower limit.
inline float pcm_clip(float v)
{
    v = v > -32768.0f ? v : -32768.0f;
    return v < 32767.0f ? v : 32767.0f;
}

}   // namespace

void float_to_pcm16(int16_t* dst, const float* src, int32_t frames) {
    if (frames <= 0 || !dst || !src) return;
    const int32_t count = frames * 2;
    int32_t i = 0;
#if defined(__SSE2__)
    // Eight values per pass. max(v, lo) gives lo for a NaN, like pcm_clip; the conversion
    // rounds in the current rounding mode (nearest, ties to even) and the clipped values
    // fit the 16-bit pack without saturating.
    const __m128 lo = _mm_set1_ps(-32768.0f);
    const __m128 hi = _mm_set1_ps(32767.0f);
    for (; i + 8 <= count; i += 8) {
        const __m128 a = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(src + i), lo), hi);
        const __m128 b = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(src + i + 4), lo), hi);
        const __m128i packed = _mm_packs_epi32(_mm_cvtps_epi32(a), _mm_cvtps_epi32(b));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), packed);
    }
#endif
    // Adding and removing 1.5 x 2^23 leaves a float in range rounded to an integer in the
    // current rounding mode (nearest, ties to even), without a library call.
    constexpr float round_magic = 12582912.0f;
    for (; i < count; ++i) {
        const float v = (pcm_clip(src[i]) + round_magic) - round_magic;
        dst[i] = static_cast<int16_t>(static_cast<int32_t>(v));
    }
}
