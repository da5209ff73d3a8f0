// The user-interface thread waits for the lock while a worker holding it waits for the
// user-interface thread to handle its message: the waiting guard must run that message.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/crit_sec.h"
#include "platform/window_messages.h"

TEST(UiCritSecGuard, HandlesSentMessagesWhileWaitingForAWorkerThatHoldsTheLock) {
    CCritSec lock;
    std::atomic<int> handled = 0;
    HWND window = CreateMessageWindow([&](UINT, WPARAM, LPARAM) {
        ++handled;
        return LRESULT{1};
    });

    constexpr int kWorkers = 4;
    constexpr int kMessagesEach = 500;
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back([&] {
            for (int i = 0; i < kMessagesEach; ++i) {
                CritSecGuard guard(lock);
                SendMessageW(window, WM_USER + 301, 0, 0);
            }
        });
    }
    // The user-interface side keeps taking the lock, as a page deleting records would.
    int taken = 0;
    while (handled < kWorkers * kMessagesEach) {
        UiCritSecGuard guard(lock);
        ++taken;
        DispatchSentMessages();  // inside the lock too: re-entrancy with messages
    }
    for (auto& t : workers) t.join();
    EXPECT_EQ(handled, kWorkers * kMessagesEach);
    EXPECT_GT(taken, 0);
    DestroyMessageWindow(window);
}

TEST(CCritSec, IsReentrantForItsOwnerAndExclusiveForOthers) {
    CCritSec lock;
    lock.Enter();
    EXPECT_TRUE(lock.TryEnter());
    bool otherGotIt = true;
    std::thread other([&] { otherGotIt = lock.TryEnter(); });
    other.join();
    EXPECT_FALSE(otherGotIt);
    lock.Leave();
    lock.Leave();
    std::thread again([&] {
        otherGotIt = lock.TryEnter();
        if (otherGotIt)
            lock.Leave();
    });
    again.join();
    EXPECT_TRUE(otherGotIt);
}

TEST(CCritSec, HandsOverToEveryWaiterInTurnUnderHeavyContention) {
    // Each release wakes one waiter; none may be left asleep while the lock is free.
    CCritSec lock;
    constexpr int kThreads = 16;
    constexpr int kRounds = 2000;
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                CritSecGuard guard(lock);
                CritSecGuard again(lock);  // re-entered: one hand-over when both leave
                ++counter;
            }
        });
    }
    // The user-interface side competes too.
    for (int i = 0; i < kRounds; ++i) {
        UiCritSecGuard guard(lock);
        ++counter;
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, static_cast<long>(kThreads + 1) * kRounds);
}

TEST(CCritSec, AWaitingWindowGoesBeforeAWorkerThatWantsTheLockAgain) {
    // The test thread is the worker holding the lock; the window waits for it, and so,
    // afterwards, does another worker. The window must be next.
    CCritSec lock;
    std::mutex orderMutex;
    std::vector<std::string> order;
    const auto note = [&](const char* who) {
        std::lock_guard guard(orderMutex);
        order.push_back(who);
    };
    lock.Enter();
    std::thread window([&] {
        UiCritSecGuard guard(lock);
        note("window");
    });
    for (int i = 0; i < 10000 && !lock.WindowWaiting(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(lock.WindowWaiting());
    std::atomic<bool> workerArriving = false;
    std::thread worker([&] {
        workerArriving = true;
        CritSecGuard guard(lock);
        note("worker");
    });
    // Still held while the worker blocks on it: both wait when the lock comes free. (Well
    // below kYieldToWindowLimit, after which a worker competes anyway.)
    for (int i = 0; i < 10000 && !workerArriving; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(workerArriving);
    std::this_thread::sleep_for(CCritSec::kYieldToWindowLimit / 5);
    EXPECT_TRUE(order.empty());
    lock.Leave();
    window.join();
    worker.join();
    EXPECT_EQ(order, (std::vector<std::string>{"window", "worker"}));
    EXPECT_FALSE(lock.WindowWaiting());
}
