// Live playback: choosing and opening the output device, the prefill, and the mixer thread
// that keeps the ring one turn ahead of the device. Kept apart from the block ring so that
// offline rendering links no device code.
#include <cstdint>

#include "audio/player.h"
#include "audio/player_state.h"
#include "platform/audio_output.h"
#include "platform/thread.h"

namespace {

const AudioOutput* selected_output = nullptr;   // null: the SDL device

const AudioOutput* player_output() {
    return selected_output ? selected_output : audio_output_sdl();
}

void* mixer_thread_entry(void* arg) {
    mixer_thread(arg);
    return nullptr;
}

}  // namespace

void player_set_output(const AudioOutput* output) { selected_output = output; }

bool player_start(Song* song) {
    if (!song) return false;
    player_stop(song);
    if (!stream_callbacks_installed()) return false;
    if (!player_prepare(song)) {
        player_release();
        return false;
    }
    const AudioOutput* output = player_output();
    if (!output->open()) return false;   // the table stays, reading 0/0, until the stop
    open_output = output;
    if (!player_allocate_buffers()) {
        player_release();
        return false;
    }
    do {
        fill_block();
    } while (next_block_to_fill != 0);
    output->play_loop(pcm_ring, static_cast<uint32_t>(ring_frames) * 4);

    stop_request.store(0);
    // A created thread counts as running until its last action.
    thread_exited.store(0);
    if (!platform_thread_create(&mixer_thread_handle, mixer_thread_entry, "wq-mixer")) {
        thread_exited.store(1);
        player_release();
        return false;
    }
    return true;
}


int mixer_thread(void*) {
    thread_exited.store(0);
    const AudioOutput* output = open_output;
    output->raise_priority();
    const uint32_t ring = static_cast<uint32_t>(ring_frames);
    const uint32_t block = static_cast<uint32_t>(block_frames);
    while (!stop_request.load()) {
        uint32_t bytes = 0;
        // Without a position, keep the last one: never fill a block that may be playing.
        if (output->position(&bytes)) {
            const int32_t device_block = static_cast<int32_t>((bytes / 4) % ring / block);
            while (next_block_to_fill != device_block && !stop_request.load()) {
                mixing_busy.store(1);
                const int32_t next = playing_block.load() + 1;
                playing_block.store(next == block_count ? 0 : next);
                fill_block();
                mixing_busy.store(0);
            }
        }
        output->poll_wait();
    }
    thread_exited.store(1);
    return 0;
}

