#include "support/owned_sample.h"

#include <algorithm>

OwnedSample::OwnedSample(const std::vector<int16_t>& frames, uint8_t mode, uint32_t loop_start,
                         uint32_t loop_length) {
    const auto length = static_cast<uint32_t>(frames.size());
    sample.length = length;
    sample.bits = 16;
    sample.loop_mode = mode;
    // Without a loop the loader plays the whole sample.
    sample.loop_start = mode == loop_mode_none ? 0 : loop_start;
    sample.loop_length = mode == loop_mode_none ? length : loop_length;
    if (length == 0) return;
    sample.data = sample_data_alloc(length);
    std::copy(frames.begin(), frames.end(), sample.data);
    sample_write_guard_frame(&sample);
}

OwnedSample::~OwnedSample() { sample_data_free(sample.data); }
