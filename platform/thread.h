// Threads for the player: creation with a name, join, and the priority request.
#pragma once
#include <cstdint>

using PlatformThreadEntry = void* (*)(void* arg);

struct PlatformThread {
    uintptr_t handle;
    bool valid;
};

// Starts `entry(nullptr)` on a new thread named `name` (at most 15 characters shown).
// False, with `thread` left invalid, when no thread could be created.
bool platform_thread_create(PlatformThread* thread, PlatformThreadEntry entry, const char* name);
// Waits for the thread to end and invalidates the record; an invalid record is ignored.
void platform_thread_join(PlatformThread* thread);
// Real-time round-robin scheduling at the highest priority when the system permits it,
// otherwise the lowest nice value permitted; failures are ignored.
void platform_thread_raise_priority();
// Sleeps the calling thread for about `ms` milliseconds.
void platform_sleep_ms(int ms);
