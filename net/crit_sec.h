// The program's one lock and its holders.
//
// CCritSec is re-entrant for the thread that holds it. Worker threads take it with
// CritSecGuard. The user-interface thread takes it with UiCritSecGuard: a worker may
// hold the lock while it waits, inside SendMessageW, for a page on the user-interface
// thread to handle a notification, so the user-interface thread must keep handling the
// messages sent to its windows while it waits for the lock, or both would wait for ever.
//
// The window comes first: while the user-interface thread waits for the lock, workers that
// want it (again) wait behind it, for a bounded time, so that a command such as Delete is
// not held off by a flood on many connections whose workers keep taking the lock in turn.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

struct ThreadQueue;

class CCritSec {
public:
    CCritSec() = default;
    virtual ~CCritSec() = default;
    CCritSec(const CCritSec&) = delete;
    CCritSec& operator=(const CCritSec&) = delete;

    void Enter();
    void Leave();
    bool TryEnter();
    // Enter, running the messages other threads send to the calling thread's windows
    // for as long as another thread holds the lock. For the user-interface thread.
    void EnterDispatchingMessages();

    bool IsHeldByCurrentThread();

    // True while a thread waits in EnterDispatchingMessages. A hint for a holder working
    // through a batch: it ends the batch early and lets go. Any thread, no lock taken.
    bool WindowWaiting() const { return windowWaiters_.load(std::memory_order_relaxed) > 0; }

    // How long a worker waits behind a waiting user-interface thread before it competes
    // for the lock anyway (a window that takes longer is busy elsewhere, for instance in a
    // modal loop run by a handler, and must not stop every worker).
    static constexpr std::chrono::milliseconds kYieldToWindowLimit{100};

private:
    std::mutex mutex_;
    std::condition_variable released_;
    std::thread::id owner_;
    int depth_ = 0;
    // Workers parked in Enter. Leave hands the lock to one of them at a time: waking them
    // all would have every worker of a mass close fight for it after each release.
    int blockedWaiters_ = 0;
    // Threads parked in EnterDispatchingMessages; Leave wakes their message queues. While
    // there is one, a free lock is theirs: workers entering afresh wait (see Enter).
    std::vector<ThreadQueue*> dispatchingWaiters_;
    std::atomic<int> windowWaiters_{0};  // dispatchingWaiters_.size(), readable without mutex_

    // Caller holds mutex_. Takes the lock if free (and, with `yieldToWindow`, not reserved
    // for a waiting user-interface thread) or held by the caller.
    bool TryTakeLocked(bool yieldToWindow);
};

// Worker-side scoped holder: enters in the constructor, leaves in the destructor.
class CritSecGuard {
public:
    explicit CritSecGuard(CCritSec& lock) : lock_(lock) { lock_.Enter(); }
    ~CritSecGuard() { lock_.Leave(); }
    CritSecGuard(const CritSecGuard&) = delete;
    CritSecGuard& operator=(const CritSecGuard&) = delete;

private:
    CCritSec& lock_;
};

// User-interface-side scoped holder: while waiting it keeps handling the messages that
// workers send to this thread's windows (see the file comment). Every place where
// user-interface code takes g_connectLock uses this guard.
class UiCritSecGuard {
public:
    explicit UiCritSecGuard(CCritSec& lock) : lock_(lock) { lock_.EnterDispatchingMessages(); }
    ~UiCritSecGuard() { lock_.Leave(); }
    UiCritSecGuard(const UiCritSecGuard&) = delete;
    UiCritSecGuard& operator=(const UiCritSecGuard&) = delete;

private:
    CCritSec& lock_;
};

// Guards every ConnectMap and the fields of registered records that workers change.
// Never destroyed: detached workers may still leave it while the process exits.
extern CCritSec& g_connectLock;
