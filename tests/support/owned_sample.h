// A sample laid out as the loader leaves it (guard frame at the loop end, zeros after),
// from frames given by the test; it owns its data.
#pragma once
#include <cstdint>
#include <vector>

#include "module/song.h"

struct OwnedSample {
    Sample sample{};
    OwnedSample(const std::vector<int16_t>& frames, uint8_t mode, uint32_t loop_start,
                uint32_t loop_length);
    ~OwnedSample();
    OwnedSample(const OwnedSample&) = delete;
    OwnedSample& operator=(const OwnedSample&) = delete;
};
