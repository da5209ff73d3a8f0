// The TCP client page end to end: real clicks on its skin buttons and tree rows, typed text,
// the address dialog answered by the modal helper, servers on 127.0.0.1: the program's own
// TCP server page beside it (the fixture's page) and sockets in the test.
#include <sys/resource.h>

#include "net/socket_handle.h"
#include "pages/dialogs/dlg_set_ip.h"
#include "pages/tcp_client_page.h"
#include "platform/message_box.h"
#include "tests/pages/page_test_support.h"

namespace {

using Client = CTcpClientDlg;
using namespace std::chrono_literals;

class TcpClientPageTest : public TcpServerPageTest {
protected:
    void SetUp() override {
        TcpServerPageTest::SetUp();
        OpenClientPage();
    }
    void TearDown() override {
        client_.reset();
        CTcpClientConnect::SetGiveUpTimeForTesting(std::nullopt);
        TcpServerPageTest::TearDown();
    }
    void OpenClientPage() {
        client_ = std::make_unique<Client>();
        client_->show();
        ctree_ = client_->Tree();
        // The local address is looked up off the window's thread.
        EXPECT_TRUE(QTest::qWaitFor([&] { return !Label(ctree_->GetRootItem()).isEmpty(); },
                                    kWaitMs));
    }

    CSkinBtn* ClientButton(int id) { return FindControlAs<CSkinBtn>(client_.get(), id); }
    void Press(int id) {
        QTest::mouseClick(ClientButton(id), Qt::LeftButton, Qt::NoModifier,
                          ClientButton(id)->rect().center());
    }
    // Connect, Disconnect and Delete as "CDX", '-' for each one disabled.
    std::string TopRow() {
        std::string row = "CDX";
        for (int i : {0, 1, 2}) {
            if (!ClientButton(Client::kConnectId + i)->isEnabled())
                row[static_cast<std::size_t>(i)] = '-';
        }
        return row;
    }
    // Create with the address dialog answered (the address left as offered when empty);
    // returns the new entry, which is selected.
    HTREEITEM Create(std::uint16_t port, const QString& address = {}) {
        ModalPlan plan;
        if (!address.isEmpty())
            plan.TypeInto(CDlgSetIp::kAddressFieldId, address);
        ModalAnswer answer(plan.TypeInto(CDlgSetIp::kPortFieldId, QString::number(port)));
        Press(Client::kIds.create);
        EXPECT_TRUE(answer.Answered());
        return ctree_->GetSelectedItem();
    }
    int EntryCount() { return ctree_->topLevelItem(0)->childCount(); }
    int ImageOf(HTREEITEM item) {
        int image = -1, selected = -1;
        ctree_->GetItemImage(item, image, selected);
        return image;
    }
    bool WaitImage(HTREEITEM item, int image) {
        return QTest::qWaitFor([&] { return ImageOf(item) == image; }, kWaitMs);
    }
    void Pick(HTREEITEM item) {
        QTest::mouseClick(ctree_->viewport(), Qt::LeftButton, Qt::NoModifier,
                          ctree_->visualItemRect(CTreeCtrlEx::FromHandle(item)).center());
    }
    ConnectInfo* RecordAt(HTREEITEM item) {
        return reinterpret_cast<ConnectInfo*>(ctree_->GetItemData(item));
    }
    QString Label(HTREEITEM item) { return ctree_->GetItemText(item); }
    bool WaitReceivedView(const QString& tail) {
        return QTest::qWaitFor(
            [&] { return client_->ReceivedView()->toPlainText().endsWith(tail); }, kWaitMs);
    }
    // Selects the entry, presses Connect and waits until the connect is over.
    void ConnectEntry(HTREEITEM item) {
        Pick(item);
        Press(Client::kConnectId);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !client_->ConnectPending(); }, kWaitMs));
    }
    // A connect that fails: the text of the application's message box it shows.
    QString FailingConnect(HTREEITEM item) {
        ModalAnswer failure;
        ConnectEntry(item);
        EXPECT_TRUE(failure.WaitAnswered());
        EXPECT_EQ(failure.Caption(), ApplicationTitle());
        return failure.Text();
    }

    std::unique_ptr<Client> client_;
    CTreeCtrlEx* ctree_ = nullptr;
};

TEST_F(TcpClientPageTest, ConnectsToTheServerPageExchangesAndReconnects) {
    EXPECT_EQ(Label(ctree_->GetRootItem()), "127.0.0.1");
    EXPECT_EQ(TopRow(), "---");
    EXPECT_TRUE(ClientButton(Client::kIds.create)->isEnabled());
    EXPECT_EQ(client_->palette().color(QPalette::Window), QColor(200, 220, 240));
    const int gap = ctree_->contentsRect().width() / 4 / 2 + 4;
    EXPECT_EQ(ClientButton(Client::kIds.remove)->geometry(), QRect(14 + 3 * (51 + gap), 5, 51, 24));

    // The first Create offers the local address; the entry is closed, selected and shown.
    const std::uint16_t port = CreateServer();
    const HTREEITEM entry = Create(port);
    const QString remote = QStringLiteral("127.0.0.1:%1").arg(port);
    EXPECT_EQ(Label(entry), remote);
    EXPECT_EQ(ImageOf(entry), kImageEntryClosed);
    EXPECT_EQ(TopRow(), "C-X");
    EXPECT_EQ(RecordAt(entry)->id, 0u);

    // Connected: "local<->remote", image 3; the server page sees the same local end.
    ConnectEntry(entry);
    EXPECT_EQ(ImageOf(entry), kImageEntryOpen);
    EXPECT_EQ(TopRow(), "-DX");
    const HTREEITEM served = WaitForEntries(1);
    ASSERT_NE(served, nullptr);
    const QString firstLabel = Label(entry);
    EXPECT_EQ(firstLabel, tree_->GetItemText(served) + "<->" + remote);

    // Both ways, byte for byte.
    client_->SendBox()->setPlainText(QStringLiteral("to the server\t"));
    Press(Client::kIds.send);
    ASSERT_TRUE(WaitForReceived(served, "to the server\t"));
    EXPECT_EQ(Record(served)->recvBytes, 14);
    ClickItem(served);
    TypeIntoSendBox("to the client");
    Click(CTcpServerDlg::kSendId);
    ASSERT_TRUE(WaitReceivedView("to the client\n"));
    EXPECT_EQ(RecordAt(entry)->recvBytes, 13);
    EXPECT_TRUE(client_->SentView()->toPlainText().endsWith("to the server\t\n"));

    // Return in the tree neither ends nor hides the page.
    ctree_->setFocus();
    QTest::keyClick(ctree_, Qt::Key_Return);
    EXPECT_TRUE(client_->isVisible());

    // Disconnect: the server page sees the close. Connect again: a new local end, the same
    // remote end, id and logs.
    Press(Client::kDisconnectId);
    EXPECT_TRUE(WaitForImage(served, kImageEntryClosed));
    EXPECT_EQ(ImageOf(entry), kImageEntryClosed);
    EXPECT_EQ(TopRow(), "C-X");
    ConnectEntry(entry);
    const HTREEITEM servedAgain = WaitForEntries(2);
    ASSERT_NE(servedAgain, nullptr);
    EXPECT_EQ(Label(entry), tree_->GetItemText(servedAgain) + "<->" + remote);
    EXPECT_NE(Label(entry), firstLabel);
    EXPECT_EQ(RecordAt(entry)->id, 0u);
    EXPECT_TRUE(client_->ReceivedView()->toPlainText().endsWith("to the client\n"));
    EXPECT_TRUE(client_->SentView()->toPlainText().endsWith("to the server\t\n"));
}

TEST_F(TcpClientPageTest, ServerClosesAnotherEntryAndTheShownOne) {
    const std::uint16_t port = CreateServer();
    // Two entries for the same server: independent, consecutive ids.
    const HTREEITEM shown = Create(port);
    const HTREEITEM other = Create(port);
    EXPECT_EQ(RecordAt(other)->id, RecordAt(shown)->id + 1);
    ConnectEntry(shown);
    const HTREEITEM servedShown = WaitForEntries(1);
    ConnectEntry(other);
    const HTREEITEM servedOther = WaitForEntries(2);
    ASSERT_NE(servedOther, nullptr);

    // Closed while another entry is shown: image 4 with unseen data; the buttons stay
    // those of the shown entry.
    Pick(shown);
    ClickItem(servedOther);
    TypeIntoSendBox("unseen");
    Click(CTcpServerDlg::kSendId);
    ASSERT_TRUE(WaitImage(other, kImageEntryOpenUnread));
    Click(CTcpServerDlg::kDisconnectId);
    ASSERT_TRUE(WaitImage(other, kImageEntryClosedUnread));
    EXPECT_EQ(TopRow(), "-DX");

    // Closed while shown, after data it showed: image 2; Connect and Delete.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return page_->SendBox()->toPlainText().isEmpty(); }, kWaitMs));
    ClickItem(servedShown);
    TypeIntoSendBox("bye");
    Click(CTcpServerDlg::kSendId);
    ASSERT_TRUE(WaitReceivedView("bye\n"));
    Click(CTcpServerDlg::kDisconnectId);
    ASSERT_TRUE(WaitImage(shown, kImageEntryClosed));
    EXPECT_EQ(TopRow(), "C-X");
    EXPECT_EQ(RecordAt(shown)->sock, INVALID_SOCKET);
    Pick(other);
    EXPECT_EQ(ImageOf(other), kImageEntryClosed);
    EXPECT_TRUE(WaitReceivedView("unseen\n"));

    // Delete takes the entry and its record away.
    Press(Client::kIds.remove);
    EXPECT_EQ(EntryCount(), 1);
    UiCritSecGuard lock(g_connectLock);
    EXPECT_EQ(client_->Engine().Connections().size(), 1u);
}

TEST_F(TcpClientPageTest, FailedConnectsLeaveTheEntryClosed) {
    // Nothing listens: refused.
    const HTREEITEM refused = Create(FreeLoopbackPort());
    EXPECT_EQ(FailingConnect(refused), QStringLiteral("客户端连接失败!"));
    EXPECT_EQ(ImageOf(refused), kImageEntryClosed);
    EXPECT_EQ(TopRow(), "C-X");
    EXPECT_EQ(RecordAt(refused)->sock, INVALID_SOCKET);

    // The next Create offers the address of the last entry created.
    Create(1234, QStringLiteral("127.0.0.2"));
    EXPECT_EQ(Label(Create(1235)), QStringLiteral("127.0.0.2:1235"));

    // An unusable address is refused and the dialog stays open with the address focused;
    // OK with a corrected address then creates exactly one entry.
    {
        ModalAnswer dialog(ModalAnswer::TypeInto(CDlgSetIp::kAddressFieldId, "255.255.255.255")
                               .TypeInto(CDlgSetIp::kPortFieldId, "4321"));
        ModalAnswer addressError;
        ModalAnswer corrected(ModalAnswer::TypeInto(CDlgSetIp::kAddressFieldId, "127.0.0.3"));
        Press(Client::kIds.create);
        EXPECT_EQ(addressError.Text(), QStringLiteral("Ip 地址有错!"));
        EXPECT_TRUE(corrected.Answered());
    }
    const HTREEITEM broadcast = ctree_->GetSelectedItem();
    EXPECT_EQ(Label(broadcast), QStringLiteral("127.0.0.3:4321"));
    EXPECT_EQ(client_->LastAddress(), QStringLiteral("127.0.0.3"));
    EXPECT_EQ(EntryCount(), 4);

#if !defined(__SANITIZE_ADDRESS__)  // its checks need free descriptors
    // No descriptor left for a socket: both messages, the entry stays closed.
    rlimit original{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &original), 0);
    rlimit none = original;
    none.rlim_cur = 0;  // descriptors open stay open; no new one is given
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
    ModalAnswer noSocket, noConnect;
    Press(Client::kConnectId);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &original), 0);
    EXPECT_EQ(noSocket.Text(), QStringLiteral("创建套接字出错!"));
    EXPECT_EQ(noConnect.Text(), QStringLiteral("客户端连接失败!"));
    EXPECT_EQ(RecordAt(broadcast)->sock, INVALID_SOCKET);
    EXPECT_EQ(TopRow(), "C-X");
#endif
}

TEST_F(TcpClientPageTest, HangingConnectLeavesTheWindowWorkingAndGivesUp) {
    // A server whose backlog is full (one connection queued, never accepted) answers no
    // further connect.
    const SOCKET full = OpenSocket(SOCK_STREAM);
    sockaddr_in address{};
    ASSERT_TRUE(MakeAddress("127.0.0.1", 0, address));
    ASSERT_EQ(BindSocket(full, address), 0);
    ASSERT_EQ(ListenSocket(full, 0), 0);
    ASSERT_EQ(GetSocketName(full, address), 0);
    LoopbackPeer queued;
    ASSERT_TRUE(queued.Connect(ntohs(address.sin_port)));

    const std::uint16_t port = CreateServer();
    LoopbackPeer talker;
    const HTREEITEM talking = ConnectPeer(talker, port);
    const HTREEITEM kept = Create(FreeLoopbackPort());
    const HTREEITEM hanging = Create(ntohs(address.sin_port));
    const std::size_t socketsBefore = OpenSocketCount();

    CTcpClientConnect::SetGiveUpTimeForTesting(5min);
    Press(Client::kConnectId);
    ASSERT_TRUE(client_->ConnectPending());
    // The server page keeps receiving; the other entries of this page stay usable.
    ASSERT_TRUE(talker.Send("still alive"));
    EXPECT_TRUE(WaitForReceived(talking, "still alive"));
    Pick(kept);
    EXPECT_EQ(EntryCount(), 2);
    EXPECT_EQ(ctree_->GetSelectedItem(), kept);
    EXPECT_TRUE(client_->ConnectPending());
    EXPECT_TRUE(client_->IsConnecting(RecordAt(hanging)));

    // The page destroyed meanwhile: no message, the socket closes.
    {
        ModalAnswer none(ModalPlan(), 300ms);
        client_.reset();
        QTest::qWait(400);
        EXPECT_FALSE(none.Answered());
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return OpenSocketCount() <= socketsBefore; }, kWaitMs));

    // On a new page, with a short give-up time: the message; closed, ready to connect again.
    OpenClientPage();
    CTcpClientConnect::SetGiveUpTimeForTesting(200ms);
    const HTREEITEM again = Create(ntohs(address.sin_port));
    EXPECT_EQ(FailingConnect(again), QStringLiteral("客户端连接失败!"));
    EXPECT_EQ(ImageOf(again), kImageEntryClosed);
    EXPECT_EQ(TopRow(), "C-X");
    EXPECT_EQ(RecordAt(again)->sock, INVALID_SOCKET);
    EXPECT_TRUE(QTest::qWaitFor([&] { return OpenSocketCount() <= socketsBefore; }, kWaitMs));
    closesocket(full);
}

}  // namespace
