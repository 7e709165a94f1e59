// The mixer's inner loops. The portable loops are the reference; the AVX2 and AVX-512
// loops do the same operations on four or eight frames at once:
//
//   v * 2^31 = s0 * 2^31 + (frac >> 1) * (s1 - s0), an integer below 2^48 and so exact
//              as a double, whether formed in 64-bit integers or by exact double products
//              and sums;
//   acc      = (float)((double)acc + v * factor): one rounded product, one rounded sum.
//
// The running factors of a ramp are sums rounded one by one; the AVX-512 loop forms them
// directly only when none of those sums rounds (mixer_ramp_is_exact).
//
// None of them may fuse a multiply and an add: the project builds with -ffp-contract=off
// and the vector targets name no FMA extension.
#include "audio/mixer_kernels.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define MIXER_X86_KERNELS 1
#endif

namespace {

constexpr double frac_unit = static_cast<double>(1.0f / 2147483648.0f);   // 2^-31

// The interpolated sample value at r (lowest bit already clear) times 2^31, formed exactly
// in integers: s0 * 2^31 + (frac >> 1) * (s1 - s0), below 2^48, so the double is exact.
// The kernels take their factors times 2^-31 instead; scaling by a power of two commutes
// with every rounding here, so the products, sums and the running ramp values are
// bit-identical to those of v = s0 + t * (s1 - s0) with the unscaled factors.
inline double mixer_sample_scaled(const int16_t* data, uint64_t r)
{
    const int16_t* p = data + static_cast<int32_t>(static_cast<int64_t>(r) >> 32);
    const int64_t half_frac = static_cast<uint32_t>(r) >> 1;
    return static_cast<double>(int64_t{p[0]} * (int64_t{1} << 31) + half_frac * (p[1] - p[0]));
}

inline void mixer_add_frame(float* out, double v, double left, double right)
{
    out[0] = static_cast<float>(static_cast<double>(out[0]) + v * left);
    out[1] = static_cast<float>(static_cast<double>(out[1]) + v * right);
}

// Two frames per pass; `count` is even.
void mixer_kernel_portable(float* out, int32_t count, const int16_t* data, uint64_t r,
                           uint64_t delta, double left, double right)
{
    const double l = left * frac_unit;
    const double rt = right * frac_unit;
    for (int32_t i = 0; i < count; i += 2) {
        mixer_add_frame(out, mixer_sample_scaled(data, r), l, rt);
        mixer_add_frame(out + 2, mixer_sample_scaled(data, r + delta), l, rt);
        r += 2 * delta;
        out += 4;
    }
}

#ifdef MIXER_X86_KERNELS

// Four frames per pass, the rest by the portable loop.
__attribute__((target("avx2"))) void mixer_kernel_avx2(float* out, int32_t count,
                                                       const int16_t* data, uint64_t r,
                                                       uint64_t delta, double left,
                                                       double right)
{
    const double l = left * frac_unit;
    const double rt = right * frac_unit;
    const __m256d factors = _mm256_setr_pd(l, rt, l, rt);
    const __m256d sample_scale = _mm256_set1_pd(2147483648.0);
    const __m256i high_words = _mm256_setr_epi32(1, 3, 5, 7, 1, 3, 5, 7);
    const __m256i low_words = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
    const __m256i step4 = _mm256_set1_epi64x(static_cast<int64_t>(4 * delta));
    __m256i pos = _mm256_setr_epi64x(static_cast<int64_t>(r), static_cast<int64_t>(r + delta),
                                     static_cast<int64_t>(r + 2 * delta),
                                     static_cast<int64_t>(r + 3 * delta));
    const int32_t quads = count & ~3;
    for (int32_t i = 0; i < quads; i += 4) {
        const __m128i index = _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(pos, high_words));
        const __m128i frac = _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(pos, low_words));
        // data[index] in the low half, data[index + 1] in the high half of each word.
        const __m128i pair = _mm_i32gather_epi32(reinterpret_cast<const int*>(data), index, 2);
        const __m128i s0 = _mm_srai_epi32(_mm_slli_epi32(pair, 16), 16);
        const __m128i diff = _mm_sub_epi32(_mm_srai_epi32(pair, 16), s0);
        const __m256d v = _mm256_add_pd(
            _mm256_mul_pd(_mm256_cvtepi32_pd(s0), sample_scale),
            _mm256_mul_pd(_mm256_cvtepi32_pd(_mm_srli_epi32(frac, 1)), _mm256_cvtepi32_pd(diff)));
        const __m256 acc = _mm256_loadu_ps(out);
        const __m256d lo = _mm256_add_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(acc)),
                                         _mm256_mul_pd(_mm256_permute4x64_pd(v, 0x50), factors));
        const __m256d hi = _mm256_add_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(acc, 1)),
                                         _mm256_mul_pd(_mm256_permute4x64_pd(v, 0xFA), factors));
        _mm256_storeu_ps(out, _mm256_set_m128(_mm256_cvtpd_ps(hi), _mm256_cvtpd_ps(lo)));
        pos = _mm256_add_epi64(pos, step4);
        out += 8;
    }
    if (quads != count) {
        mixer_kernel_portable(out, count - quads, data, r + static_cast<uint64_t>(quads) * delta,
                              delta, left, right);
    }
}

// Eight frames per pass. Each frame's position sits in a 64-bit lane, its frame offset
// from the window's first index in word 2, its fraction below. The sample pairs come from
// one 32-frame window, picked out by a word permute into the top word of each lane,
// whenever the frames span no more than a window (steps up to about 4.2 frames) and the
// window lies inside the readable frames; otherwise from a gather. Then
// v * 2^31 = (s0 << 31) + (frac >> 1) * (s1 - s0) is formed in 64-bit integers and
// converted exactly (below 2^48). The lanes hold the frames in the order 0 4 1 5 2 6 3 7,
// so that interleaving the left and right products within each 128-bit lane puts frames
// 0..3 in one register and 4..7 in the other. The last pass of a count that is not a
// multiple of 8 is masked: it reads and writes only its frames' floats and gathers only
// their samples.
//
// With `Ramp` the factors of frame k are left + k * step_left and right + k * step_right,
// which the caller has made sure are the running values (see mixer_ramp_is_exact).
//
// g++ 12 takes the deliberately undefined upper halves inside its AVX-512 conversion
// intrinsics for uninitialised values.
#pragma GCC diagnostic push
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
template <bool Ramp>
__attribute__((target("avx512f,avx512bw,avx512vl,avx512dq"))) void mixer_kernel_avx512_passes(
    float* out, int32_t count, const int16_t* data, int64_t readable_end, uint64_t r,
    uint64_t delta, double left, double right, double step_left, double step_right)
{
    __m512d factor_left = _mm512_set1_pd(left * frac_unit);
    __m512d factor_right = _mm512_set1_pd(right * frac_unit);
    const __m512d step_left_scaled = _mm512_set1_pd(step_left * frac_unit);
    const __m512d step_right_scaled = _mm512_set1_pd(step_right * frac_unit);
    const __m512d first_left = factor_left;
    const __m512d first_right = factor_right;
    __m512d frame_numbers = _mm512_setr_pd(0, 4, 1, 5, 2, 6, 3, 7);
    const __m512d eight = _mm512_set1_pd(8);
    // Word 4k + 2 (lane k's frame offset, below 32) to word 4k + 3; the other words are
    // masked to zero by top_words.
    const __m512i to_top_word = _mm512_set_epi16(30, 0, 0, 0, 26, 0, 0, 0, 22, 0, 0, 0, 18, 0, 0, 0,
                                                 14, 0, 0, 0, 10, 0, 0, 0, 6, 0, 0, 0, 2, 0, 0, 0);
    const __mmask32 top_words = 0x88888888u;
    const __m512i next_frame = _mm512_set1_epi64(int64_t{1} << 48);
    const __m512i frame_dwords = _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 1, 3, 5, 7, 9, 11, 13, 15);

    // Frame k of a pass reads index(r) + shift + rel_k, rel_k = (frac(r) + k * delta) >> 32
    // - shift; with the window the shift is the lowest of them, so that rel_k >= 0.
    const bool backward = static_cast<int64_t>(delta) < 0;
    const uint64_t widest = (uint64_t{30} << 32) / 7;   // then rel_k + 1 <= 31
    const bool windowed = backward ? uint64_t{0} - delta <= widest : delta <= widest;
    const int64_t shift = windowed && backward ? static_cast<int64_t>(7 * delta) >> 32 : 0;
    const uint64_t base_shift = static_cast<uint64_t>(shift) << 32;
    const __m512i offsets = _mm512_setr_epi64(
        static_cast<int64_t>(0 - base_shift), static_cast<int64_t>(4 * delta - base_shift),
        static_cast<int64_t>(delta - base_shift), static_cast<int64_t>(5 * delta - base_shift),
        static_cast<int64_t>(2 * delta - base_shift), static_cast<int64_t>(6 * delta - base_shift),
        static_cast<int64_t>(3 * delta - base_shift), static_cast<int64_t>(7 * delta - base_shift));
    // A window reaching beyond readable_end is moved back to end there: it still holds
    // every frame the pass reads, now at rel_k + (start - window start). A window that
    // would then begin below frame -1 (a sample shorter than 23 frames, or a backward pass
    // whose lowest estimate lies one below frame -1) is not used: the pass is gathered.
    const int64_t last_window = windowed ? readable_end - 32 : INT64_MAX;

    // Lanes of the frames below n, for the frame order above.
    static constexpr __mmask8 lanes_below[9] = {0x00, 0x01, 0x05, 0x15, 0x55, 0x57, 0x5F, 0x7F, 0xFF};

    for (int32_t i = 0; i < count; i += 8) {
        const int32_t n = count - i < 8 ? count - i : 8;
        const int64_t start = (static_cast<int64_t>(r) >> 32) + shift;
        int64_t window_start = start < last_window ? start : last_window;
        const bool in_window = windowed && window_start >= -1;
        if (!in_window) window_start = start;
        const int16_t* base = data + window_start;
        const uint64_t first_position = (static_cast<uint64_t>(start - window_start) << 32) |
                                        static_cast<uint32_t>(r);
        const __m512i pos =
            _mm512_add_epi64(_mm512_set1_epi64(static_cast<int64_t>(first_position)), offsets);
        __m512i s0_scaled;   // s0 << 31
        __m512i diff;        // s1 - s0
        if (in_window) {
            const __m512i window = _mm512_loadu_si512(base);
            const __m512i at = _mm512_permutexvar_epi16(to_top_word, pos);
            const __m512i s0_top = _mm512_maskz_permutexvar_epi16(top_words, at, window);
            const __m512i s1_top =
                _mm512_maskz_permutexvar_epi16(top_words, _mm512_add_epi64(at, next_frame), window);
            s0_scaled = _mm512_srai_epi64(s0_top, 17);
            diff = _mm512_srai_epi64(_mm512_sub_epi64(_mm512_srai_epi64(s1_top, 17), s0_scaled), 31);
        } else {
            const __m256i rel = _mm512_castsi512_si256(_mm512_permutexvar_epi32(frame_dwords, pos));
            // data[i] in the low half, data[i + 1] in the high half of each word.
            const __m256i pair = _mm256_mmask_i32gather_epi32(_mm256_setzero_si256(), lanes_below[n], rel,
                                                              base, 2);
            const __m512i s0 = _mm512_cvtepi32_epi64(_mm256_srai_epi32(_mm256_slli_epi32(pair, 16), 16));
            const __m512i s1 = _mm512_cvtepi32_epi64(_mm256_srai_epi32(pair, 16));
            s0_scaled = _mm512_slli_epi64(s0, 31);
            diff = _mm512_sub_epi64(s1, s0);
        }
        // The low dword of each lane: frac >> 1 (below 2^31) and s1 - s0, multiplied signed.
        const __m512d v = _mm512_cvtepi64_pd(
            _mm512_add_epi64(_mm512_mul_epi32(_mm512_srli_epi32(pos, 1), diff), s0_scaled));
        if constexpr (Ramp) {
            factor_left = _mm512_add_pd(first_left, _mm512_mul_pd(frame_numbers, step_left_scaled));
            factor_right = _mm512_add_pd(first_right, _mm512_mul_pd(frame_numbers, step_right_scaled));
            frame_numbers = _mm512_add_pd(frame_numbers, eight);
        }
        const __m512d left_part = _mm512_mul_pd(v, factor_left);
        const __m512d right_part = _mm512_mul_pd(v, factor_right);
        const __m512d first_part = _mm512_unpacklo_pd(left_part, right_part);
        const __m512d second_part = _mm512_unpackhi_pd(left_part, right_part);
        if (n == 8) {
            const __m512d first = _mm512_add_pd(_mm512_cvtps_pd(_mm256_loadu_ps(out)), first_part);
            const __m512d second = _mm512_add_pd(_mm512_cvtps_pd(_mm256_loadu_ps(out + 8)), second_part);
            _mm256_storeu_ps(out, _mm512_cvtpd_ps(first));
            _mm256_storeu_ps(out + 8, _mm512_cvtpd_ps(second));
        } else {
            const auto first_floats = static_cast<__mmask8>((1u << (2 * (n < 4 ? n : 4))) - 1);
            const auto second_floats = static_cast<__mmask8>((1u << (2 * (n > 4 ? n - 4 : 0))) - 1);
            const __m512d first =
                _mm512_add_pd(_mm512_cvtps_pd(_mm256_maskz_loadu_ps(first_floats, out)), first_part);
            const __m512d second = _mm512_add_pd(
                _mm512_cvtps_pd(_mm256_maskz_loadu_ps(second_floats, out + 8)), second_part);
            _mm256_mask_storeu_ps(out, first_floats, _mm512_cvtpd_ps(first));
            _mm256_mask_storeu_ps(out + 8, second_floats, _mm512_cvtpd_ps(second));
        }
        r += 8 * delta;
        out += 16;
    }
}

__attribute__((target("avx512f,avx512bw,avx512vl,avx512dq"))) void mixer_kernel_avx512(
    float* out, int32_t count, const int16_t* data, int64_t readable_end, uint64_t r,
    uint64_t delta, double left, double right)
{
    mixer_kernel_avx512_passes<false>(out, count, data, readable_end, r, delta, left, right, 0.0, 0.0);
}

#pragma GCC diagnostic pop

struct MixerCpu {
    bool avx2;
    bool avx512;
};

// Asked once at start-up, before anything mixes.
const MixerCpu mixer_cpu_found = [] {
    __builtin_cpu_init();
    return MixerCpu{__builtin_cpu_supports("avx2") != 0,
                    __builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("avx512bw") != 0 &&
                        __builtin_cpu_supports("avx512vl") != 0 && __builtin_cpu_supports("avx512dq") != 0};
}();
// What the kernels use: what was found, unless the tests ask for less.
MixerCpu mixer_cpu = mixer_cpu_found;


#endif

void mixer_kernel_ramp_portable(float* out, int32_t count, const int16_t* data, uint64_t r,
                                uint64_t delta, double& left, double& right, double step_left,
                                double step_right)
{
    double l = left * frac_unit;
    double rt = right * frac_unit;
    const double sl = step_left * frac_unit;
    const double sr = step_right * frac_unit;
    for (int32_t i = 0; i < count; ++i) {
        mixer_add_frame(out, mixer_sample_scaled(data, r), l, rt);
        l += sl;
        rt += sr;
        r += delta;
        out += 2;
    }
    left = l * 2147483648.0;
    right = rt * 2147483648.0;
}

#ifdef MIXER_X86_KERNELS
// Whether every running value start, start + step, ... after up to `count` additions is
// exact, so that the k-th equals start + k * step and can be formed directly. Both are
// single-precision values, multiples of 2^(lowest exponent - 23); a sum of such multiples
// below 2^52 of them (one bit to spare for the rounding of the bound) is a double.
bool mixer_ramp_is_exact(double start, double step, int32_t count)
{
    if (step == 0.0) return true;
    auto exponent = [](double x) {
        uint64_t bits;
        std::memcpy(&bits, &x, sizeof bits);
        return static_cast<int32_t>((bits >> 52) & 0x7FF) - 1023;
    };
    int32_t lowest = exponent(step);
    if (start != 0.0 && exponent(start) < lowest) lowest = exponent(start);
    const double bound = std::fabs(start) + static_cast<double>(count) * std::fabs(step);
    return exponent(bound) - (lowest - 23) <= 51;
}
#endif

}   // namespace

void mixer_kernel_constant(float* out, int32_t count, const int16_t* data, int64_t readable_end,
                           uint64_t r, uint64_t delta, double left, double right)
{
    (void)readable_end;
#ifdef MIXER_X86_KERNELS
    if (mixer_cpu.avx512) {
        mixer_kernel_avx512(out, count, data, readable_end, r, delta, left, right);
        return;
    }
    if (mixer_cpu.avx2) {
        mixer_kernel_avx2(out, count, data, r, delta, left, right);
        return;
    }
#endif
    mixer_kernel_portable(out, count, data, r, delta, left, right);
}

namespace {

void mixer_kernel_ramp_dispatch(bool wide, float* out, int32_t count, const int16_t* data,
                                int64_t readable_end, uint64_t r, uint64_t delta, double& left,
                                double& right, double step_left, double step_right)
{
#ifdef MIXER_X86_KERNELS
    if (wide && count >= 4 && mixer_ramp_is_exact(left, step_left, count) &&
        mixer_ramp_is_exact(right, step_right, count)) {
        mixer_kernel_avx512_passes<true>(out, count, data, readable_end, r, delta, left, right,
                                         step_left, step_right);
        left += count * step_left;     // exact, as every running value is
        right += count * step_right;
        return;
    }
#else
    (void)wide;
    (void)readable_end;
#endif
    mixer_kernel_ramp_portable(out, count, data, r, delta, left, right, step_left, step_right);
}

}   // namespace

void mixer_kernel_ramp(float* out, int32_t count, const int16_t* data, int64_t readable_end,
                       uint64_t r, uint64_t delta, double& left, double& right, double step_left,
                       double step_right)
{
#ifdef MIXER_X86_KERNELS
    const bool wide = mixer_cpu.avx512;
#else
    const bool wide = false;
#endif
    mixer_kernel_ramp_dispatch(wide, out, count, data, readable_end, r, delta, left, right,
                               step_left, step_right);
}

bool mixer_kernel_constant_with(MixerKernel kernel, float* out, int32_t count,
                                const int16_t* data, int64_t readable_end, uint64_t r,
                                uint64_t delta, double left, double right)
{
    (void)readable_end;
    switch (kernel) {
    case MixerKernel::portable:
        mixer_kernel_portable(out, count, data, r, delta, left, right);
        return true;
#ifdef MIXER_X86_KERNELS
    case MixerKernel::avx2:
        if (!mixer_cpu.avx2) return false;
        mixer_kernel_avx2(out, count, data, r, delta, left, right);
        return true;
    case MixerKernel::avx512:
        if (!mixer_cpu.avx512) return false;
        mixer_kernel_avx512(out, count, data, readable_end, r, delta, left, right);
        return true;
#endif
    default:
        return false;
    }
}

bool mixer_kernel_ramp_with(MixerKernel kernel, float* out, int32_t count, const int16_t* data,
                            int64_t readable_end, uint64_t r, uint64_t delta, double& left,
                            double& right, double step_left, double step_right)
{
    bool wide = false;
    switch (kernel) {
    case MixerKernel::portable:
    case MixerKernel::avx2:
        break;
    case MixerKernel::avx512:
#ifdef MIXER_X86_KERNELS
        if (!mixer_cpu.avx512) return false;
        wide = true;
        break;
#else
        return false;
#endif
    }
    mixer_kernel_ramp_dispatch(wide, out, count, data, readable_end, r, delta, left, right,
                               step_left, step_right);
    return true;
}

void mixer_kernels_limit(MixerKernel widest)
{
#ifdef MIXER_X86_KERNELS
    mixer_cpu = mixer_cpu_found;
    if (widest != MixerKernel::avx512) mixer_cpu.avx512 = false;
    if (widest == MixerKernel::portable) mixer_cpu.avx2 = false;
#else
    (void)widest;
#endif
}
