// A seam for tests: make the next allocation at a chosen point fail, as it would when the
// process runs out of memory, without exhausting the machine. Compiled into every build and
// inert unless a test arms it (then each point costs one relaxed atomic load). Free of Qt.
#pragma once

enum class AllocationPoint {
    kReceiveThreadStart,  // a new receive thread setting itself up
    kWorkerSend,          // SendMessageW from a worker to a window of another thread
    kViewRefresh,         // a log view refreshing its text on the user-interface thread
};

// Tests, any thread: the next `count` allocations at `point` throw std::bad_alloc.
void FailNextAllocationAt(AllocationPoint point, int count = 1);
// Disarms every point.
void ResetAllocationFaults();

// Called where the point allocates: throws std::bad_alloc if a failure is armed there (and
// uses one up). Any thread.
void ReachAllocationPoint(AllocationPoint point);
