// The fixed output format and the sizes derived from it.
#pragma once
#include <cstdint>

constexpr int32_t mix_rate = 44100;        // frames per second
constexpr int32_t ring_length_ms = 1000;   // the ring holds twice this
