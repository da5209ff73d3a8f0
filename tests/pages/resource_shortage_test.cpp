// The system short of memory or threads, injected at each point where that used to stop the
// program or mislead the user: only what needed the resource stops, says so, and the other
// connections go on logging.
#include "net/unserved_record.h"
#include "net/worker_thread.h"
#include "pages/dialogs/set_udp_server_ip.h"
#include "pages/udp_client_page.h"
#include "platform/allocation_fault.h"
#include "tests/pages/page_test_support.h"
#include "tests/pages/udp_page_test_support.h"

namespace {

using Page = CTcpServerDlg;

class ResourceShortageTest : public TcpServerPageTest {
protected:
    void TearDown() override {
        ResetAllocationFaults();
        FailThreadStartsForTesting(0);
        TcpServerPageTest::TearDown();
    }
    static std::string Note() {
        return QString::fromStdU16String(std::u16string(ReceiveNotStartedNote())).toStdString();
    }
    bool Stopped(HTREEITEM item) {
        UiCritSecGuard lock(g_connectLock);
        return Record(item)->recvLog.Stopped();
    }
};

TEST_F(ResourceShortageTest, OnlyTheConnectionThatNeededTheMemoryOrThreadStops) {
    const std::uint16_t port = CreateServer();
    LoopbackPeer a, b;
    const HTREEITEM ea = ConnectPeer(a, port);
    const HTREEITEM eb = ConnectPeer(b, port);
    ClickItem(eb);

    // A worker's notification cannot be had: that connection's log stops, saying so.
    FailNextAllocationAt(AllocationPoint::kWorkerSend);
    ASSERT_TRUE(a.Send("a1"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Stopped(ea); }, kWaitMs));
    ASSERT_TRUE(b.Send("b1"));
    ASSERT_TRUE(WaitForReceived(eb, "b1"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return ReceivedText().endsWith("b1\n"); }, kWaitMs));
    ClickItem(ea);
    EXPECT_TRUE(ReceivedText().contains("a1"));
    EXPECT_TRUE(ReceivedText().endsWith(
        QString::fromStdU16String(std::u16string(CompactLog::ReceivedStoppedText())) + "\n"));

    // A new receive thread that cannot set itself up, and one that cannot be started at
    // all (the thread limit): each entry says why it is closed, with something unseen.
    FailNextAllocationAt(AllocationPoint::kReceiveThreadStart);
    LoopbackPeer c;
    const HTREEITEM ec = ConnectPeer(c, port);
    FailThreadStartsForTesting(1);
    LoopbackPeer d;
    const HTREEITEM ed = ConnectPeer(d, port);
    for (const HTREEITEM unserved : {ec, ed}) {
        EXPECT_TRUE(WaitForReceived(unserved, Note()));
        EXPECT_TRUE(WaitForImage(unserved, kImageEntryClosedUnread));
    }
    EXPECT_TRUE(c.WaitClosedByPage());
    EXPECT_TRUE(d.WaitClosedByPage());

    // Everything else goes on.
    ASSERT_TRUE(b.Send("b2"));
    ASSERT_TRUE(WaitForReceived(eb, "b2"));
    EXPECT_EQ(Image(eb), kImageEntryOpenUnread);
}

// No thread to send with: a message the system takes at once needs none, so Send still goes,
// the box is emptied and the connection stays.
TEST_F(ResourceShortageTest, ASendWithoutASenderThreadKeepsTheConnection) {
    const std::uint16_t port = CreateServer();
    LoopbackPeer peer;
    const HTREEITEM entry = ConnectPeer(peer, port);
    ClickItem(entry);
    TypeIntoSendBox("hello");
    FailThreadStartsForTesting(1);
    Click(Page::kSendId);
    EXPECT_EQ(peer.Receive(5), "hello");
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return page_->SendBox()->toPlainText().isEmpty(); }, kWaitMs));
    EXPECT_EQ(Image(entry), kImageEntryOpen);
    EXPECT_TRUE(Enabled(Page::kDisconnectId));
}

// A UDP client whose receive thread cannot set itself up: its entry says why; a client made
// after it receives as ever.
TEST(UdpResourceShortageTest, AClientWithoutReceptionSaysWhy) {
    PinLocalHostAddressForTesting("127.0.0.1");
    CUdpClientDlg page;
    page.show();
    UdpPeer server;
    const auto create = [&](std::uint16_t local) {
        ModalAnswer answer(
            ModalAnswer::TypeInto(CSetUdpServerIp::kAddressFieldId, "127.0.0.1")
                .TypeInto(CSetUdpServerIp::kRemotePortFieldId, QString::number(server.Port()))
                .TypeInto(CSetUdpServerIp::kLocalPortFieldId, QString::number(local)));
        page.OnCreate();
        EXPECT_TRUE(answer.Answered());
        return page.Tree()->GetSelectedItem();
    };
    const auto log = [&](HTREEITEM item) {
        UiCritSecGuard lock(g_connectLock);
        return QString::fromStdU16String(
            reinterpret_cast<ConnectInfo*>(page.Tree()->GetItemData(item))->recvLog.Text());
    };
    FailNextAllocationAt(AllocationPoint::kReceiveThreadStart);
    const HTREEITEM unserved = create(FreeUdpPort());
    const QString note = QString::fromStdU16String(std::u16string(ReceiveNotStartedNote()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return log(unserved).endsWith(note + "\n"); }, kWaitMs));

    const std::uint16_t local = FreeUdpPort();
    const HTREEITEM served = create(local);
    ASSERT_TRUE(server.SendTo(local, "heard"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return log(served).endsWith("heard\n"); }, kWaitMs));
    ResetAllocationFaults();
    PinLocalHostAddressForTesting(std::nullopt);
}

}  // namespace
