// Window messages on the Qt event loop: sends from workers are handled on the user-interface
// thread (also inside modal loops and while it waits for the connection lock), a destroyed
// window releases its senders with 0, and posted messages wait for the current event.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <map>
#include <thread>
#include <vector>

#include "net/crit_sec.h"
#include "platform/message_box.h"
#include "platform/qt_window.h"
#include "tests/support/modal_helper.h"

namespace {

constexpr UINT kDataMessage = WM_USER + 301;
constexpr UINT kPageSwitchMessage = WM_USER + 100;
constexpr int kGenerousTimeoutMs = 20000;

}  // namespace

TEST(QtMessagePump, WorkerSendRunsOnTheUserInterfaceThreadAndReturnsTheResult) {
    QWidget page;
    std::thread::id handlerThread;
    HWND window = AttachMessageWindow(&page, [&](UINT message, WPARAM wParam, LPARAM) {
        handlerThread = std::this_thread::get_id();
        return message == kDataMessage ? static_cast<LRESULT>(wParam + 1) : 0;
    });
    EXPECT_EQ(WindowHandleOf(&page), window);

    std::atomic<LRESULT> result{-1};
    std::thread worker([&] { result = SendMessageW(window, kDataMessage, 41, 0); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return result.load() != -1; }, kGenerousTimeoutMs));
    worker.join();
    EXPECT_EQ(result.load(), 42);
    EXPECT_EQ(handlerThread, std::this_thread::get_id());
}

TEST(QtMessagePump, DestroyingTheWidgetReleasesAWaitingSenderWithZero) {
    auto* page = new QWidget;
    std::atomic<bool> handled{false};
    HWND window = AttachMessageWindow(page, [&](UINT, WPARAM, LPARAM) {
        handled = true;
        return LRESULT{1};
    });

    std::atomic<LRESULT> result{-1};
    std::thread worker([&] { result = SendMessageW(window, kDataMessage, 0, 0); });
    // Wait (without running the loop) until the send is queued, then destroy the page.
    ASSERT_TRUE(WaitForSentMessages(std::chrono::milliseconds(kGenerousTimeoutMs)));
    delete page;
    worker.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_FALSE(handled.load());
    EXPECT_FALSE(IsWindow(window));
    // Later sends to the dead handle return 0 at once.
    std::thread late([&] { result = SendMessageW(window, kDataMessage, 0, 0); });
    late.join();
    EXPECT_EQ(result.load(), 0);
}

TEST(QtMessagePump, SendsAreHandledWhileAMessageBoxIsOpen) {
    QWidget page;
    std::atomic<bool> handledInsideModal{false};
    HWND window = AttachMessageWindow(&page, [&](UINT, WPARAM, LPARAM) {
        handledInsideModal = ActiveModal() != nullptr;
        // Close the box from its own loop once the worker's message got through.
        QTimer::singleShot(0, [] {
            if (QWidget* modal = ActiveModal()) {
                modal->close();
            }
        });
        return LRESULT{7};
    });

    std::atomic<LRESULT> result{-1};
    std::thread worker;
    QTimer::singleShot(0, [&] {
        worker = std::thread([&] { result = SendMessageW(window, kDataMessage, 0, 0); });
    });
    ShowMessageBox(&page, QStringLiteral("连接中"), QStringLiteral("提示"));
    worker.join();
    EXPECT_EQ(result.load(), 7);
    EXPECT_TRUE(handledInsideModal.load());
}

// A handler that opens a message box (a page reporting a notification without record) runs
// a nested loop; messages other workers send meanwhile are handled inside it, not only once
// the box is closed.
TEST(QtMessagePump, SendsAreHandledWhileAHandlerShowsAMessageBox) {
    QWidget page;
    HWND window = nullptr;
    std::atomic<LRESULT> firstResult{-1}, secondResult{-1};
    std::atomic<bool> secondHandledInsideBox{false};
    std::thread second;
    window = AttachMessageWindow(&page, [&](UINT, WPARAM wParam, LPARAM) {
        if (wParam == 1) {
            second = std::thread([&] { secondResult = SendMessageW(window, kDataMessage, 2, 0); });
            // Never left open for ever, whatever happens to the second message.
            QTimer safety;
            safety.setSingleShot(true);
            QObject::connect(&safety, &QTimer::timeout, [] {
                if (QWidget* modal = ActiveModal())
                    modal->close();
            });
            safety.start(kGenerousTimeoutMs / 2);
            ShowMessageBox(&page, QStringLiteral("pConnectInfo is null"), QStringLiteral("error!"));
            return LRESULT{1};
        }
        secondHandledInsideBox = ActiveModal() != nullptr;
        QTimer::singleShot(0, [] {
            if (QWidget* modal = ActiveModal())
                modal->close();
        });
        return LRESULT{2};
    });

    std::thread first([&] { firstResult = SendMessageW(window, kDataMessage, 1, 0); });
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return firstResult.load() != -1 && secondResult.load() != -1; },
                        kGenerousTimeoutMs * 2));
    first.join();
    if (second.joinable())
        second.join();
    EXPECT_EQ(firstResult.load(), 1);
    EXPECT_EQ(secondResult.load(), 2);
    EXPECT_TRUE(secondHandledInsideBox.load());
}

TEST(QtMessagePump, PostedMessageArrivesAfterTheCurrentEvent) {
    QWidget frame;
    std::vector<LPARAM> switches;
    HWND window = AttachMessageWindow(&frame, [&](UINT message, WPARAM, LPARAM lParam) {
        if (message == kPageSwitchMessage) {
            switches.push_back(lParam);
        }
        return lParam;
    });
    bool seenInsideEvent = true;
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(PostMessageW(window, kPageSwitchMessage, 0, 2));
        seenInsideEvent = !switches.empty();
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return !switches.empty(); }, kGenerousTimeoutMs));
    EXPECT_FALSE(seenInsideEvent);
    EXPECT_EQ(switches, std::vector<LPARAM>{2});
}

// Workers hold the connection lock while they wait for the page to handle their message;
// the page meanwhile takes the same lock to delete records. Neither side may wait for ever.
TEST(QtMessagePump, FloodOfSendsUnderTheLockWhileTheUiDeletesRecordsDoesNotDeadlock) {
    constexpr int kWorkers = 4;
    constexpr int kSendsPerWorker = 300;
    QWidget page;
    std::map<int, int> records;  // guarded by g_connectLock
    int handled = 0;
    HWND window = AttachMessageWindow(&page, [&](UINT message, WPARAM, LPARAM lParam) {
        if (message != kDataMessage) {
            return LRESULT{0};
        }
        // The sender holds g_connectLock; the handler uses the record as handed over.
        ++handled;
        records[static_cast<int>(lParam)] += 1;
        return LRESULT{1};
    });

    std::atomic<int> finished{0};
    std::atomic<int> failedSends{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back([&, w] {
            for (int i = 0; i < kSendsPerWorker; ++i) {
                CritSecGuard hold(g_connectLock);
                const int key = w * kSendsPerWorker + i;
                records[key] = 0;
                if (SendMessageW(window, kDataMessage, 0, key) != 1) {
                    ++failedSends;
                }
            }
            ++finished;
        });
    }

    // The user-interface side deletes records under the lock on every timer tick.
    int deletions = 0;
    QTimer deleter;
    QObject::connect(&deleter, &QTimer::timeout, [&] {
        UiCritSecGuard hold(g_connectLock);
        deletions += static_cast<int>(records.size());
        records.clear();
    });
    deleter.start(0);
    const bool done =
        QTest::qWaitFor([&] { return finished.load() == kWorkers; }, kGenerousTimeoutMs * 3);
    deleter.stop();
    if (!done) {
        // Keep dispatching so that the workers can end before the test reports the failure.
        (void)QTest::qWaitFor([&] { return finished.load() == kWorkers; }, kGenerousTimeoutMs);
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    ASSERT_TRUE(done) << "the workers did not get through: the pump or the lock is stuck";
    EXPECT_EQ(failedSends.load(), 0);
    EXPECT_EQ(handled, kWorkers * kSendsPerWorker);
    EXPECT_GT(deletions, 0);
}
