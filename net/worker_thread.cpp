#include "net/worker_thread.h"

#include <pthread.h>

#include <cstddef>

namespace {

// Sanitizer builds put redzones and shadow bookkeeping on the stack; give them room.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr std::size_t kWorkerStackSize = 1024 * 1024;
#else
constexpr std::size_t kWorkerStackSize = 256 * 1024;
#endif

struct Launch {
    void (*run)(void*);
    void* context;
};

void* RunLaunch(void* raw) {
    const Launch launch = *static_cast<Launch*>(raw);
    delete static_cast<Launch*>(raw);
    launch.run(launch.context);
    return nullptr;
}

}  // namespace

std::uintptr_t StartWorkerThread(void (*run)(void*), void* context) {
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0)
        return 0;
    pthread_attr_setstacksize(&attributes, kWorkerStackSize);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    auto* launch = new Launch{run, context};
    pthread_t thread{};
    const int failed = pthread_create(&thread, &attributes, RunLaunch, launch);
    pthread_attr_destroy(&attributes);
    if (failed != 0) {
        delete launch;
        return 0;
    }
    return static_cast<std::uintptr_t>(thread);
}
