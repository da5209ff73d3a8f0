#include "net/crit_sec.h"

#include <algorithm>
#include <chrono>

#include "platform/window_messages.h"

CCritSec& g_connectLock = *new CCritSec;

bool CCritSec::TryTakeLocked() {
    const auto me = std::this_thread::get_id();
    if (depth_ == 0) {
        owner_ = me;
        depth_ = 1;
        return true;
    }
    if (owner_ == me) {
        ++depth_;
        return true;
    }
    return false;
}

void CCritSec::Enter() {
    std::unique_lock lock(mutex_);
    if (TryTakeLocked())
        return;
    ++blockedWaiters_;
    released_.wait(lock, [&] { return TryTakeLocked(); });
    --blockedWaiters_;
}

bool CCritSec::TryEnter() {
    std::lock_guard lock(mutex_);
    return TryTakeLocked();
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
    // waiter woken after another thread took the lock first waits again for that Leave.
    if (wakeOne)
        released_.notify_one();
}

void CCritSec::EnterDispatchingMessages() {
    ThreadQueue* myQueue = CurrentThreadQueue();
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (TryTakeLocked())
                return;
            dispatchingWaiters_.push_back(myQueue);
        }
        // Woken by a sent message or by Leave; a Leave between the registration above and
        // this wait leaves the queue marked woken, so nothing is missed. The time-out is
        // only a safety net.
        WaitForSentMessages(std::chrono::milliseconds(500));
        DispatchSentMessages();
        {
            std::lock_guard lock(mutex_);
            auto it = std::find(dispatchingWaiters_.begin(), dispatchingWaiters_.end(), myQueue);
            if (it != dispatchingWaiters_.end())
                dispatchingWaiters_.erase(it);
        }
    }
}
