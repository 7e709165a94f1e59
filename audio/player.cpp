// The player's state: the start of playback, the buffers, the block filler, stopping and
// the position reads. Live playback (device and mixer thread) is in mixer_thread.cpp.
#include "audio/player.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "audio/format.h"
#include "audio/mixer.h"
#include "audio/pcm.h"
#include "audio/player_state.h"
#include "audio/voice.h"
#include "platform/audio_output.h"
#include "platform/thread.h"
#include "sequencer/channel.h"
#include "sequencer/tick_clock.h"

Voice voices[voice_count];
ChannelState channels[max_channels];
int32_t block_frames = 884;
int32_t ring_frames = 88400;
int32_t block_count = 100;
int32_t ramp_frames = 128;
float inv_ramp = 1.0f / 128.0f;
std::atomic<uint8_t> stop_request{0};
std::atomic<uint8_t> mixing_busy{0};
std::atomic<uint8_t> thread_exited{1};

Song* current_song = nullptr;
int16_t* pcm_ring = nullptr;
uint8_t* mix_buffer_allocation = nullptr;
float* mix_buffer = nullptr;
std::atomic<BlockInfo>* block_table = nullptr;
int32_t next_block_to_fill = 0;
std::atomic<int32_t> playing_block{0};
PlayerTickObserver player_tick_observer = nullptr;
const AudioOutput* open_output = nullptr;
PlatformThread mixer_thread_handle{};

void player_reset_song_state(Song* song) {
    std::memset(voices, 0, sizeof voices);
    for (int i = 0; i < voice_count; ++i) {
        voices[i].index = i;
        voices[i].step_int = 1;
    }

    song->global_volume = song->default_global_volume;
    song->next_order = -1;
    song->next_row = -1;
    song->speed = song->default_speed;
    song->row = 0;
    song->order = 0;
    song->samples_left_in_tick = 0;
    song->tick = 0;
    song->pattern_delay_ticks = 0;
    set_bpm(song, song->default_bpm);

    for (int i = 0; i < song->channel_count && i < max_channels; ++i) {
        channels[i] = ChannelState{};
        channels[i].voice = &voices[i];
    }
}

bool player_prepare(Song* song) {
    // Channel i drives voices i and i + 32: a song with more channels cannot play.
    if (song->channel_count > max_channels) return false;
    block_frames = ((mix_rate * 20 / 1000 + 3) & ~3);
    ring_frames = (ring_length_ms / 20) * block_frames * 2;
    block_count = ring_frames / block_frames;
    ramp_frames = mix_rate * 128 / 44100;
    inv_ramp = 1.0f / static_cast<float>(ramp_frames);

    player_reset_song_state(song);

    current_song = song;
    player_tick_observer = nullptr;
    block_table = new (std::nothrow) std::atomic<BlockInfo>[block_count]();
    return block_table != nullptr;
}

bool player_allocate_buffers() {
    const size_t ring_samples = static_cast<size_t>(ring_frames) * 2;
    pcm_ring = static_cast<int16_t*>(std::calloc(ring_samples, sizeof(int16_t)));
    mix_buffer_allocation =
        static_cast<uint8_t*>(std::calloc(static_cast<size_t>(ring_frames) * 8 + 256, 1));
    if (!pcm_ring || !mix_buffer_allocation) return false;
    const uintptr_t aligned = (reinterpret_cast<uintptr_t>(mix_buffer_allocation) + 15) & ~uintptr_t{15};
    mix_buffer = reinterpret_cast<float*>(aligned);
    return true;
}

void player_release() {
    stop_request.store(1);
    if (open_output) open_output->wake();
    while (mixing_busy.load()) {
    }
    if (mixer_thread_handle.valid) {
        while (!thread_exited.load()) platform_sleep_ms(1);
        platform_thread_join(&mixer_thread_handle);
    }
    std::free(mix_buffer_allocation);
    mix_buffer_allocation = nullptr;
    mix_buffer = nullptr;
    // The device reads the ring until it is reset.
    if (open_output) open_output->reset();
    std::free(pcm_ring);
    pcm_ring = nullptr;
    current_song = nullptr;
    delete[] block_table;
    block_table = nullptr;
    if (open_output) open_output->close();
    open_output = nullptr;
    next_block_to_fill = 0;
    playing_block.store(0);
}

bool player_stop(Song* song) {
    if (!song) return false;
    player_release();
    return true;
}

int32_t player_get_order(Song* song) {
    if (!song || !block_table) return 0;
    return block_table[playing_block.load()].load(std::memory_order_relaxed).order;
}

int32_t player_get_row(Song* song) {
    if (!song || !block_table) return 0;
    return block_table[playing_block.load()].load(std::memory_order_relaxed).row;
}

void fill_block() {
    Song* song = current_song;
    if (!song || !mix_buffer || !pcm_ring || !block_table) return;
    const int32_t b = next_block_to_fill;
    const int32_t first = b * block_frames;
    float* const block_start = mix_buffer + static_cast<size_t>(first) * 2;
    std::memset(block_start, 0, sizeof(float) * 2 * static_cast<size_t>(block_frames));

    int32_t left = song->samples_left_in_tick;
    int32_t done = 0;
    float* out = block_start;
    while (done < block_frames) {
        if (left <= 0) {
            const bool row_start = song->tick == 0;
            if (song->tick_handler)
                song->tick_handler(song);
            else
                song_tick(song);
            if (player_tick_observer) player_tick_observer(song, row_start);
            left = song->samples_per_tick;
            if (left < 1) left = 1;   // a tick of no frames would never end the block
        }
        int32_t chunk = left;
        if (done + chunk > block_frames) chunk = block_frames - done;
        mix_voices(out, chunk);
        done += chunk;
        left -= chunk;
        out += static_cast<size_t>(chunk) * 2;
    }
    BlockInfo info;
    info.order = static_cast<uint8_t>(song->order);
    info.row = static_cast<uint8_t>(song->row);
    block_table[b].store(info, std::memory_order_relaxed);
    song->samples_left_in_tick = left;
    float_to_pcm16(pcm_ring + static_cast<size_t>(first) * 2, block_start, block_frames);
    next_block_to_fill = b + 1 == block_count ? 0 : b + 1;
}
