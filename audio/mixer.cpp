// The voice mixer: adds the first 64 voices into the block's float frames.
//
// The output is compared bit for bit, so every rounding below is deliberate.
//
//   Stored values are floats: the mix buffer accumulators, ramp_step_*, and the per-chunk
//   factors g_l, g_r, c_l, c_r. Everything between two stores is double, rounded to float
//   when stored. The constants are floats: inv255f = 1/255 (0x3B808081), 1/256, 2^-31.
//
//   t    = (double)(frac >> 1) * 2^-31                                (exact)
//   v    = (double)s0 + t * (double)(s1 - s0)                         (exact: 48 bits at most)
//          (formed as v * 2^31, see mixer_kernels.cpp)
//   acc  = (float)((double)acc + v * (double)factor)                  (product and sum rounded)
//   g    = (float)((double)gain * (double)inv255f)
//   c    = (float)((double)(int32)ramp_gain * (double)(1/256.f) * (double)inv255f)
//   step = (float)((double)diff * (double)inv255f * (double)inv_ramp)   (0 when diff is 0)
//   ramp: the running c starts as (double)c and gets c += (double)step after each frame,
//         staying double through the chunk;
//   ramp_gain = nearest-even integer of (c * 255) * 256 from the running double c.
//
// Positions: P = position * 2^32 + frac, stepped as P = (P & ~1) +/- S. With the lowest bit
// cleared first, the positions a chunk reads form an arithmetic sequence R_k = R_0 + k * delta
// with R_0 = P & ~1 and delta = S & ~1 forward, -(S + (S & 1)) backward; after c >= 1 frames
// P = R_c + (S & 1). The kernels therefore need no per-frame branch and serve both directions.
#include "audio/mixer.h"

#include <cmath>
#include <cstdint>

#include "audio/mixer_kernels.h"
#include "audio/player.h"
#include "audio/voice.h"

namespace {

constexpr float inv255f = 1.0f / 255.0f;
constexpr float inv256f = 1.0f / 256.0f;
constexpr int64_t one_frame = int64_t{1} << 32;
constexpr __int128 unlimited_distance = __int128{1} << 56;
constexpr uint64_t substitute_step = 0x17C6F8C;   // 256 Hz at 44100 Hz
constexpr int32_t direction_forward = 1;
constexpr int32_t direction_backward = 2;

using i128 = __int128;

inline int64_t mixer_position(const Voice& v)
{
    return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(v.position)) << 32) |
                                v.position_frac);
}

inline void mixer_store_position(Voice& v, int64_t p)
{
    v.position = static_cast<int32_t>(p >> 32);
    v.position_frac = static_cast<uint32_t>(p);
}

inline void mixer_end_voice(Voice& v)
{
    v.sample = nullptr;
    v.position = 0;
    v.position_frac = 0;
}

// Rounds to single precision and keeps it so. g++ 12's SLP vectorizer (-O2) drops a
// double -> float -> double round trip when two of them sit side by side; the empty asm
// makes the float value opaque so the rounding stays (in a register where the target
// names one: through memory it costs a store-to-load round trip per chunk).
inline float mixer_round_float(double x)
{
    float f = static_cast<float>(x);
#if defined(__x86_64__) || defined(__i386__)
    asm("" : "+x"(f));
#else
    asm("" : "+m"(f));
#endif
    return f;
}

inline float mixer_gain_factor(int32_t gain)
{
    return mixer_round_float(static_cast<double>(gain) * static_cast<double>(inv255f));
}

inline float mixer_ramp_factor(uint32_t ramp_gain)
{
    return mixer_round_float(static_cast<double>(static_cast<int32_t>(ramp_gain)) *
                             static_cast<double>(inv256f) * static_cast<double>(inv255f));
}

inline float mixer_ramp_step(int64_t diff)
{
    return mixer_round_float(static_cast<double>(diff) * static_cast<double>(inv255f) *
                             static_cast<double>(inv_ramp));
}

inline uint32_t mixer_ramp_gain(double factor)
{
    return static_cast<uint32_t>(std::llrint(factor * 255.0 * 256.0));
}

// Frames (0..chunk) after which the position reaches the boundary D away, and whether that
// is within the chunk.
inline bool mixer_boundary_frames(i128 distance, uint64_t step, int32_t& chunk)
{
    if (distance < 0) {
        chunk = 0;
        return true;
    }
    if (distance >= unlimited_distance) return false;
    uint64_t d = static_cast<uint64_t>(distance >> 8);
    uint64_t s = (step == 0 ? substitute_step : step) >> 8;
    if (s == 0) {   // a step below 2^-24 frame: count exactly rather than divide by zero
        d = static_cast<uint64_t>(distance);
        s = step;
    }
    // n = ceil(d / s) > chunk exactly when d > chunk * s: most chunks need no division.
    if (static_cast<unsigned __int128>(s) * static_cast<uint64_t>(chunk) < d) return false;
    const uint64_t n = d / s + (d % s != 0 ? 1 : 0);
    if (n > static_cast<uint64_t>(chunk)) return false;
    chunk = static_cast<int32_t>(n);
    return true;
}

// Reflects the position of a ping-pong loop at the end just passed, then folds it back into
// the loop for as long as it lies beyond the other end. Works on y = 2P + 1, for which both
// reflections (P -> 2X - P - 1) are mirror images around 2X; repeated reflections are then
// periodic in y with period 2W, W = y-length of the loop.
int64_t mixer_reflect(int64_t p, int32_t& direction, i128 loop_a, i128 loop_b)
{
    i128 y = 2 * static_cast<i128>(p) + 1;
    const i128 a2 = 2 * loop_a;
    const i128 b2 = 2 * loop_b;
    const i128 w = b2 - a2;
    if (direction == direction_forward) {
        y = 2 * b2 - y;
        direction = direction_backward;
        if (y < a2) {
            const i128 m = (a2 - y) % (2 * w);
            if (m < w) {
                y = a2 + m;
                direction = direction_forward;
            } else {
                y = a2 + 2 * w - m;
            }
        }
    } else {
        y = 2 * a2 - y;
        direction = direction_forward;
        if (y > b2) {
            const i128 m = (y - b2) % (2 * w);
            if (m < w) {
                y = b2 - m;
                direction = direction_backward;
            } else {
                y = b2 - (2 * w - m);
            }
        }
    }
    return static_cast<int64_t>((y - 1) / 2);
}

// Whether the frames of a chunk read only inside the data: frames -1 .. length + 7 exist.
// Playable voices always pass; the test only stops a corrupted voice from reading stray memory.
inline bool mixer_reads_inside(int64_t r0, i128 delta, int32_t count, uint32_t length)
{
    const i128 first = r0;
    const i128 last = first + static_cast<i128>(count - 1) * delta;
    const i128 lowest = first < last ? first : last;
    const i128 highest = first < last ? last : first;
    return lowest >= -static_cast<i128>(one_frame) &&
           highest < (static_cast<i128>(length) + 7) * one_frame;
}

void mixer_mix_voice(Voice& v, float* out, int32_t frames)
{
    const Sample& sample = *v.sample;
    if (sample.data == nullptr) {   // zero length: nothing to read
        mixer_end_voice(v);
        return;
    }
    const int64_t loop_start = sample.loop_start;
    const int64_t loop_end = loop_start + sample.loop_length;
    const int64_t readable_end = int64_t{sample.length} + 8;   // the data's guard frames
    const uint64_t step = (static_cast<uint64_t>(static_cast<uint32_t>(v.step_int)) << 32) |
                          v.step_frac;
    int64_t p = mixer_position(v);
    float* cur = out;
    int32_t remaining = frames;

    for (;;) {
        const bool forward = v.direction == direction_forward;

        // Limit by the loop boundary.
        int32_t chunk = remaining;
        i128 distance;
        if (forward) {
            const int64_t end = (p >> 32) > loop_end ? int64_t{sample.length} : loop_end;
            distance = static_cast<i128>(end) * one_frame - p;
        } else {
            distance = static_cast<i128>(p) - static_cast<i128>(loop_start) * one_frame;
        }
        const bool at_boundary = mixer_boundary_frames(distance, step, chunk);

        // Ramp set-up.
        int32_t ramp;
        double step_r;
        double step_l;
        if (v.ramp_left != 0 && v.gain_right == v.last_gain_right &&
            v.gain_left == v.last_gain_left) {
            ramp = v.ramp_left;
            step_r = v.ramp_step_right;
            step_l = v.ramp_step_left;
        } else {
            v.last_gain_right = v.gain_right;
            v.last_gain_left = v.gain_left;
            const int64_t diff_r = int64_t{v.gain_right} - (v.ramp_gain_right >> 8);
            const int64_t diff_l = int64_t{v.gain_left} - (v.ramp_gain_left >> 8);
            v.ramp_step_right = diff_r != 0 ? mixer_ramp_step(diff_r) : 0.0f;
            v.ramp_step_left = diff_l != 0 ? mixer_ramp_step(diff_l) : 0.0f;
            step_r = v.ramp_step_right;
            step_l = v.ramp_step_left;
            ramp = (diff_r != 0 || diff_l != 0) ? ramp_frames : 0;
            v.ramp_left = ramp;
        }
        const int32_t chunk_before_ramp = chunk;
        if (ramp > 0 && chunk > ramp) chunk = ramp;

        // Mix the chunk. A factor is 0 exactly when its integer gain is: the smallest
        // non-zero one, 1/256/255, is far from rounding to 0.
        double c_r = 0.0;
        double c_l = 0.0;
        if (ramp > 0) {
            c_r = mixer_ramp_factor(v.ramp_gain_right);
            c_l = mixer_ramp_factor(v.ramp_gain_left);
        }
        if (chunk > 0) {
            const uint64_t odd = step & 1;
            const i128 delta = forward ? static_cast<i128>(step - odd)
                                       : -(static_cast<i128>(step) + odd);
            const int64_t r0 = p & ~int64_t{1};
            if (!mixer_reads_inside(r0, delta, chunk, sample.length)) {
                mixer_end_voice(v);
                return;
            }
            const uint64_t d = static_cast<uint64_t>(delta);
            const uint64_t r = static_cast<uint64_t>(r0);
            if (ramp > 0) {
                mixer_kernel_ramp(cur, chunk, sample.data, readable_end, r, d, c_l, c_r, step_l,
                                  step_r);
            } else {
                // A zero factor adds v * 0 = +-0 to every float, which leaves it as it is:
                // the floats start as +0 and a sum is -0 only when both terms are, so no
                // float is ever -0, and x + +-0 = x for every other x. Such frames are
                // skipped; the position still advances below as if they were mixed.
                const int32_t even = chunk & ~1;
                if (v.gain_left != 0 || v.gain_right != 0) {
                    mixer_kernel_constant(cur, even, sample.data, readable_end, r, d,
                                          mixer_gain_factor(v.gain_left),
                                          mixer_gain_factor(v.gain_right));
                }
                if (even != chunk && (v.ramp_gain_left != 0 || v.ramp_gain_right != 0)) {
                    c_r = mixer_ramp_factor(v.ramp_gain_right);
                    c_l = mixer_ramp_factor(v.ramp_gain_left);
                    mixer_kernel_ramp(cur + 2 * even, 1, sample.data, readable_end, r + even * d, d,
                                      c_l, c_r, 0.0, 0.0);
                }
            }
            p = static_cast<int64_t>(r + static_cast<uint64_t>(chunk) * d + odd);
        }
        cur += 2 * chunk;
        remaining -= chunk;

        // Ramp bookkeeping.
        if (ramp > 0) {
            v.ramp_gain_right = mixer_ramp_gain(c_r);
            v.ramp_gain_left = mixer_ramp_gain(c_l);
            v.ramp_left -= chunk;
            if (v.ramp_left == 0) {
                v.ramp_step_right = 0.0f;
                v.ramp_step_left = 0.0f;
                v.ramp_gain_right = static_cast<uint32_t>(v.gain_right) * 256u;
                v.ramp_gain_left = static_cast<uint32_t>(v.gain_left) * 256u;
                if (chunk < chunk_before_ramp) {   // the boundary lies beyond this chunk
                    mixer_store_position(v, p);
                    continue;
                }
            }
        }

        // Boundary.
        if (!at_boundary) {
            mixer_store_position(v, p);
            return;
        }
        // A loop of no frames (never loaded that way) ends the voice rather than spin.
        const int64_t loop_length = sample.loop_length;
        if (sample.loop_mode == loop_mode_forward && loop_length > 0) {
            // Back by one loop length, then by as many more as keep it at or past the end.
            int64_t position = static_cast<int64_t>(static_cast<int32_t>(p >> 32)) - loop_length;
            if (position >= loop_end) {
                position -= ((position - loop_end) / loop_length + 1) * loop_length;
            }
            p = static_cast<int64_t>((static_cast<uint64_t>(position) << 32) |
                                     static_cast<uint32_t>(p));
        } else if (sample.loop_mode == loop_mode_pingpong && loop_length > 0) {
            p = mixer_reflect(p, v.direction, static_cast<i128>(loop_start) * one_frame,
                              static_cast<i128>(loop_end) * one_frame);
        } else {
            mixer_end_voice(v);
            return;
        }
        mixer_store_position(v, p);
        if (remaining == 0) return;
    }
}

}   // namespace

void mix_voices(float* out, int32_t frames)
{
    if (frames <= 0 || out == nullptr) return;
    for (int k = 0; k < mixed_voices; ++k) {
        if (voices[k].sample != nullptr) mixer_mix_voice(voices[k], out, frames);
    }
}
