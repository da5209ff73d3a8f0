#include "net/crit_sec.h"

#include <algorithm>

#include "platform/window_messages.h"

CCritSec& g_connectLock = *new CCritSec;

bool CCritSec::TryTakeLocked(bool yieldToWindow) {
    const auto me = std::this_thread::get_id();
    if (depth_ > 0) {
        if (owner_ != me)
            return false;
        ++depth_;
        return true;
    }
    if (yieldToWindow && !dispatchingWaiters_.empty())
        return false;
    owner_ = me;
    depth_ = 1;
    return true;
}

// Any thread but a waiting user-interface thread's. Behind a waiting user-interface thread
// for at most kYieldToWindowLimit, then in turn with everyone else.
void CCritSec::Enter() {
    std::unique_lock lock(mutex_);
    if (TryTakeLocked(true))
        return;
    ++blockedWaiters_;
    const auto yieldUntil = std::chrono::steady_clock::now() + kYieldToWindowLimit;
    if (!released_.wait_until(lock, yieldUntil, [&] { return TryTakeLocked(true); }))
        released_.wait(lock, [&] { return TryTakeLocked(false); });
    --blockedWaiters_;
}

bool CCritSec::TryEnter() {
    std::lock_guard lock(mutex_);
    return TryTakeLocked(false);
}

bool CCritSec::IsHeldByCurrentThread() {
    std::lock_guard lock(mutex_);
    return depth_ > 0 && owner_ == std::this_thread::get_id();
}

void CCritSec::Leave() {
    bool wakeOne = false;
    {
        std::lock_guard lock(mutex_);
        if (depth_ == 0 || owner_ != std::this_thread::get_id())
            return;  // not ours
        if (--depth_ > 0)
            return;
        owner_ = std::thread::id();
        // Woken while mutex_ is held: a queue in the list belongs to a thread still inside
        // EnterDispatchingMessages, so it cannot have ended and freed its queue meanwhile.
        for (ThreadQueue* queue : dispatchingWaiters_) WakeThread(queue);
        wakeOne = blockedWaiters_ > 0;
    }
    // One waiter is enough: whoever takes the lock wakes the next one when it leaves. A
    // waiter woken after another thread took the lock first waits again for that Leave; a
    // worker woken while a user-interface thread waits goes back to sleep until that
    // thread has had its turn (or the yield limit passed).
    if (wakeOne)
        released_.notify_one();
}

// The user-interface thread. Registered as waiting from the first failed try until it holds
// the lock, so that no worker takes the lock from under it in between.
void CCritSec::EnterDispatchingMessages() {
    ThreadQueue* myQueue = CurrentThreadQueue();
    {
        std::lock_guard lock(mutex_);
        if (TryTakeLocked(false))
            return;
        dispatchingWaiters_.push_back(myQueue);
        windowWaiters_.fetch_add(1, std::memory_order_relaxed);
    }
    for (;;) {
        // Woken by a sent message or by Leave; a Leave before this wait leaves the queue
        // marked woken, so nothing is missed. The time-out is only a safety net.
        WaitForSentMessages(std::chrono::milliseconds(500));
        DispatchSentMessages();
        bool taken = false;
        {
            std::lock_guard lock(mutex_);
            taken = TryTakeLocked(false);
            if (taken) {
                auto it =
                    std::find(dispatchingWaiters_.begin(), dispatchingWaiters_.end(), myQueue);
                if (it != dispatchingWaiters_.end())
                    dispatchingWaiters_.erase(it);
                windowWaiters_.fetch_sub(1, std::memory_order_relaxed);
            }
        }
        if (taken)
            return;
    }
}
