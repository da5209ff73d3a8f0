#include "platform/allocation_fault.h"

#include <atomic>
#include <new>

namespace {

constexpr int kPointCount = 3;
std::atomic<int> g_armed[kPointCount];  // failures still to inject, per point
std::atomic<bool> g_anyArmed{false};    // the fast path: nothing armed anywhere

std::atomic<int>& Armed(AllocationPoint point) {
    return g_armed[static_cast<int>(point)];
}

}  // namespace

void FailNextAllocationAt(AllocationPoint point, int count) {
    Armed(point).fetch_add(count, std::memory_order_relaxed);
    g_anyArmed.store(true, std::memory_order_release);
}

void ResetAllocationFaults() {
    for (auto& armed : g_armed) armed.store(0, std::memory_order_relaxed);
    g_anyArmed.store(false, std::memory_order_release);
}

void ReachAllocationPoint(AllocationPoint point) {
    if (!g_anyArmed.load(std::memory_order_acquire))
        return;
    std::atomic<int>& armed = Armed(point);
    int left = armed.load(std::memory_order_relaxed);
    while (left > 0) {
        if (armed.compare_exchange_weak(left, left - 1, std::memory_order_relaxed))
            throw std::bad_alloc();
    }
}
