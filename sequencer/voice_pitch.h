// The two halves of a pitch transfer: period to frequency, frequency to play step.
#pragma once
#include <cstdint>
#include "audio/voice.h"

// Frequency in Hz of period + period_delta (summed in 64 bits) for the song's table.
// The Amiga sum must not be 0. Linear frequencies beyond 32 bits are held at INT32_MAX.
int32_t voice_frequency(int64_t pitch_period, bool linear);
// The 32.32 play step of a frequency at the output rate, with a floor of 100 Hz.
void voice_set_step(Voice* voice, int32_t frequency);
