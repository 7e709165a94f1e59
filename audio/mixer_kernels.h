// The mixer's inner loops: one voice's frames of one chunk added into the float frames.
//
// The positions read form the sequence r, r + delta, r + 2 delta, ... (32.32 fixed point,
// lowest bit already clear, delta negative as a wrapped 64-bit value when going backward);
// the chunk's frames all read inside the sample's data. Factors are the float gains as
// doubles. Each value is formed exactly as the mixer's header comment describes, so every
// variant gives the same bits.
#pragma once
#include <cstdint>

// Constant factors; `count` is even. Frames -1 up to readable_end (excluded) of `data` may
// be read, beyond those the chunk needs. Picks the widest variant this processor runs.
void mixer_kernel_constant(float* out, int32_t count, const int16_t* data, int64_t readable_end,
                           uint64_t r, uint64_t delta, double left, double right);

// Running factors: each frame uses the values before its own increment; `left` and
// `right` come back advanced by `count` steps. The steps are single-precision values, and
// so are `left` and `right` on entry. `readable_end` as for mixer_kernel_constant.
void mixer_kernel_ramp(float* out, int32_t count, const int16_t* data, int64_t readable_end,
                       uint64_t r, uint64_t delta, double& left, double& right, double step_left,
                       double step_right);

// The variants of mixer_kernel_constant and mixer_kernel_ramp, for the tests and the
// benchmark. Each returns false, doing nothing, when this processor cannot run it; the
// AVX2 ramp is the portable one.
enum class MixerKernel { portable, avx2, avx512 };
bool mixer_kernel_constant_with(MixerKernel kernel, float* out, int32_t count,
                                const int16_t* data, int64_t readable_end, uint64_t r,
                                uint64_t delta, double left, double right);
bool mixer_kernel_ramp_with(MixerKernel kernel, float* out, int32_t count, const int16_t* data,
                            int64_t readable_end, uint64_t r, uint64_t delta, double& left,
                            double& right, double step_left, double step_right);

// For the tests: the mixer uses no variant wider than `widest` (as far as this processor
// runs them) until the next call; MixerKernel::avx512 restores the choice made at start-up.
// Only while nothing mixes.
void mixer_kernels_limit(MixerKernel widest);
