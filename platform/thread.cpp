#include "platform/thread.h"

#include <cerrno>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

static_assert(sizeof(pthread_t) <= sizeof(uintptr_t), "pthread_t must fit the handle");

bool platform_thread_create(PlatformThread* thread, PlatformThreadEntry entry, const char* name) {
    thread->handle = 0;
    thread->valid = false;
    pthread_t id;
    if (pthread_create(&id, nullptr, entry, nullptr) != 0) return false;
    if (name) pthread_setname_np(id, name);
    thread->handle = static_cast<uintptr_t>(id);
    thread->valid = true;
    return true;
}

void platform_thread_join(PlatformThread* thread) {
    if (!thread->valid) return;
    pthread_join(static_cast<pthread_t>(thread->handle), nullptr);
    thread->valid = false;
    thread->handle = 0;
}

void platform_thread_raise_priority() {
    sched_param param{};
    param.sched_priority = sched_get_priority_max(SCHED_RR);
    if (param.sched_priority >= 0 && pthread_setschedparam(pthread_self(), SCHED_RR, &param) == 0)
        return;
    // Not permitted: take the best nice value this process may use for this thread alone.
    const id_t tid = static_cast<id_t>(syscall(SYS_gettid));
    for (int nice = -20; nice < 0; ++nice)
        if (setpriority(PRIO_PROCESS, tid, nice) == 0) return;
}

void platform_sleep_ms(int ms) {
    timespec ts{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}
