// Timed sends: the dialog asked as a user would, then the sender ticking onto a real loopback
// connection; a peer that stops reading makes ticks skip, never queue twice.
#include <errno.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QLineEdit>
#include <QTest>
#include <vector>

#include "pages/dialogs/timed_send_dlg.h"
#include "pages/tools/timed_sender.h"
#include "platform/dialog_template.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/modal_helper.h"

namespace {

constexpr int kWaitMs = 10000;

// The sending end of a loopback connection whose other end is `peer`.
int ConnectedPair(LoopbackPeer& peer) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener, 1);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    EXPECT_TRUE(peer.Connect(ntohs(address.sin_port)));
    const int sending = ::accept(listener, nullptr, nullptr);
    ::close(listener);
    return sending;
}

// Message `n` of `size` bytes: its number, then filler.
std::string Numbered(int n, std::size_t size) {
    std::string message = std::to_string(1000000 + n);
    message.resize(size, '.');
    return message;
}

struct Ends {
    std::vector<TimedSender::End> ends;
    QString failure;
    explicit Ends(TimedSender& sender) {
        QObject::connect(&sender, &TimedSender::finished,
                         [this](TimedSender::End end, const QString& text) {
                             ends.push_back(end);
                             failure = text;
                         });
    }
};

TEST(TimedSendTest, TheDialogRefusesAnIntervalOutOfRangeThenSendsTheCountAsked) {
    CTimedSendDlg dialog(nullptr, RGB(232, 243, 250));
    // Out of range twice (each refused with a message, the dialog stays), then 5 ms x 100.
    ModalAnswer tooLong(ModalAnswer::TypeInto(CTimedSendDlg::kIntervalFieldId, "86400001"));
    ModalAnswer refusedLong;
    ModalAnswer zero(ModalAnswer::TypeInto(CTimedSendDlg::kIntervalFieldId, "0"));
    ModalAnswer refusedZero;
    ModalAnswer good(ModalAnswer::TypeInto(CTimedSendDlg::kIntervalFieldId, "5")
                         .TypeInto(CTimedSendDlg::kCountFieldId, "100"));
    ASSERT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(tooLong.Caption(), QStringLiteral("定时发送"));
    EXPECT_TRUE(tooLong.Text().contains(QStringLiteral("间隔(毫秒):")));
    EXPECT_EQ(refusedLong.Text(), QStringLiteral("间隔须为 1 到 86400000 毫秒！"));
    EXPECT_EQ(refusedLong.Caption(), QStringLiteral("提示"));
    EXPECT_TRUE(refusedZero.Answered());
    ASSERT_TRUE(good.Answered());
    EXPECT_EQ(dialog.IntervalMs(), 5);
    EXPECT_EQ(dialog.Count(), 100);

    LoopbackPeer peer;
    const int sock = ConnectedPair(peer);
    TimedSender sender;
    Ends ends(sender);
    int next = 0;
    sender.Start(dialog.IntervalMs(), dialog.Count(), [&] {
        const std::string message = Numbered(next++, 16);
        return ::send(sock, message.data(), message.size(), MSG_NOSIGNAL) ==
                       static_cast<ssize_t>(message.size())
                   ? SendOutcome::Sent()
                   : SendOutcome::Failed(QStringLiteral("对方已经断开！"));
    });
    EXPECT_TRUE(sender.IsRunning());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ends.ends.empty(); }, kWaitMs));
    EXPECT_EQ(ends.ends, std::vector{TimedSender::End::kCountReached});
    EXPECT_EQ(sender.SentCount(), 100);
    EXPECT_FALSE(sender.IsRunning());
    std::string expected;
    for (int n = 0; n < 100; ++n) expected += Numbered(n, 16);
    EXPECT_EQ(peer.Receive(expected.size() + 1, std::chrono::milliseconds(500)), expected);

    // The peer goes: the failure ends the run and is reported once.
    peer.Close();
    sender.Start(1, 0, [&] {
        const ssize_t sent = ::send(sock, "x", 1, MSG_NOSIGNAL);
        return sent == 1 ? SendOutcome::Sent()
                         : SendOutcome::Failed(QStringLiteral("对方已经断开！"));
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return ends.ends.size() == 2; }, kWaitMs));
    QTest::qWait(50);
    EXPECT_EQ(ends.ends.back(), TimedSender::End::kFailed);
    EXPECT_EQ(ends.ends.size(), 2u);
    EXPECT_EQ(ends.failure, QStringLiteral("对方已经断开！"));
    ::close(sock);
}

// A stand-in for the connection's send queue: one message at a time, written without
// blocking as the peer takes it.
class OneMessageQueue {
public:
    explicit OneMessageQueue(int sock) : sock_(sock) {}
    bool Busy() {
        Push();
        return !left_.empty();
    }
    void Queue(std::string message) {
        left_ = std::move(message);
        Push();
    }
    void Push() {
        while (!left_.empty()) {
            const ssize_t n =
                ::send(sock_, left_.data(), left_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n <= 0)
                return;
            left_.erase(0, static_cast<std::size_t>(n));
        }
    }

private:
    int sock_;
    std::string left_;
};

TEST(TimedSendTest, APeerThatStopsReadingMakesTicksSkipAndNothingGoesTwice) {
    constexpr std::size_t kSize = 256 * 1024;  // a few fill the connection's buffers
    LoopbackPeer peer;
    const int sock = ConnectedPair(peer);
    OneMessageQueue queue(sock);
    TimedSender sender;
    Ends ends(sender);
    int queued = 0;
    sender.Start(1, 0, [&] {
        if (queue.Busy())
            return SendOutcome::StillWaiting();
        queue.Queue(Numbered(queued++, kSize));
        return SendOutcome::Sent();
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return sender.SkippedCount() >= 50; }, kWaitMs));
    const int queuedWhileStalled = queued;
    EXPECT_LT(queuedWhileStalled, 40);  // the buffers hold a few; the rest were skipped
    sender.Stop();
    EXPECT_EQ(ends.ends, std::vector{TimedSender::End::kStopped});
    EXPECT_EQ(sender.SentCount(), queued);

    // The peer reads again: every message queued arrives once, in order, and nothing more.
    std::string received;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (received.size() < queued * kSize && std::chrono::steady_clock::now() < deadline) {
        received += peer.Receive(queued * kSize - received.size(), std::chrono::milliseconds(20));
        queue.Push();
    }
    received += peer.Receive(1, std::chrono::milliseconds(100));
    ASSERT_EQ(received.size(), queued * kSize);
    for (int n = 0; n < queued; ++n)
        ASSERT_EQ(received.compare(n * kSize, 7, std::to_string(1000000 + n)), 0) << n;
    ::close(sock);
}

}  // namespace
