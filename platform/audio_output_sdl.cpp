// The output device on SDL2's audio callback. SDL converts to whatever the hardware wants;
// the callback always sees 44100 Hz, signed 16-bit, stereo.
#include <SDL.h>

#include <atomic>
#include <cstring>

#include "platform/audio_output.h"
#include "platform/thread.h"

namespace {

SDL_AudioDeviceID device = 0;
// Set under the device lock; the callback runs with that lock held.
const uint8_t* ring_bytes = nullptr;
uint32_t ring_size = 0;
// Written by the callback only; the play position is this count modulo the ring size, so
// the position the player computes always names the block being read, even across the
// 2^32 wrap (where playback jumps, exactly as the reported count does).
std::atomic<uint32_t> played{0};

void sdl_callback(void*, Uint8* stream, int len) {
    uint32_t left = static_cast<uint32_t>(len);
    if (!ring_bytes || ring_size == 0) {
        std::memset(stream, 0, left);
        return;
    }
    uint32_t count = played.load(std::memory_order_relaxed);
    while (left > 0) {
        const uint32_t offset = count % ring_size;
        uint32_t piece = ring_size - offset;
        const uint64_t to_wrap = (uint64_t{1} << 32) - count;
        if (piece > to_wrap) piece = static_cast<uint32_t>(to_wrap);
        if (piece > left) piece = left;
        std::memcpy(stream, ring_bytes + offset, piece);
        stream += piece;
        left -= piece;
        count += piece;
    }
    played.store(count, std::memory_order_release);
}

bool sdl_open() {
    if (device != 0) return true;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    SDL_AudioSpec want{};
    want.freq = 44100;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;  // a power of two keeps the dummy driver at real-time pace
    want.callback = sdl_callback;
    SDL_AudioSpec have{};
    // No allowed changes: SDL converts from exactly this format to the hardware's.
    device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    return true;
}

void sdl_play_loop(const int16_t* ring, uint32_t bytes) {
    if (device == 0) return;
    SDL_LockAudioDevice(device);
    ring_bytes = reinterpret_cast<const uint8_t*>(ring);
    ring_size = bytes & ~3u;
    played.store(0, std::memory_order_relaxed);
    SDL_UnlockAudioDevice(device);
    SDL_PauseAudioDevice(device, 0);
}

bool sdl_position(uint32_t* bytes) {
    if (device == 0) return false;
    *bytes = played.load(std::memory_order_acquire);
    return true;
}

void sdl_reset() {
    if (device == 0) return;
    SDL_PauseAudioDevice(device, 1);
    SDL_LockAudioDevice(device);
    ring_bytes = nullptr;
    ring_size = 0;
    SDL_UnlockAudioDevice(device);
}

void sdl_close() {
    if (device == 0) return;
    SDL_CloseAudioDevice(device);
    device = 0;
    ring_bytes = nullptr;
    ring_size = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void sdl_poll_wait() { platform_sleep_ms(5); }

// The 5 ms wait ends by itself soon enough.
void sdl_wake() {}

const AudioOutput sdl_output = {sdl_open,  sdl_play_loop, sdl_position,  sdl_reset,
                                sdl_close, sdl_poll_wait, sdl_wake,      platform_thread_raise_priority};

}  // namespace

const AudioOutput* audio_output_sdl() { return &sdl_output; }
