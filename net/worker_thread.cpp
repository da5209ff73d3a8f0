#include "net/worker_thread.h"

#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <new>

namespace {

// Sanitizer builds put redzones and shadow bookkeeping on the stack; give them room.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr std::size_t kWorkerStackSize = 1024 * 1024;
#else
constexpr std::size_t kWorkerStackSize = 256 * 1024;
#endif

std::atomic<int> g_failingStarts{0};  // tests: starts still to refuse

struct Launch {
    void (*run)(void*);
    void* context;
};

void* RunLaunch(void* raw) {
    const Launch launch = *static_cast<Launch*>(raw);
    delete static_cast<Launch*>(raw);
    // A worker that runs out of memory where it did not expect to ends alone; it must not
    // take the process with it.
    try {
        launch.run(launch.context);
    } catch (const std::bad_alloc&) {
    }
    return nullptr;
}

}  // namespace

void FailThreadStartsForTesting(int count) {
    g_failingStarts.store(count, std::memory_order_relaxed);
}

std::uintptr_t StartWorkerThread(void (*run)(void*), void* context) {
    for (int left = g_failingStarts.load(std::memory_order_relaxed); left > 0;) {
        if (g_failingStarts.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) {
            errno = EAGAIN;  // as pthread_create at the thread limit
            return 0;
        }
    }
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0)
        return 0;
    pthread_attr_setstacksize(&attributes, kWorkerStackSize);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    auto* launch = new (std::nothrow) Launch{run, context};
    if (launch == nullptr) {
        pthread_attr_destroy(&attributes);
        return 0;
    }
    pthread_t thread{};
    const int failed = pthread_create(&thread, &attributes, RunLaunch, launch);
    pthread_attr_destroy(&attributes);
    if (failed != 0) {
        delete launch;
        return 0;
    }
    return static_cast<std::uintptr_t>(thread);
}
