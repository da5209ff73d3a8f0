// The Qt-free message layer: sends across threads, destroyed windows, posts.
#include "platform/window_messages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/allocation_fault.h"

using namespace std::chrono_literals;

namespace {

// Runs sent messages on the calling thread until `done` is set (bounded by time).
void PumpUntil(const std::atomic<bool>& done, std::chrono::seconds limit = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done && std::chrono::steady_clock::now() < deadline) {
        WaitForSentMessages(50ms);
        DispatchSentMessages();
    }
}

}  // namespace

TEST(WindowMessages, SendFromWorkerRunsOnOwnerThreadAndReturnsResult) {
    const auto ownerThread = std::this_thread::get_id();
    std::thread::id handlerThread;
    HWND window = CreateMessageWindow([&](UINT message, WPARAM wParam, LPARAM lParam) {
        handlerThread = std::this_thread::get_id();
        return static_cast<LRESULT>(message + wParam + lParam);
    });
    std::atomic<bool> done = false;
    LRESULT result = 0;
    std::thread worker([&] {
        result = SendMessageW(window, WM_USER + 1, 2, 3);
        done = true;
    });
    PumpUntil(done);
    worker.join();
    EXPECT_EQ(result, static_cast<LRESULT>(WM_USER + 6));
    EXPECT_EQ(handlerThread, ownerThread);
    DestroyMessageWindow(window);
}

TEST(WindowMessages, DestroyedWindowReleasesWaitingSenderAndLaterSendsReturnZero) {
    int calls = 0;
    HWND window = CreateMessageWindow([&](UINT, WPARAM, LPARAM) {
        ++calls;
        return LRESULT{7};
    });
    std::atomic<bool> queued = false;
    LRESULT result = -1;
    std::thread worker([&] {
        queued = true;
        result = SendMessageW(window, WM_USER, 0, 0);
    });
    // Wait until the send is queued for us, then destroy instead of handling it.
    ASSERT_TRUE(WaitForSentMessages(10s));
    DestroyMessageWindow(window);
    worker.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(SendMessageW(window, WM_USER, 0, 0), 0);
    EXPECT_FALSE(PostMessageW(window, WM_USER, 0, 0));
}

TEST(WindowMessages, PostedMessagesRunOnlyFromTheLoopInOrder) {
    std::vector<WPARAM> seen;
    HWND window = CreateMessageWindow([&](UINT, WPARAM wParam, LPARAM) {
        seen.push_back(wParam);
        return LRESULT{0};
    });
    ASSERT_TRUE(PostMessageW(window, WM_USER + 100, 1, 0));
    ASSERT_TRUE(PostMessageW(window, WM_USER + 100, 2, 0));
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(DispatchSentMessages(), 0);  // waiting for a lock never runs posts
    EXPECT_EQ(DispatchPostedMessages(), 2);
    EXPECT_EQ(seen, (std::vector<WPARAM>{1, 2}));
    DestroyMessageWindow(window);
}

TEST(WindowMessages, HandlesAreNeverReused) {
    HWND first = CreateMessageWindow([](UINT, WPARAM, LPARAM) { return LRESULT{1}; });
    DestroyMessageWindow(first);
    HWND second = CreateMessageWindow([](UINT, WPARAM, LPARAM) { return LRESULT{2}; });
    EXPECT_NE(first, second);
    EXPECT_EQ(SendMessageW(first, WM_USER, 0, 0), 0);
    EXPECT_EQ(SendMessageW(second, WM_USER, 0, 0), 2);
    DestroyMessageWindow(second);
}

// A worker whose send runs out of memory on the way is told so, the handler does not run,
// and the window's thread and later sends go on as before; a plain SendMessageW never throws.
TEST(WindowMessages, ASendThatRunsOutOfMemoryFailsAloneAndCleanly) {
    int calls = 0;
    HWND window = CreateMessageWindow([&](UINT, WPARAM wParam, LPARAM) {
        ++calls;
        return static_cast<LRESULT>(wParam);
    });
    std::atomic<bool> done = false;
    bool failed = false, later = false;
    LRESULT failedResult = -1, laterResult = 0, plainResult = -1;
    std::thread worker([&] {
        FailNextAllocationAt(AllocationPoint::kWorkerSend);
        failed = !TrySendMessageW(window, WM_USER, 1, 0, failedResult);
        FailNextAllocationAt(AllocationPoint::kWorkerSend);
        plainResult = SendMessageW(window, WM_USER, 3, 0);  // no exception leaves it
        later = TrySendMessageW(window, WM_USER, 2, 0, laterResult);
        done = true;
    });
    PumpUntil(done);
    worker.join();
    ResetAllocationFaults();
    EXPECT_TRUE(failed);
    EXPECT_EQ(failedResult, 0);
    EXPECT_EQ(plainResult, 0);
    EXPECT_TRUE(later);
    EXPECT_EQ(laterResult, 2);
    EXPECT_EQ(calls, 1);                   // only the send that got through
    EXPECT_EQ(DispatchSentMessages(), 0);  // nothing withdrawn is left behind
    DestroyMessageWindow(window);
}
