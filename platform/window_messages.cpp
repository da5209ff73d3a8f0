#include "platform/window_messages.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

#include "platform/allocation_fault.h"

namespace {

// A message in a flood is usually answered within microseconds; waiting that long without
// going to sleep saves the two futex round trips (sleep, wake-up) that otherwise dominate
// the cost of a synchronous message. Longer waits fall back to blocking.
constexpr auto kSpinBeforeBlocking = std::chrono::microseconds(50);

template <typename Ready>
bool SpinUntil(Ready ready, std::chrono::microseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    do {
        for (int i = 0; i < 32; ++i) {
            if (ready())
                return true;
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
        }
    } while (std::chrono::steady_clock::now() < deadline);
    return ready();
}

struct PendingSend {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    std::atomic<bool> done{false};  // set after result, read by the spinning sender
    std::mutex mutex;
    std::condition_variable finished;

    void Complete(LRESULT value) {
        std::lock_guard lock(mutex);
        result = value;
        done.store(true, std::memory_order_release);
        finished.notify_all();
    }
};

struct PostedMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

}  // namespace

// One per thread that owns windows or waits for messages.
struct ThreadQueue {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::shared_ptr<PendingSend>> sent;
    std::deque<PostedMessage> posted;
    bool woken = false;
    // Shared, so that taking a copy to run it outside the mutex allocates nothing.
    std::shared_ptr<const std::function<void()>> waker;

    // Caller holds no lock. Runs the waker outside the queue's mutex so that it may post
    // events or take other locks freely. False when the waker ran out of memory: the
    // owning thread's event loop may then not look at the queue until something else
    // wakes it.
    bool Notify() {
        std::shared_ptr<const std::function<void()>> wakerCopy;
        {
            std::lock_guard lock(mutex);
            wakerCopy = waker;
        }
        changed.notify_all();
        if (!wakerCopy)
            return true;
        try {
            (*wakerCopy)();
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }
};

namespace {

struct WindowEntry {
    std::shared_ptr<ThreadQueue> owner;
    std::shared_ptr<MessageHandler> handler;
};

// Guards the window registry. Lock order: registry before any ThreadQueue::mutex.
// Never destroyed: detached workers may still send messages while the process exits.
std::mutex& RegistryMutex() {
    static std::mutex& m = *new std::mutex;
    return m;
}
std::unordered_map<std::uintptr_t, WindowEntry>& Registry() {
    static auto& windows = *new std::unordered_map<std::uintptr_t, WindowEntry>;
    return windows;
}
std::uintptr_t g_nextWindowId = 1;  // guarded by RegistryMutex

// The calling thread's queue, null until the thread owns a window or waits for messages. A
// plain pointer: a worker that only sends must not get a thread-local object with a
// destructor, since registering one takes memory and glibc ends the process when there is
// none.
thread_local ThreadQueue* t_queue = nullptr;

// Keeps a thread's queue while the thread lives (its windows keep it after that).
struct QueueKeeper {
    std::shared_ptr<ThreadQueue> queue;
    ~QueueKeeper() { t_queue = nullptr; }
};

// The calling thread's queue, made on first use. Only threads that own windows or wait for
// messages (the user-interface thread, tests) come here, never a worker that only sends.
std::shared_ptr<ThreadQueue> OwnQueue() {
    thread_local QueueKeeper keeper;
    if (!keeper.queue) {
        keeper.queue = std::make_shared<ThreadQueue>();
        t_queue = keeper.queue.get();
    }
    return keeper.queue;
}

std::uintptr_t Key(HWND window) {
    return reinterpret_cast<std::uintptr_t>(window);
}

std::shared_ptr<MessageHandler> FindHandler(HWND window) {
    std::lock_guard lock(RegistryMutex());
    auto it = Registry().find(Key(window));
    return it == Registry().end() ? nullptr : it->second.handler;
}

}  // namespace

ThreadQueue* CurrentThreadQueue() {
    return OwnQueue().get();
}

HWND CreateMessageWindow(MessageHandler handler) {
    std::lock_guard lock(RegistryMutex());
    const std::uintptr_t id = g_nextWindowId++;
    Registry()[id] = WindowEntry{OwnQueue(), std::make_shared<MessageHandler>(std::move(handler))};
    return reinterpret_cast<HWND>(id);
}

void DestroyMessageWindow(HWND window) {
    std::shared_ptr<ThreadQueue> owner;
    {
        std::lock_guard lock(RegistryMutex());
        auto it = Registry().find(Key(window));
        if (it == Registry().end())
            return;
        owner = it->second.owner;
        Registry().erase(it);
    }
    // Release every sender still waiting on this window, and drop its posts.
    std::deque<std::shared_ptr<PendingSend>> released;
    {
        std::lock_guard lock(owner->mutex);
        for (auto it = owner->sent.begin(); it != owner->sent.end();) {
            if ((*it)->window == window) {
                released.push_back(*it);
                it = owner->sent.erase(it);
            } else {
                ++it;
            }
        }
        std::erase_if(owner->posted, [&](const PostedMessage& m) { return m.window == window; });
    }
    for (auto& send : released) send->Complete(0);
}

bool IsWindow(HWND window) {
    return FindHandler(window) != nullptr;
}

bool TrySendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    std::shared_ptr<ThreadQueue> owner;
    std::shared_ptr<MessageHandler> sameThreadHandler;
    std::shared_ptr<PendingSend> send;
    try {
        std::lock_guard lock(RegistryMutex());
        auto it = Registry().find(Key(window));
        if (it == Registry().end())
            return true;
        if (it->second.owner.get() == t_queue) {
            sameThreadHandler = it->second.handler;
        } else {
            ReachAllocationPoint(AllocationPoint::kWorkerSend);
            owner = it->second.owner;
            send = std::make_shared<PendingSend>();
            send->window = window;
            send->message = message;
            send->wParam = wParam;
            send->lParam = lParam;
            // Queued while the registry lock is held, so a concurrent destroy either sees
            // it in the queue and releases it, or happened before and we returned above.
            std::lock_guard queueLock(owner->mutex);
            owner->sent.push_back(send);
        }
    } catch (const std::bad_alloc&) {
        return false;  // nothing was queued
    }
    // Same thread: a plain call, as on Windows.
    if (sameThreadHandler) {
        result = (*sameThreadHandler)(message, wParam, lParam);
        return true;
    }

    if (!owner->Notify()) {
        // The owning thread might never look: take the message back, unless that thread
        // has taken it already (then it runs, and the wait below ends).
        std::lock_guard lock(owner->mutex);
        const auto queued = std::find(owner->sent.begin(), owner->sent.end(), send);
        if (queued != owner->sent.end()) {
            owner->sent.erase(queued);
            return false;
        }
    }
    if (!SpinUntil([&] { return send->done.load(std::memory_order_acquire); },
                   kSpinBeforeBlocking)) {
        std::unique_lock lock(send->mutex);
        send->finished.wait(lock, [&] { return send->done.load(); });
    }
    std::lock_guard lock(send->mutex);
    result = send->result;
    return true;
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    TrySendMessageW(window, message, wParam, lParam, result);
    return result;
}

bool PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<ThreadQueue> owner;
    try {
        std::lock_guard lock(RegistryMutex());
        auto it = Registry().find(Key(window));
        if (it == Registry().end())
            return false;
        owner = it->second.owner;
        std::lock_guard queueLock(owner->mutex);
        owner->posted.push_back(PostedMessage{window, message, wParam, lParam});
    } catch (const std::bad_alloc&) {
        return false;
    }
    // Should the wake fail, the message waits for the next one.
    owner->Notify();
    return true;
}

int DispatchSentMessages() {
    ThreadQueue& queue = *OwnQueue();
    int count = 0;
    for (;;) {
        std::shared_ptr<PendingSend> send;
        {
            std::lock_guard lock(queue.mutex);
            if (queue.sent.empty())
                break;
            send = queue.sent.front();
            queue.sent.pop_front();
        }
        auto handler = FindHandler(send->window);
        send->Complete(handler ? (*handler)(send->message, send->wParam, send->lParam) : 0);
        ++count;
    }
    return count;
}

int DispatchPostedMessages() {
    ThreadQueue& queue = *OwnQueue();
    std::deque<PostedMessage> batch;
    {
        std::lock_guard lock(queue.mutex);
        batch.swap(queue.posted);
    }
    int count = 0;
    for (const PostedMessage& m : batch) {
        // A window destroyed by an earlier message of the batch gets nothing.
        if (auto handler = FindHandler(m.window)) {
            (*handler)(m.message, m.wParam, m.lParam);
            ++count;
        }
    }
    return count;
}

bool WaitForSentMessages(std::chrono::microseconds timeout) {
    // Blocks at once: the waiting thread is the user-interface thread, and spinning there
    // cost it a tenth of its time under a flood.
    ThreadQueue& queue = *OwnQueue();
    std::unique_lock lock(queue.mutex);
    const bool ready =
        queue.changed.wait_for(lock, timeout, [&] { return !queue.sent.empty() || queue.woken; });
    queue.woken = false;
    return ready;
}

void WakeThread(ThreadQueue* queue) {
    {
        std::lock_guard lock(queue->mutex);
        queue->woken = true;
    }
    queue->Notify();
}

void SetThreadQueueWaker(std::function<void()> waker) {
    std::shared_ptr<const std::function<void()>> shared;
    if (waker)
        shared = std::make_shared<const std::function<void()>>(std::move(waker));
    ThreadQueue& queue = *OwnQueue();
    std::lock_guard lock(queue.mutex);
    queue.waker = std::move(shared);
}
