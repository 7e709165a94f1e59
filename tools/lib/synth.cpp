#include "lib/synth.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr double pi = 3.14159265358979323846;
// XM plays a sample at 8363 Hz for C-4; two octaves up gives drums a usable bandwidth.
constexpr double drum_rate = 8363.0 * 4.0;
constexpr int8_t drum_relative_note = 24;

struct Noise {
    uint32_t state;
    double next() {   // uniform in -1..1
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<double>(state) / 2147483648.0 - 1.0;
    }
};

std::vector<int8_t> to_8bit(const std::vector<double>& wave, double peak) {
    double top = 1e-9;
    for (double v : wave) top = std::max(top, std::fabs(v));
    std::vector<int8_t> out(wave.size());
    for (size_t i = 0; i < wave.size(); ++i) {
        out[i] = static_cast<int8_t>(std::lround(wave[i] / top * peak * 127.0));
    }
    return out;
}

std::vector<int16_t> to_16bit(const std::vector<double>& wave, double peak) {
    double top = 1e-9;
    for (double v : wave) top = std::max(top, std::fabs(v));
    std::vector<int16_t> out(wave.size());
    for (size_t i = 0; i < wave.size(); ++i) {
        out[i] = static_cast<int16_t>(std::lround(wave[i] / top * peak * 32767.0));
    }
    return out;
}

// One period of `length` frames from harmonic amplitudes (index 1 the fundamental).
std::vector<double> additive_cycle(int length, const std::vector<double>& harmonics,
                                   double phase_step = 0.0) {
    std::vector<double> wave(length, 0.0);
    for (size_t k = 1; k < harmonics.size(); ++k) {
        for (int i = 0; i < length; ++i) {
            wave[i] += harmonics[k] * std::sin(2.0 * pi * k * i / length + phase_step * k);
        }
    }
    return wave;
}

XmSampleDesc one_shot_drum(const std::vector<double>& wave, uint8_t volume) {
    XmSampleDesc s = xm_sample_8bit(to_8bit(wave, 0.98));
    s.relative_note = drum_relative_note;
    s.volume = volume;
    return s;
}

}  // namespace

XmSampleDesc synth_kick() {
    const int frames = static_cast<int>(drum_rate * 0.32);
    std::vector<double> wave(frames);
    double phase = 0.0;
    for (int i = 0; i < frames; ++i) {
        const double t = i / drum_rate;
        // Pitch falls from 160 Hz to 48 Hz: the thump of a bass drum.
        const double freq = 48.0 + 112.0 * std::exp(-t / 0.035);
        phase += 2.0 * pi * freq / drum_rate;
        const double body = std::sin(phase) * std::exp(-t / 0.11);
        const double click = std::exp(-t / 0.002) * 0.5;
        wave[i] = body + click;
    }
    XmSampleDesc s = one_shot_drum(wave, 64);
    s.name = "kick";
    return s;
}

XmSampleDesc synth_snare() {
    const int frames = static_cast<int>(drum_rate * 0.28);
    std::vector<double> wave(frames);
    Noise noise{0x1234567u};
    double low = 0.0;
    for (int i = 0; i < frames; ++i) {
        const double t = i / drum_rate;
        const double n = noise.next();
        low += (n - low) * 0.35;   // takes the harshest highs off the rattle
        const double rattle = low * std::exp(-t / 0.075);
        const double tone = std::sin(2.0 * pi * 190.0 * t) * std::exp(-t / 0.04) * 0.8;
        wave[i] = rattle + tone;
    }
    XmSampleDesc s = one_shot_drum(wave, 64);
    s.name = "snare";
    return s;
}

XmSampleDesc synth_hat() {
    const int frames = static_cast<int>(drum_rate * 0.22);
    std::vector<double> wave(frames);
    Noise noise{0x9E3779B9u};
    double previous = 0.0;
    for (int i = 0; i < frames; ++i) {
        const double t = i / drum_rate;
        const double n = noise.next();
        const double high = n - previous;   // first difference: keeps only the sizzle
        previous = n;
        wave[i] = high * std::exp(-t / 0.05);
    }
    XmSampleDesc s = one_shot_drum(wave, 40);
    s.name = "hi-hat";
    return s;
}

XmSampleDesc synth_crash() {
    const double rate = 8363.0 * 2.0;
    const int frames = static_cast<int>(rate * 1.6);
    std::vector<double> wave(frames);
    Noise noise{0xC0FFEEu};
    double previous = 0.0, smooth = 0.0;
    for (int i = 0; i < frames; ++i) {
        const double t = i / rate;
        const double n = noise.next();
        smooth += (n - previous - smooth) * 0.6;
        previous = n;
        wave[i] = smooth * (std::exp(-t / 0.45) * 0.9 + 0.1 * std::exp(-t / 0.02));
    }
    XmSampleDesc s = xm_sample_8bit(to_8bit(wave, 0.95));
    s.relative_note = 12;
    s.volume = 36;
    s.name = "crash";
    return s;
}

XmSampleDesc synth_bass() {
    // 256 frames per cycle: at 8363 Hz that is C-1, so C-4 needs three octaves up.
    std::vector<double> harmonics(25, 0.0);
    for (int k = 1; k < 25; ++k) harmonics[k] = 1.0 / k * std::exp(-k / 9.0);
    harmonics[1] *= 1.6;   // a round fundamental under the buzz
    XmSampleDesc s = xm_sample_16bit(to_16bit(additive_cycle(256, harmonics), 0.9),
                                     XmLoop::forward, 0, 256);
    s.relative_note = 36;
    s.volume = 40;
    s.name = "bass";
    return s;
}

XmSampleDesc synth_pad() {
    // Three saws 128, 129 and 127 cycles long over the sample: a slow chorus that the
    // ping-pong loop turns round without a click.
    const int frames = 128 * 128;
    std::vector<double> wave(frames, 0.0);
    const int cycles[3] = {128, 129, 127};
    for (int c = 0; c < 3; ++c) {
        for (int k = 1; k <= 10; ++k) {
            const double amplitude = std::pow(k, -1.3);
            for (int i = 0; i < frames; ++i) {
                wave[i] += amplitude * std::sin(2.0 * pi * k * cycles[c] * i / frames + c * 1.7 * k);
            }
        }
    }
    XmSampleDesc s = xm_sample_16bit(to_16bit(wave, 0.85), XmLoop::pingpong, 0, frames);
    s.relative_note = 24;   // 128 frames per cycle
    s.volume = 40;
    s.name = "pad";
    return s;
}

XmSampleDesc synth_lead() {
    // A 30% pulse, band-limited so high notes do not alias.
    std::vector<double> harmonics(20, 0.0);
    for (int k = 1; k < 20; ++k) harmonics[k] = 2.0 / (k * pi) * std::sin(pi * k * 0.3) * std::exp(-k / 14.0);
    XmSampleDesc s = xm_sample_16bit(to_16bit(additive_cycle(64, harmonics), 0.9),
                                     XmLoop::forward, 0, 64);
    s.relative_note = 12;   // 64 frames per cycle
    s.volume = 52;
    s.panning = 112;
    s.name = "lead";
    return s;
}

XmSampleDesc synth_pluck() {
    std::vector<double> harmonics(10, 0.0);
    for (int k = 1; k < 10; k += 2) harmonics[k] = 1.0 / k;
    XmSampleDesc s = xm_sample_8bit(to_8bit(additive_cycle(32, harmonics), 0.9),
                                    XmLoop::forward, 0, 32);
    s.relative_note = 0;   // 32 frames per cycle is C-4 at 8363 Hz
    s.volume = 24;
    s.name = "pluck";
    return s;
}
