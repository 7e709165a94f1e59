// Cost of mix_voices per busy voice-frame, in blocks of 884 frames as the block filler calls it.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "audio/mixer.h"
#include "audio/mixer_kernels.h"
#include "audio/player.h"
#include "audio/voice.h"
#include "module/song.h"
#include "support/owned_sample.h"

namespace {

constexpr int32_t bench_block = 884;

// Noise, so that every frame differs from its neighbours.
std::vector<int16_t> noise_frames(uint32_t length) {
    std::vector<int16_t> frames(length);
    std::mt19937 rng(length);
    for (auto& f : frames) f = static_cast<int16_t>(rng());
    return frames;
}

enum class Loop { forward, pingpong };
enum class Gains { steady, ramps, zero };

// `voice_count` voices on looped samples at steps around 1, mixed with the widest kernel
// no wider than `kernel`. With Gains::ramps every block changes the gains so that each
// block starts a new 128-frame ramp; Gains::zero leaves the voices playing at gain 0, as a
// note's old voice does after its fade-out.
void bench_mix(benchmark::State& state, Loop loop, Gains gains,
               MixerKernel kernel = MixerKernel::avx512)
{
    const bool ramps = gains == Gains::ramps;
    const int32_t gain_left = gains == Gains::zero ? 0 : 90;
    const int32_t gain_right = gains == Gains::zero ? 0 : 40;
    mixer_kernels_limit(kernel);
    const int voice_total = static_cast<int>(state.range(0));
    const uint8_t mode = loop == Loop::forward ? loop_mode_forward : loop_mode_pingpong;
    // Loops of a few thousand frames: a boundary every few blocks, as in real instruments.
    OwnedSample sample(noise_frames(6000), mode, 1000, 4000);
    std::mt19937 rng(1);
    for (auto& v : voices) v = Voice{};
    for (int k = 0; k < voice_total; ++k) {
        Voice& v = voices[k];
        v.index = k;
        v.sample = &sample.sample;
        v.direction = 1;
        const uint64_t step = (uint64_t{1} << 32) / 2 + (rng() % (uint64_t{3} << 31));   // 0.5 .. 2
        v.step_int = static_cast<int32_t>(step >> 32);
        v.step_frac = static_cast<uint32_t>(step);
        v.position = static_cast<int32_t>(rng() % 4000);
        v.gain_left = v.last_gain_left = gain_left;
        v.gain_right = v.last_gain_right = gain_right;
        v.ramp_gain_left = static_cast<uint32_t>(gain_left) * 256;
        v.ramp_gain_right = static_cast<uint32_t>(gain_right) * 256;
    }
    std::vector<float> out(2 * bench_block, 0.0f);
    int32_t flip = 0;
    for (auto _ : state) {
        if (ramps) {
            flip ^= 1;
            for (int k = 0; k < voice_total; ++k) voices[k].gain_left = 90 - 30 * flip;
        }
        mix_voices(out.data(), bench_block);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    const double voice_frames = static_cast<double>(state.iterations()) * voice_total * bench_block;
    state.counters["ns_per_voice_frame"] =
        benchmark::Counter(voice_frames * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    for (auto& v : voices) v = Voice{};
    mixer_kernels_limit(MixerKernel::avx512);
}

void BM_forward(benchmark::State& state) { bench_mix(state, Loop::forward, Gains::steady); }
void BM_forward_ramps(benchmark::State& state) { bench_mix(state, Loop::forward, Gains::ramps); }
void BM_pingpong(benchmark::State& state) { bench_mix(state, Loop::pingpong, Gains::steady); }
void BM_pingpong_ramps(benchmark::State& state) { bench_mix(state, Loop::pingpong, Gains::ramps); }
void BM_forward_zero_gain(benchmark::State& state) { bench_mix(state, Loop::forward, Gains::zero); }
void BM_forward_avx2(benchmark::State& state)
{
    bench_mix(state, Loop::forward, Gains::steady, MixerKernel::avx2);
}
void BM_forward_portable(benchmark::State& state)
{
    bench_mix(state, Loop::forward, Gains::steady, MixerKernel::portable);
}

// Only the first 64 voices are mixed; the rest of the table stays silent.
void BM_silent(benchmark::State& state)
{
    for (auto& v : voices) v = Voice{};
    std::vector<float> out(2 * bench_block, 0.0f);
    for (auto _ : state) {
        mix_voices(out.data(), bench_block);
        benchmark::DoNotOptimize(out.data());
    }
}

}   // namespace

BENCHMARK(BM_forward)->Arg(1)->Arg(16)->Arg(64);
BENCHMARK(BM_forward_ramps)->Arg(1)->Arg(64);
BENCHMARK(BM_pingpong)->Arg(1)->Arg(64);
BENCHMARK(BM_pingpong_ramps)->Arg(64);
BENCHMARK(BM_forward_zero_gain)->Arg(64);
BENCHMARK(BM_forward_avx2)->Arg(64);
BENCHMARK(BM_forward_portable)->Arg(64);
BENCHMARK(BM_silent);

BENCHMARK_MAIN();
