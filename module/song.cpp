#include "module/song.h"

#include <cstdlib>

Sample silent_sample;
Instrument empty_instrument;

namespace {
// Zero frames kept in front of frame 0: interpolation just below the start reads silence.
// Eight frames keep frame 0 as aligned as the allocation itself.
constexpr size_t front_frames = 8;
constexpr size_t tail_frames = 8;
}

int16_t* sample_data_alloc(uint32_t length) {
    size_t frames = front_frames + static_cast<size_t>(length) + tail_frames;
    auto* block = static_cast<int16_t*>(std::calloc(frames, sizeof(int16_t)));
    return block ? block + front_frames : nullptr;
}

void sample_data_free(int16_t* data) {
    if (data) std::free(data - front_frames);
}

void sample_write_guard_frame(Sample* sample) {
    if (sample->data == nullptr) return;
    const uint32_t guard = sample->loop_start + sample->loop_length;
    if (sample->loop_mode == loop_mode_forward) sample->data[guard] = sample->data[sample->loop_start];
    if (sample->loop_mode == loop_mode_pingpong) sample->data[guard] = sample->data[guard - 1];
}
