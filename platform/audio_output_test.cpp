#include "platform/audio_output_test.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

std::mutex lock;
std::condition_variable changed;
AudioOutputTestState state{};
bool fail_open = false;
bool fail_position = false;
uint32_t position_bytes = 0;
bool thread_waiting = false;
long wait_entries = 0;   // times the thread has entered poll_wait
long permits = 0;        // polls the test has allowed
bool woken = false;

constexpr auto guard_timeout = std::chrono::seconds(10);

bool test_open() {
    std::lock_guard<std::mutex> hold(lock);
    ++state.open_calls;
    if (fail_open) return false;
    state.open = true;
    woken = false;
    return true;
}

void test_play_loop(const int16_t* ring, uint32_t bytes) {
    std::lock_guard<std::mutex> hold(lock);
    ++state.play_calls;
    state.playing = true;
    state.ring = ring;
    state.ring_bytes = bytes;
}

bool test_position(uint32_t* bytes) {
    std::lock_guard<std::mutex> hold(lock);
    ++state.position_queries;
    if (fail_position || !state.open) return false;
    *bytes = position_bytes;
    return true;
}

void test_reset() {
    std::lock_guard<std::mutex> hold(lock);
    ++state.reset_calls;
    state.playing = false;
}

void test_close() {
    std::lock_guard<std::mutex> hold(lock);
    ++state.close_calls;
    state.open = false;
}

void test_poll_wait() {
    std::unique_lock<std::mutex> hold(lock);
    ++wait_entries;
    thread_waiting = true;
    changed.notify_all();
    changed.wait(hold, [] { return woken || permits > 0; });
    if (!woken) --permits;
    thread_waiting = false;
}

void test_wake() {
    std::lock_guard<std::mutex> hold(lock);
    woken = true;
    changed.notify_all();
}

void test_raise_priority() {
    std::lock_guard<std::mutex> hold(lock);
    ++state.priority_requests;
}

const AudioOutput test_output = {test_open,      test_play_loop, test_position,
                                 test_reset,     test_close,     test_poll_wait,
                                 test_wake,      test_raise_priority};

}  // namespace

const AudioOutput* audio_output_test() { return &test_output; }

void audio_output_test_reset() {
    std::lock_guard<std::mutex> hold(lock);
    state = AudioOutputTestState{};
    fail_open = false;
    fail_position = false;
    position_bytes = 0;
    permits = 0;
    woken = false;
}

void audio_output_test_fail_open(bool fail) {
    std::lock_guard<std::mutex> hold(lock);
    fail_open = fail;
}

void audio_output_test_set_position(uint32_t bytes) {
    std::lock_guard<std::mutex> hold(lock);
    position_bytes = bytes;
}

void audio_output_test_fail_position(bool fail) {
    std::lock_guard<std::mutex> hold(lock);
    fail_position = fail;
}

bool audio_output_test_wait_idle() {
    std::unique_lock<std::mutex> hold(lock);
    return changed.wait_for(hold, guard_timeout, [] { return thread_waiting && permits == 0; });
}

bool audio_output_test_step() {
    std::unique_lock<std::mutex> hold(lock);
    if (!changed.wait_for(hold, guard_timeout, [] { return thread_waiting && permits == 0; }))
        return false;
    const long entries = wait_entries;
    ++permits;
    changed.notify_all();
    return changed.wait_for(hold, guard_timeout,
                            [entries] { return wait_entries > entries && thread_waiting; });
}

bool audio_output_test_release() {
    std::unique_lock<std::mutex> hold(lock);
    if (!changed.wait_for(hold, guard_timeout, [] { return thread_waiting && permits == 0; }))
        return false;
    ++permits;
    changed.notify_all();
    return true;
}

AudioOutputTestState audio_output_test_state() {
    std::lock_guard<std::mutex> hold(lock);
    return state;
}
