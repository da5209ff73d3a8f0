// The program's one lock and its holders.
//
// CCritSec is re-entrant for the thread that holds it. Worker threads take it with
// CritSecGuard. The user-interface thread takes it with UiCritSecGuard: a worker may
// hold the lock while it waits, inside SendMessageW, for a page on the user-interface
// thread to handle a notification, so the user-interface thread must keep handling the
// messages sent to its windows while it waits for the lock, or both would wait for ever.
#pragma once

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

private:
    std::mutex mutex_;
    std::condition_variable released_;
    std::thread::id owner_;
    int depth_ = 0;
    // Workers parked in Enter. Leave hands the lock to one of them at a time: waking them
    // all would have every worker of a mass close fight for it after each release.
    int blockedWaiters_ = 0;
    // Threads parked in EnterDispatchingMessages; Leave wakes their message queues.
    std::vector<ThreadQueue*> dispatchingWaiters_;

    bool TryTakeLocked();  // caller holds mutex_
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
