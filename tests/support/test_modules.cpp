#include "support/test_modules.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

XmInstrumentDesc square_instrument() {
    std::vector<int8_t> square(64);
    for (size_t i = 0; i < square.size(); ++i) square[i] = i < 32 ? 50 : -50;
    return xm_instrument(xm_sample_8bit(square, XmLoop::forward, 0, 64));
}

XmInstrumentDesc sine_instrument() {
    std::vector<int16_t> sine(256);
    for (size_t i = 0; i < sine.size(); ++i)
        sine[i] = static_cast<int16_t>(std::lround(12000.0 * std::sin(i * 6.283185307179586 / 256.0)));
    XmInstrumentDesc ins = xm_instrument(xm_sample_16bit(sine, XmLoop::pingpong, 64, 128));
    ins.volume_envelope.on = true;
    ins.volume_envelope.sustain = true;
    ins.volume_envelope.sustain_point = 1;
    ins.volume_envelope.points = {{0, 0}, {4, 64}, {40, 20}, {80, 0}};
    ins.fadeout = 512;
    ins.vibrato_type = 0;
    ins.vibrato_sweep = 8;
    ins.vibrato_depth = 4;
    ins.vibrato_rate = 20;
    return ins;
}

XmInstrumentDesc noise_instrument() {
    std::vector<int8_t> noise(3000);
    uint32_t seed = 12345;
    for (size_t i = 0; i < noise.size(); ++i) {
        seed = seed * 1103515245u + 12345u;
        const double decay = 1.0 - static_cast<double>(i) / noise.size();
        noise[i] = static_cast<int8_t>(static_cast<int>((seed >> 16) % 200 - 100) * decay);
    }
    return xm_instrument(xm_sample_8bit(noise));
}

// One channel's row text for the given row of a pattern; the channel number shifts the
// notes so that wide modules are not many copies of one voice.
std::string channel_cell(int pattern, int channel, int row) {
    static const char* const notes[] = {"C-4", "E-4", "G-4", "A#4", "D-5", "F-4", "A-3", "C-5"};
    const int kind = channel % 4;
    const std::string note = notes[(channel + row / 4 + pattern) % 8];
    switch (kind) {
    case 0:   // square lead: arpeggio and vibrato
        if (row % 4 == 0) return note + " 01 .. 037";
        if (row % 4 == 2) return "... .. .. 444";
        return "... .. .. ...";
    case 1:   // sine pad: slides and tone portamento
        if (row % 8 == 0) return note + " 02 30 ...";
        if (row % 8 == 3) return "... .. .. A04";
        if (row % 8 == 4) return std::string(notes[(channel + 3) % 8]) + " .. .. 308";
        if (row % 8 == 7) return "=== .. .. ...";
        return "... .. .. ...";
    case 2:   // noise hits with volume-column changes
        if (row % 2 == 0) return std::string(row % 4 == 0 ? "C-5" : "G-5") + " 03 " + (row % 4 ? "20" : "40") + " ...";
        return "... .. .. ...";
    default:  // square bass with portamento up and down
        if (row % 4 == 0) return std::string("C-3") + " 01 .. 102";
        if (row % 4 == 2) return "... .. .. 203";
        return "... .. .. ...";
    }
}

XmPatternDesc busy_pattern(int pattern, int channels, bool with_loop) {
    std::vector<std::string> rows;
    for (int row = 0; row < 16; ++row) {
        std::string text;
        for (int c = 0; c < channels; ++c) {
            if (c) text += " | ";
            if (with_loop && c == 0 && row == 8)
                text += "... .. .. E60";
            else if (with_loop && c == 0 && row == 11)
                text += "... .. .. E61";
            else
                text += channel_cell(pattern, c, row);
        }
        rows.push_back(text);
    }
    return xm_pattern_from_text(channels, rows, 16);
}

}  // namespace

XmModuleDesc test_module_busy(int channels) {
    XmModuleDesc song;
    song.name = "busy test module";
    song.channels = static_cast<uint16_t>(channels);
    song.speed = 6;
    song.bpm = 125;
    song.instruments = {square_instrument(), sine_instrument(), noise_instrument()};
    song.patterns = {busy_pattern(0, channels, false), busy_pattern(1, channels, true),
                     busy_pattern(2, channels, false)};
    song.orders = {0, 1, 0, 2};
    return song;
}
