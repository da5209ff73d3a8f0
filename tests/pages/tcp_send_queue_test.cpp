// Sending to peers that do not read: the window and the other connections go on, the user
// is told when a peer takes nothing, and the bytes go when it reads again or fail when it
// goes. Also the page torn down in the middle of a burst of connections.
#include "pages/send/tcp_send_queue.h"

#include <thread>

#include "tests/pages/page_test_support.h"

namespace {

using Page = CTcpServerDlg;

// A large typed message: lines of 63 characters, each line break sent as CR LF.
constexpr int kLines = 4096;
constexpr std::size_t kWireSize = kLines * 65;

QString LargeMessage(char16_t letter) {
    const QString line = QString(63, QChar(letter)) + u'\n';
    return line.repeated(kLines);
}

class TcpSendQueueTest : public TcpServerPageTest {
protected:
    // Presses Send with a large message until the peer's connection holds waiting bytes;
    // returns how many messages were queued.
    std::size_t FillUntilWaiting(HTREEITEM entry, const QString& message) {
        std::size_t queued = 0;
        for (int press = 0; press < 64 && !page_->SendQueue().HasPending(Record(entry)); ++press) {
            if (page_->SendBox()->toPlainText().isEmpty())
                page_->SendBox()->setPlainText(message);
            Click(Page::kSendId);
            ++queued;
        }
        EXPECT_TRUE(page_->SendQueue().HasPending(Record(entry)));
        return queued;
    }
};

TEST_F(TcpSendQueueTest, ANeverReadingPeerFreezesNothingAndGetsItsBytesWhenItReads) {
    page_->SetSendStallTimeoutForTesting(std::chrono::milliseconds(500));
    const std::uint16_t port = CreateServer();
    LoopbackPeer stalled, other;
    const HTREEITEM s = ConnectPeer(stalled, port);
    const HTREEITEM o = ConnectPeer(other, port);
    ClickItem(s);

    const QString message = LargeMessage(u'x');
    ModalAnswer stallReport(ModalAnswer::Plan(), std::chrono::seconds(60));
    const std::size_t queued = FillUntilWaiting(s, message);

    // While bytes wait, the window works: the other connection's data arrives and a click
    // shows it.
    ASSERT_TRUE(other.Send("still served"));
    ASSERT_TRUE(WaitForReceived(o, "still served"));
    ClickItem(o);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return ReceivedText().endsWith("still served\n"); }, kWaitMs));

    // The user is told once the peer has taken nothing for the stall time.
    ASSERT_TRUE(stallReport.WaitAnswered(std::chrono::seconds(20)));
    EXPECT_EQ(stallReport.Caption(), QStringLiteral("提示"));
    EXPECT_TRUE(stallReport.Text().contains(QStringLiteral("未接收数据")))
        << stallReport.Text().toStdString();
    EXPECT_TRUE(stallReport.Text().contains(QString::number(kWireSize)));
    EXPECT_TRUE(
        QString::fromStdU16String(Record(s)->sendLog.Text()).contains(QStringLiteral("已发出")));
    EXPECT_EQ(page_->SendBox()->toPlainText(), message);  // what did not go stays

    // The peer reads again: every byte arrives, each message is logged, the box empties.
    const std::size_t total = queued * kWireSize;
    const std::string received = stalled.Receive(total, std::chrono::seconds(30));
    EXPECT_EQ(received.size(), total);
    EXPECT_EQ(received.find_first_not_of("x\r\n"), std::string::npos);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return static_cast<std::size_t>(Record(s)->sentBytes) == total; }, kWaitMs));
    EXPECT_TRUE(page_->SendBox()->toPlainText().isEmpty());
    EXPECT_FALSE(page_->SendQueue().HasPending(Record(s)));
}

TEST_F(TcpSendQueueTest, APeerClosingWhileBytesWaitEndsAsAFailedSend) {
    page_->SetSendStallTimeoutForTesting(std::chrono::seconds(60));
    const std::uint16_t port = CreateServer();
    LoopbackPeer peer;
    const HTREEITEM entry = ConnectPeer(peer, port);
    ClickItem(entry);
    const QString message = LargeMessage(u'y');
    FillUntilWaiting(entry, message);

    ModalAnswer gone;
    peer.Close();  // unread data: the page's side sees a reset
    ASSERT_TRUE(gone.WaitAnswered(std::chrono::seconds(20)));
    EXPECT_EQ(gone.Text(), QStringLiteral("对方已经断开！"));
    EXPECT_EQ(gone.Caption(), QStringLiteral("提示"));
    EXPECT_TRUE(WaitForImage(entry, kImageEntryClosed));
    EXPECT_FALSE(Enabled(Page::kDisconnectId));
    EXPECT_EQ(page_->SendBox()->toPlainText(), message);
    EXPECT_FALSE(page_->SendQueue().HasPending(Record(entry)));
}

TEST_F(TcpSendQueueTest, TearDownDuringABurstOfConnectionsLeavesNothingOpen) {
    page_.reset();
    const std::size_t openBefore = OpenSocketCount();
    for (int round = 0; round < 20; ++round) {
        page_ = std::make_unique<CTcpServerDlg>();
        page_->show();
        tree_ = page_->Tree();
        const std::uint16_t port = CreateServer();
        std::atomic<bool> stop = false;
        std::vector<std::unique_ptr<LoopbackPeer>> peers;
        std::thread burst([&] {
            for (int i = 0; i < 200 && !stop; ++i) {
                auto peer = std::make_unique<LoopbackPeer>();
                if (!peer->Connect(port))
                    break;
                peers.push_back(std::move(peer));
            }
        });
        // Some connections are announced, some are still on their way.
        EXPECT_TRUE(QTest::qWaitFor([&] { return Entries().size() >= 5; }, kWaitMs));
        page_.reset();
        stop = true;
        burst.join();
        peers.clear();
        // The page closed every handle it had before it went; an accept in flight closes its
        // own as soon as it sees the listening socket gone.
        EXPECT_TRUE(QTest::qWaitFor([&] { return OpenSocketCount() == openBefore; }, kWaitMs))
            << "round " << round << ": " << OpenSocketCount() - openBefore << " left open";
    }
}

}  // namespace
