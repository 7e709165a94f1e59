// Magnitudes of the vibrato and tremolo waveforms over a cycle of 64 positions
// (-32..31). The sign of an offset comes from the sign of the position.
#pragma once
#include <cstdint>

// |sin(2 x pos x 0.049087375)| x 256 cut toward zero for |pos| = 0..16. The constant is
// a hair below a 128th of a turn, so the peak is 255 and the curve is symmetric about 16.
inline constexpr uint8_t waveform_sine_table[17] = {
    0, 25, 49, 74, 97, 120, 142, 162, 181, 197, 212, 225, 236, 244, 251, 254, 255};

inline int32_t waveform_sine_magnitude(int32_t pos) {
    int32_t a = (pos < 0 ? -pos : pos) & 31;  // the magnitude repeats every 32 positions
    if (a > 16) a = 32 - a;
    return waveform_sine_table[a];
}

// 0..248 rising over the first half, 255 down to 7 over the second.
inline int32_t waveform_ramp_magnitude(int32_t pos) { return pos >= 0 ? 8 * pos : -8 * pos - 1; }

inline int32_t waveform_square_magnitude(int32_t) { return 255; }
