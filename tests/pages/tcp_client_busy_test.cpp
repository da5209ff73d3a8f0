// A connect in progress on the TCP client page keeps only its own entry busy: the other
// entries send and the tree follows the user; Disconnect or Delete on the entry connecting
// cancel the connect at once, without a message.
#include "net/socket_handle.h"
#include "pages/dialogs/dlg_set_ip.h"
#include "pages/tcp_client_page.h"
#include "tests/pages/page_fixture.h"

namespace {

using Client = CTcpClientDlg;
using namespace std::chrono_literals;

class TcpClientBusyTest : public PageTest<Client> {
protected:
    void TearDown() override {
        PageTest<Client>::TearDown();
        CTcpClientConnect::SetGiveUpTimeForTesting(std::nullopt);
    }
    // A listening socket of the test on 127.0.0.1; its port in `address`.
    static SOCKET Listener(int backlog, sockaddr_in& address) {
        const SOCKET sock = OpenSocket(SOCK_STREAM);
        EXPECT_TRUE(MakeAddress("127.0.0.1", 0, address));
        EXPECT_EQ(BindSocket(sock, address), 0);
        EXPECT_EQ(ListenSocket(sock, backlog), 0);
        EXPECT_EQ(GetSocketName(sock, address), 0);
        return sock;
    }
    HTREEITEM Create(const sockaddr_in& server) {
        ModalAnswer answer(
            ModalAnswer::TypeInto(CDlgSetIp::kAddressFieldId, "127.0.0.1")
                .TypeInto(CDlgSetIp::kPortFieldId, QString::number(ntohs(server.sin_port))));
        Click(Client::kIds.create);
        EXPECT_TRUE(answer.Answered());
        return tree_->GetSelectedItem();
    }
};

TEST_F(TcpClientBusyTest, AConnectInProgressLeavesOtherEntriesWorkingAndDisconnectCancelsIt) {
    sockaddr_in open{}, full{};
    const SOCKET server = Listener(4, open);
    // A backlog that is full (one connection queued, never accepted) answers no connect.
    const SOCKET stuck = Listener(0, full);
    const SOCKET queued = OpenSocket(SOCK_STREAM);
    ASSERT_EQ(ConnectSocket(queued, full), 0);

    const HTREEITEM working = Create(open);
    Click(Client::kConnectId);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !page_->ConnectPending(); }, kWaitMs));
    const SOCKET peer = AcceptSocket(server, nullptr);
    ASSERT_NE(peer, INVALID_SOCKET);

    const std::size_t socketsBefore = OpenSocketCount();
    CTcpClientConnect::SetGiveUpTimeForTesting(5min);
    const HTREEITEM hanging = Create(full);
    Click(Client::kConnectId);
    ASSERT_TRUE(page_->IsConnecting(Record(hanging)));
    // Busy: shown closed; Disconnect cancels, Connect waits.
    EXPECT_EQ(Image(hanging), kImageEntryClosed);
    EXPECT_TRUE(Enabled(Client::kDisconnectId));
    EXPECT_FALSE(Enabled(Client::kConnectId));
    ExpectSendRefused("too early", QStringLiteral("正在连接，请稍候！"), QStringLiteral("提示!"));

    // The other entry: shown on a click, Send goes at once.
    ClickItem(working);
    EXPECT_EQ(page_->Views().ShownRecord(), Record(working));
    TypeIntoSendBox("meanwhile");
    Click(Client::kIds.send);
    char got[9] = {};
    int done = 0;
    while (done < 9) {
        const int n = RecvSocket(peer, got + done, 9 - done);
        ASSERT_GT(n, 0);
        done += n;
    }
    EXPECT_EQ(std::string(got, 9), "meanwhile");
    EXPECT_TRUE(QTest::qWaitFor([&] { return SentText().contains("meanwhile"); }, kWaitMs));
    EXPECT_TRUE(page_->IsConnecting(Record(hanging)));

    // Disconnect on the entry connecting: cancelled at once, no message, the socket closed.
    ClickItem(hanging);
    {
        ModalAnswer none(ModalPlan(), 300ms);
        Click(Client::kDisconnectId);
        EXPECT_FALSE(page_->ConnectPending());
        EXPECT_EQ(Record(hanging)->sock, INVALID_SOCKET);
        EXPECT_TRUE(Enabled(Client::kConnectId));
        EXPECT_FALSE(Enabled(Client::kDisconnectId));
        QTest::qWait(400);
        EXPECT_FALSE(none.Answered());
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return OpenSocketCount() <= socketsBefore; }, kWaitMs));

    // Connecting again, then Delete: the entry goes with its connect, silently.
    Click(Client::kConnectId);
    ASSERT_TRUE(page_->ConnectPending());
    {
        ModalAnswer none(ModalPlan(), 300ms);
        Click(Client::kIds.remove);
        EXPECT_FALSE(page_->ConnectPending());
        EXPECT_EQ(Entries().size(), 1u);
        QTest::qWait(400);
        EXPECT_FALSE(none.Answered());
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return OpenSocketCount() <= socketsBefore; }, kWaitMs));

    for (SOCKET sock : {peer, queued, stuck, server}) closesocket(sock);
}

}  // namespace
