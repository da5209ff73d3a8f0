// The UDP client page end to end, with its endpoint dialog: real clicks, typed fields, the
// dialog and message boxes answered by the modal helper, real datagrams on 127.0.0.1.
#include "pages/udp_client_page.h"

#include <QApplication>
#include <QLabel>

#include "pages/dialogs/set_listen_dlg.h"
#include "pages/dialogs/set_udp_server_ip.h"
#include "pages/udp_server_page.h"
#include "tests/pages/udp_page_test_support.h"
#include "text/code_page.h"

namespace {

using Page = CUdpClientDlg;
using Dialog = CSetUdpServerIp;

class UdpClientPageTest : public UdpPageTest<CUdpClientDlg> {
protected:
    static ModalPlan Fill(const QString& address, std::uint16_t remotePort,
                          std::uint16_t localPort) {
        return ModalAnswer::TypeInto(Dialog::kAddressFieldId, address)
            .TypeInto(Dialog::kRemotePortFieldId, QString::number(remotePort))
            .TypeInto(Dialog::kLocalPortFieldId, QString::number(localPort));
    }
    // Create with the dialog filled in; returns the new entry (null when none came).
    HTREEITEM CreateClient(std::uint16_t remotePort, std::uint16_t localPort,
                           const QString& address = "127.0.0.1") {
        const std::size_t before = Entries().size();
        ModalAnswer answer(Fill(address, remotePort, localPort));
        Click(Page::kIds.create);
        EXPECT_TRUE(answer.Answered());
        const auto entries = Entries();
        return entries.size() > before ? entries.back() : nullptr;
    }
};

TEST_F(UdpClientPageTest, TheDialogOffersDefaultsAndChecksThePorts) {
    EXPECT_EQ(page_->palette().color(QPalette::Window), QColor(230, 240, 240));
    EXPECT_FALSE(Enabled(Page::kIds.remove));
    const int gap = (tree_->contentsRect().width() / 2) / 2 + 155;
    EXPECT_EQ(Button(Page::kIds.remove)->geometry(), QRect(14 + 51 + gap, 5, 51, 24));

    Dialog dialog(page_.get(), QString(), Page::kDialogColour);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("请输入对方地址"));
    // The local address is looked up off the window's thread; the fields fill with it.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return !FindControlAs<QLineEdit>(&dialog, Dialog::kAddressFieldId)->text().isEmpty();
        },
        kWaitMs));
    const std::pair<int, QString> defaults[] = {{Dialog::kAddressFieldId, "127.0.0.1"},
                                                {Dialog::kRemotePortFieldId, "8888"},
                                                {Dialog::kLocalPortFieldId, "6666"},
                                                {Dialog::kCountFieldId, "1"},
                                                {Dialog::kTtlFieldId, "1"}};
    for (const auto& [id, text] : defaults)
        EXPECT_EQ(FindControlAs<QLineEdit>(&dialog, id)->text(), text) << id;
    QStringList labels;
    for (QLabel* label : dialog.findChildren<QLabel*>()) labels << label->text();
    EXPECT_EQ(labels,
              (QStringList{"对方地址:", "对方端口:", "本地端口:", "客户数量:", "组播 TTL:"}));

    // A port above 65535 in either field: both read as 0 and the dialog stays open.
    ModalAnswer typed(ModalAnswer::TypeInto(Dialog::kLocalPortFieldId, "65536"));
    ModalAnswer message;
    ModalAnswer stillOpen(ModalAnswer::TypeInto(Dialog::kLocalPortFieldId, "7000")
                              .TypeInto(Dialog::kAddressFieldId, "localhost"));
    ASSERT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(message.Text(), QStringLiteral("输入的端口号有错！"));
    EXPECT_EQ(message.Caption(), QStringLiteral("提示"));
    EXPECT_EQ(dialog.LocalPort(), 7000);
    EXPECT_EQ(dialog.RemotePort(), 8888);
    EXPECT_EQ(dialog.ClientCount(), 1);
    EXPECT_EQ(dialog.MulticastTtl(), 1);
    // A host name resolves; the local end is the any-address.
    EXPECT_EQ(dialog.RemoteAddress().Ipv4Address(), INADDR_LOOPBACK);
    EXPECT_EQ(dialog.RemoteAddress().Port(), 8888);
    EXPECT_EQ(dialog.LocalAddress().Ipv4Address(), INADDR_ANY);
    EXPECT_EQ(dialog.LocalAddress().Port(), 7000);

    // The address is cut to 39 characters before resolution: 39 characters of a valid
    // address padded with zeros on the left still read, one more does not.
    Dialog longAddress(page_.get(), "x", Page::kDialogColour);
    const QString padded = QString(39 - 9, u'0') + "127.0.0.1";
    ModalAnswer cut(ModalAnswer::TypeInto(Dialog::kAddressFieldId, padded + "999"));
    ASSERT_EQ(longAddress.exec(), QDialog::Accepted);
    EXPECT_NE(longAddress.RemoteAddress().Ipv4Address(), ntohl(INADDR_NONE));
}

TEST_F(UdpClientPageTest, ClientsReceiveOnTheirOwnSocketsAndSendToTheirServer) {
    UdpPeer server;
    const std::uint16_t first = FreeUdpPort();
    const HTREEITEM a = CreateClient(server.Port(), first);
    ASSERT_NE(a, nullptr);
    const std::uint16_t second = FreeUdpPort();
    const HTREEITEM b = CreateClient(server.Port(), second);
    ASSERT_NE(b, nullptr);
    // Bound to the any-address; a machine with only loopback shows that.
    EXPECT_EQ(tree_->GetItemText(a),
              QStringLiteral("0.0.0.0:%1<->127.0.0.1:%2").arg(first).arg(server.Port()));
    EXPECT_EQ(Record(a)->id, first);
    EXPECT_EQ(MapSize(), 2u);
    // The new client is selected and shown.
    EXPECT_EQ(tree_->GetSelectedItem(), b);
    EXPECT_EQ(Image(b), kImageEntryClosed);
    EXPECT_TRUE(Enabled(Page::kIds.remove));
    EXPECT_EQ(page_->LastAddress(), "127.0.0.1");

    // Each sends from its own port.
    ClickItem(a);
    TypeIntoSendBox("from a");
    Click(Page::kIds.send);
    auto got = server.Receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->bytes, "from a");
    EXPECT_EQ(got->fromPort, first);
    EXPECT_TRUE(UdpLogLine("from a").match(SentText()).hasMatch());
    ClickItem(b);
    TypeIntoSendBox("from b");
    Click(Page::kIds.send);
    got = server.Receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->fromPort, second);

    // Each receives on its own socket: the shown one in its view, the other marked.
    ASSERT_TRUE(server.SendTo(second, "to b"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ReceivedText().endsWith("to b\n"); }, kWaitMs));
    EXPECT_EQ(Image(b), kImageEntryClosed);
    ASSERT_TRUE(server.SendTo(first, "to a"));
    ASSERT_TRUE(WaitForImage(a, kImageEntryOpenUnread));
    EXPECT_TRUE(ReceivedLog(b).find(u"to a") == std::u16string::npos);
    ClickItem(a);
    EXPECT_EQ(Image(a), kImageEntryClosed);
    EXPECT_TRUE(UdpLogLine("to a").match(ReceivedText()).hasMatch());
    EXPECT_TRUE(UdpLogLine("from a").match(SentText()).hasMatch());

    // The host node empties the views and disables Delete.
    ClickItem(Host());
    EXPECT_TRUE(ReceivedText().isEmpty());
    EXPECT_FALSE(Enabled(Page::kIds.remove));
}

TEST_F(UdpClientPageTest, ALocalPortInUseIsRefusedUntilItsClientIsDeleted) {
    UdpPeer server;
    const std::uint16_t local = FreeUdpPort();
    ASSERT_NE(CreateClient(server.Port(), local), nullptr);

    // The same local port again: refused in the dialog, which stays open.
    {
        ModalAnswer answer(Fill("127.0.0.1", server.Port(), local));
        ModalAnswer refused;
        ModalAnswer cancel(ModalAnswer::Press(ModalAnswer::Cancel));
        Click(Page::kIds.create);
        EXPECT_EQ(refused.Text(), QStringLiteral("本地端口已经被占用!"));
        EXPECT_EQ(refused.Caption(), QStringLiteral("Wirelark"));
        EXPECT_TRUE(cancel.Answered());
    }
    EXPECT_EQ(Entries().size(), 1u);

    ClickItem(Entries()[0]);
    Click(Page::kIds.remove);
    EXPECT_TRUE(Entries().empty());
    EXPECT_EQ(MapSize(), 0u);
    const HTREEITEM again = CreateClient(server.Port(), local);
    ASSERT_NE(again, nullptr);
    ASSERT_TRUE(server.SendTo(local, "welcome back"));
    ASSERT_TRUE(WaitForReceived(again, "welcome back"));
}

TEST_F(UdpClientPageTest, AFailedBindLeavesNothingAndTheLastAddressIsOffered) {
    UdpPeer server;
    ASSERT_NE(CreateClient(server.Port(), FreeUdpPort(), "localhost"), nullptr);
    EXPECT_EQ(page_->LastAddress(), "127.0.0.1");

    // A port another program holds fails at bind; nothing stays behind.
    UdpPeer holder;
    const std::size_t sockets = OpenSocketCount();
    {
        ModalAnswer answer(Fill("127.0.0.2", server.Port(), holder.Port()));
        ModalAnswer failure;
        Click(Page::kIds.create);
        EXPECT_EQ(
            failure.Text(),
            QStringLiteral("绑定本地端口出错\n端口已被占用：另一个 UDP 套接字正在使用这个端口。"));
        EXPECT_EQ(failure.Caption(), QStringLiteral("错误!"));
    }
    EXPECT_EQ(Entries().size(), 1u);
    EXPECT_EQ(MapSize(), 1u);
    EXPECT_EQ(OpenSocketCount(), sockets);
    EXPECT_EQ(page_->LastAddress(), "127.0.0.1");

    ReadFieldThenCancel offered(Dialog::kAddressFieldId);
    Click(Page::kIds.create);
    EXPECT_EQ(offered.Text(), "127.0.0.1");
    EXPECT_EQ(Entries().size(), 1u);
}

// A refused count creates nothing, so the corrected retry gets the local port; the client,
// bound to the any-address, hears datagrams sent to any address of the machine; a datagram
// too long for UDP says why it did not go, and reception goes on.
TEST_F(UdpClientPageTest, ARefusedCountCreatesNothingAndAClientHearsEveryAddress) {
    UdpPeer server;
    const std::uint16_t local = FreeUdpPort();
    {
        ModalAnswer answer(
            Fill("127.0.0.1", server.Port(), local).TypeInto(Dialog::kCountFieldId, "0"));
        ModalAnswer badCount;
        ModalAnswer corrected(ModalAnswer::TypeInto(Dialog::kCountFieldId, "1"));
        Click(Page::kIds.create);
        EXPECT_EQ(badCount.Text(), QStringLiteral("客户数量须为 1 到 10000！"));
        EXPECT_EQ(badCount.Caption(), QStringLiteral("提示"));
        EXPECT_TRUE(corrected.Answered());
    }
    const auto entries = Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(MapSize(), 1u);
    const HTREEITEM client = entries[0];
    EXPECT_EQ(tree_->GetItemText(client),
              QStringLiteral("0.0.0.0:%1<->127.0.0.1:%2").arg(local).arg(server.Port()));

    // To another address of the machine: heard all the same.
    const int raw = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in other = UdpPeer::Loopback(local);
    other.sin_addr.s_addr = inet_addr("127.0.0.2");
    const std::string hello = "to 127.0.0.2";
    EXPECT_EQ(::sendto(raw, hello.data(), hello.size(), 0, reinterpret_cast<sockaddr*>(&other),
                       sizeof other),
              static_cast<ssize_t>(hello.size()));
    ::close(raw);
    ASSERT_TRUE(WaitForReceived(client, hello));

    // 65,508 bytes do not fit one datagram: the reason on a second line; the box keeps them.
    const QString tooLong(65508, u'x');
    page_->SendBox()->setPlainText(tooLong);
    ModalAnswer refused;
    Click(Page::kIds.send);
    EXPECT_EQ(refused.Text(), QStringLiteral("发送出错！\n信息太长：一个数据报最多 65507 字节。"));
    EXPECT_EQ(refused.Caption(), QStringLiteral("提示"));
    EXPECT_EQ(page_->SendBox()->toPlainText(), tooLong);
    EXPECT_TRUE(Record(client)->sendLog.Empty());
    ASSERT_TRUE(server.SendTo(local, "still heard"));
    ASSERT_TRUE(WaitForReceived(client, "still heard"));
}

TEST_F(UdpClientPageTest, AddressesAndStampsStayLocalTextInAnyPayloadCodePage) {
    const std::string previous = GetAnsiCodePage();
    ASSERT_TRUE(SetAnsiCodePage("UTF-16LE"));
    UdpPeer server;
    const HTREEITEM client = CreateClient(server.Port(), FreeUdpPort(), "localhost");
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(Record(client)->serverAddr.Ipv4Address(), INADDR_LOOPBACK);
    TypeIntoSendBox("hi");
    Click(Page::kIds.send);
    const auto got = server.Receive();
    SetAnsiCodePage(previous);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->bytes, std::string("h\0i\0", 4));
    EXPECT_TRUE(UdpLogLine("hi").match(SentText()).hasMatch()) << SentText().toStdString();
}

TEST_F(UdpClientPageTest, ClientsTalkToTheServerPageOfTheSameProgram) {
    CUdpServerDlg serverPage;
    serverPage.show();
    const std::uint16_t port = CreateUdpServer(serverPage);
    const std::uint16_t local = FreeUdpPort();
    const HTREEITEM client = CreateClient(port, local);
    ASSERT_NE(client, nullptr);
    TypeIntoSendBox("hello server");
    Click(Page::kIds.send);

    CTreeCtrlEx* serverTree = serverPage.Tree();
    HTREEITEM sender = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return (sender = serverTree->GetChildItem(serverTree->GetRootItem())) != nullptr; },
        kWaitMs));
    EXPECT_EQ(serverTree->GetItemText(sender), QStringLiteral("127.0.0.1:%1").arg(local));
    serverTree->SelectItem(sender);
    serverPage.ShowEntry(sender);
    serverPage.SendBox()->setPlainText("hello client");
    serverPage.OnSend();
    ASSERT_TRUE(WaitForReceived(client, "hello client"));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return ReceivedText().endsWith("hello client\n"); }, kWaitMs));
}

}  // namespace
