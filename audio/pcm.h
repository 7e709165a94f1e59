// Float frames to 16-bit PCM.
#pragma once
#include <cstdint>

// Converts 2 x `frames` floats to the nearest integers (ties to even), clipped to
// -32768..32767, in order. Does nothing for frames <= 0 or a null pointer.
void float_to_pcm16(int16_t* dst, const float* src, int32_t frames);
