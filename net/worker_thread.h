// Detached worker threads with a small stack, so that ten thousand connections fit.
#pragma once

#include <cstdint>
#include <new>

// Starts run(context) on a new detached thread with a 256 KiB stack. Returns the thread's
// handle value (nothing waits on it), or 0 if the system could not start a thread (its
// thread limit, or memory). A std::bad_alloc that leaves run ends that thread only.
std::uintptr_t StartWorkerThread(void (*run)(void*), void* context);

// Tests: the next `count` starts fail as at the system's thread limit (0 undoes it).
void FailThreadStartsForTesting(int count);

// Typed form for the engine's entry points: entry(param) runs on the new thread. On
// failure (0) the caller still owns `param`.
template <typename Param>
std::uintptr_t StartWorkerThread(void (*entry)(Param*), Param* param) {
    struct Start {
        void (*entry)(Param*);
        Param* param;
    };
    auto* start = new (std::nothrow) Start{entry, param};
    if (start == nullptr)
        return 0;
    const std::uintptr_t handle = StartWorkerThread(
        [](void* context) {
            const Start copy = *static_cast<Start*>(context);
            delete static_cast<Start*>(context);
            copy.entry(copy.param);
        },
        start);
    if (handle == 0)
        delete start;
    return handle;
}
