// The voice mixer: adds the first 64 voices into stereo float frames.
#pragma once
#include <cstdint>

// Adds `frames` stereo frames (left first) of every playing voice into `out`.
void mix_voices(float* out, int32_t frames);
