// Running out of memory while a view refreshes stops only that view's refresh, with a note in
// it: the program, the other view and every record's log go on, and showing an entry again
// resumes the view. The failure is injected at the views' allocation point.
#include "platform/allocation_fault.h"
#include "tests/pages/page_test_support.h"

namespace {

using Page = CTcpServerDlg;
const QString kPaused = QStringLiteral("（内存不足：此视图暂停刷新）");

class ViewRefreshShortageTest : public TcpServerPageTest {
protected:
    void TearDown() override {
        ResetAllocationFaults();
        TcpServerPageTest::TearDown();
    }
};

TEST_F(ViewRefreshShortageTest, OnlyTheViewThatNeededTheMemoryStopsRefreshing) {
    const std::uint16_t port = CreateServer();
    LoopbackPeer shown, other;
    const HTREEITEM s = ConnectPeer(shown, port);
    const HTREEITEM o = ConnectPeer(other, port);
    ClickItem(s);
    ASSERT_TRUE(shown.Send("before"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ReceivedText().endsWith("before\n"); }, kWaitMs));

    // The received view's next refresh runs out: its note, then it stays.
    FailNextAllocationAt(AllocationPoint::kViewRefresh);
    ASSERT_TRUE(shown.Send("lost for the view"));
    ASSERT_TRUE(WaitForReceived(s, "lost for the view"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ReceivedText().contains(kPaused); }, kWaitMs));
    ASSERT_TRUE(shown.Send("still logged"));
    ASSERT_TRUE(WaitForReceived(s, "still logged"));
    QTest::qWait(3 * EntryViews::kReceivedViewRefreshMs);
    EXPECT_FALSE(ReceivedText().contains("still logged"));

    // The rest goes on: the other connection logs, the sent view shows what goes.
    ASSERT_TRUE(other.Send("other side"));
    EXPECT_TRUE(WaitForReceived(o, "other side"));
    TypeIntoSendBox("answer");
    Click(Page::kSendId);
    EXPECT_EQ(shown.Receive(6), "answer");
    EXPECT_TRUE(QTest::qWaitFor([&] { return SentText().contains("answer"); }, kWaitMs));

    // The sent view runs out likewise, alone.
    FailNextAllocationAt(AllocationPoint::kViewRefresh);
    TypeIntoSendBox("second answer");
    Click(Page::kSendId);
    EXPECT_EQ(shown.Receive(13), "second answer");
    EXPECT_TRUE(QTest::qWaitFor([&] { return SentText().contains(kPaused); }, kWaitMs));
    EXPECT_FALSE(SentText().contains("second answer"));

    // Shown again: both views whole and refreshing.
    ClickItem(o);
    ClickItem(s);
    EXPECT_EQ(ReceivedText(), QString::fromStdU16String(ReceivedLog(s)));
    EXPECT_TRUE(SentText().contains("second answer"));
    EXPECT_FALSE(SentText().contains(kPaused));
    ASSERT_TRUE(shown.Send("after"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return ReceivedText().endsWith("after\n"); }, kWaitMs));
}

}  // namespace
