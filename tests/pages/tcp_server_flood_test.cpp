// A flood of several MiB into the shown entry: the view ends equal to the log.
#include <thread>

#include "tests/pages/page_test_support.h"

namespace {

TEST_F(TcpServerPageTest, FloodIntoTheShownEntryEndsWithTheViewEqualToTheLog) {
    const std::uint16_t port = CreateServer();
    LoopbackPeer peer;
    const HTREEITEM entry = ConnectPeer(peer, port);
    ClickItem(entry);

    // Printable text with line breaks (no carriage returns, which a view folds).
    constexpr std::size_t kTotal = 6 * 1024 * 1024;
    std::string data;
    data.reserve(kTotal);
    for (std::size_t i = 0; data.size() < kTotal; ++i) {
        data += "line " + std::to_string(i) + " of the flood into the shown entry\n";
    }
    data.resize(kTotal);
    std::thread sender([&] { peer.Send(data); });

    const bool allArrived = QTest::qWaitFor(
        [&] {
            UiCritSecGuard lock(g_connectLock);
            return static_cast<std::size_t>(Record(entry)->recvBytes) == kTotal;
        },
        60000);
    sender.join();
    ASSERT_TRUE(allArrived);
    // The view catches up within its refresh interval.
    const QString log = QString::fromStdU16String(ReceivedLog(entry));
    EXPECT_TRUE(QTest::qWaitFor([&] { return ReceivedText().size() == log.size(); }, kWaitMs));
    EXPECT_TRUE(ReceivedText() == log);
    QTest::qWait(20);  // the queued scroll
    const QScrollBar* bar = page_->ReceivedView()->verticalScrollBar();
    EXPECT_EQ(bar->value(), bar->maximum());
}

}  // namespace
