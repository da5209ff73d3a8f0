// The UDP server page end to end: real clicks on its skin buttons and tree rows, typed text,
// the port dialog answered by the modal helper, real datagrams on 127.0.0.1.
#include "pages/udp_server_page.h"

#include <QProcess>

#include "pages/dialogs/set_listen_dlg.h"
#include "tests/pages/udp_page_test_support.h"

namespace {

using Page = CUdpServerDlg;

class UdpServerPageTest : public UdpPageTest<CUdpServerDlg> {
protected:
    // Create with the port dialog answered; the page then receives on the port.
    std::uint16_t CreateServer() { return CreateUdpServer(*page_); }
    // The entry of the sender on `port`, once its first datagram arrived.
    HTREEITEM EntryOf(std::uint16_t senderPort) {
        HTREEITEM found = nullptr;
        (void)QTest::qWaitFor(
            [&] {
                for (HTREEITEM e : Entries()) {
                    if (Record(e) && Record(e)->clientAddr.Port() == senderPort)
                        found = e;
                }
                return found != nullptr;
            },
            kWaitMs);
        return found;
    }
};

TEST_F(UdpServerPageTest, StartsWithTheHostNodeAndTheButtonsOfANewPage) {
    EXPECT_EQ(tree_->GetItemText(Host()), "127.0.0.1");
    EXPECT_EQ(Image(Host()), kImageHostIdle);
    EXPECT_TRUE(Entries().empty());
    EXPECT_TRUE(Enabled(Page::kIds.create));
    EXPECT_FALSE(Enabled(Page::kStartReceivingId));
    EXPECT_FALSE(Enabled(Page::kStopReceivingId));
    EXPECT_FALSE(Enabled(Page::kIds.remove));
    EXPECT_TRUE(Enabled(Page::kIds.send));
    EXPECT_TRUE(Enabled(Page::kIds.clearReceived));
    EXPECT_TRUE(Enabled(Page::kIds.clearSent));
    EXPECT_EQ(page_->palette().color(QPalette::Window), QColor(170, 220, 250));
    const int gap = (tree_->contentsRect().width() / 4) / 2 + 4;
    EXPECT_EQ(Button(Page::kIds.create)->geometry(), QRect(14, 5, 51, 24));
    EXPECT_EQ(Button(Page::kStartReceivingId)->geometry(), QRect(14 + 51 + gap, 5, 51, 24));
    EXPECT_EQ(Button(Page::kStopReceivingId)->geometry(), QRect(14 + 2 * (51 + gap), 5, 51, 24));
    EXPECT_EQ(Button(Page::kIds.remove)->geometry(), QRect(14 + 3 * (51 + gap), 5, 51, 24));

    // Nothing to act on yet.
    ModalAnswer noReceiver;
    Click(Page::kIds.send);
    EXPECT_EQ(noReceiver.Text(), QStringLiteral("请选择接收端！"));
    EXPECT_EQ(noReceiver.Caption(), QStringLiteral("提示!"));
    ModalAnswer nothingSelected;
    Click(Page::kIds.clearReceived);
    EXPECT_EQ(nothingSelected.Text(), QStringLiteral("未选择要清除的连接"));
    {
        ModalAnswer cancel(ModalAnswer::Press(ModalAnswer::Cancel));
        Click(Page::kIds.create);
        ASSERT_TRUE(cancel.Answered());
        ModalAnswer zero(ModalAnswer::TypeInto(CSetListenDlg::kPortFieldId, "0"));
        Click(Page::kIds.create);
        ASSERT_TRUE(zero.Answered());
    }
    EXPECT_EQ(tree_->GetItemText(Host()), "127.0.0.1");
    EXPECT_EQ(Image(Host()), kImageHostIdle);
}

TEST_F(UdpServerPageTest, SendersBecomeEntriesAndARepliesReachesOnlyTheChosenOne) {
    const std::uint16_t port = CreateServer();
    EXPECT_EQ(tree_->GetItemText(Host()), QStringLiteral("127.0.0.1:%1").arg(port));
    EXPECT_EQ(Image(Host()), kImageHostOpen);
    EXPECT_FALSE(Enabled(Page::kStartReceivingId));
    EXPECT_TRUE(Enabled(Page::kStopReceivingId));
    // The page has one server: while it receives, Create says on which port and asks nothing.
    {
        ModalAnswer told;
        Click(Page::kIds.create);
        ASSERT_TRUE(told.Answered());
        EXPECT_EQ(told.DialogClass(), "QMessageBox");
        EXPECT_EQ(told.Text(), QStringLiteral("已在端口 %1 监听").arg(port));
        EXPECT_EQ(told.Caption(), QStringLiteral("提示"));
    }
    EXPECT_EQ(tree_->GetItemText(Host()), QStringLiteral("127.0.0.1:%1").arg(port));

    UdpPeer a, b;
    ASSERT_TRUE(a.SendTo(port, "one"));
    const HTREEITEM ea = EntryOf(a.Port());
    ASSERT_NE(ea, nullptr);
    ASSERT_TRUE(WaitForReceived(ea, "one"));
    EXPECT_EQ(tree_->GetItemText(ea), QStringLiteral("127.0.0.1:%1").arg(a.Port()));
    EXPECT_EQ(Record(ea)->id, a.Port());
    EXPECT_EQ(Record(ea)->treeItem, ea);
    ASSERT_TRUE(a.SendTo(port, "two"));
    ASSERT_TRUE(WaitForReceived(ea, "two"));
    // The same address from another port is another sender.
    ASSERT_TRUE(b.SendTo(port, "from b"));
    const HTREEITEM eb = EntryOf(b.Port());
    ASSERT_NE(eb, nullptr);
    EXPECT_EQ(Entries().size(), 2u);
    EXPECT_EQ(MapSize(), 2u);

    // Shown entry: the view follows and the image stays; another entry turns to 5.
    ClickItem(ea);
    EXPECT_EQ(Image(ea), kImageEntryOpen);
    EXPECT_TRUE(Enabled(Page::kIds.remove));
    EXPECT_FALSE(Enabled(Page::kStopReceivingId));
    ASSERT_TRUE(a.SendTo(port, "three"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ReceivedText().endsWith("three\n"); }, kWaitMs));
    EXPECT_EQ(ReceivedText().count(u'\n'), 3);
    EXPECT_EQ(Image(ea), kImageEntryOpen);
    ASSERT_TRUE(b.SendTo(port, "unseen"));
    ASSERT_TRUE(WaitForImage(eb, kImageEntryOpenUnread));

    // A reply goes to the selected sender only, byte for byte, and is logged.
    TypeIntoSendBox("reply\tto a  ");
    Click(Page::kIds.send);
    const auto got = a.Receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->bytes, "reply\tto a");
    EXPECT_EQ(got->fromPort, port);
    EXPECT_FALSE(b.Receive(200));
    EXPECT_TRUE(UdpLogLine("reply\tto a").match(SentText()).hasMatch()) << SentText().toStdString();
    EXPECT_EQ(Record(ea)->sentBytes, 10);
    EXPECT_TRUE(page_->SendBox()->toPlainText().isEmpty());

    // A line break goes out as CR LF.
    TypeIntoSendBox("x");
    QTest::keyClick(page_->SendBox(), Qt::Key_Return);
    QTest::keyClicks(page_->SendBox(), "y");
    Click(Page::kIds.send);
    EXPECT_EQ(a.Receive()->bytes, "x\r\ny");
    // The sent view holds the whole log again, both replies.
    EXPECT_EQ(SentText(),
              QString::fromStdU16String(Record(ea)->sendLog.Text()).replace("\r\n", "\n"));
    EXPECT_EQ(SentText().count(u'\n'), 3);

    // Clicking the marked entry shows its data and clears the mark.
    ClickItem(eb);
    EXPECT_EQ(Image(eb), kImageEntryOpen);
    EXPECT_TRUE(UdpLogLine("from b").match(ReceivedText().section('\n', 0, 0) + "\n").hasMatch());
    EXPECT_TRUE(SentText().isEmpty());

    // Delete removes the entry and its record; the host node is never deleted.
    Click(Page::kIds.remove);
    EXPECT_EQ(Entries().size(), 1u);
    EXPECT_EQ(MapSize(), 1u);
    ClickItem(Host());
    EXPECT_FALSE(Enabled(Page::kIds.remove));
    Click(Page::kIds.remove);
    EXPECT_EQ(Entries().size(), 1u);
    // The deleted sender, heard again, is a new entry.
    ASSERT_TRUE(b.SendTo(port, "back"));
    ASSERT_NE(WaitForEntries(2), nullptr);
}

TEST_F(UdpServerPageTest, StopAndStartKeepTheEntriesAndSendingWhileStoppedFails) {
    const std::uint16_t port = CreateServer();
    UdpPeer a, b;
    ASSERT_TRUE(a.SendTo(port, "hello"));
    const HTREEITEM ea = EntryOf(a.Port());
    ASSERT_TRUE(b.SendTo(port, "unseen"));
    const HTREEITEM eb = EntryOf(b.Port());
    ASSERT_TRUE(WaitForImage(eb, kImageEntryOpenUnread));
    ClickItem(Host());
    Click(Page::kStopReceivingId);
    EXPECT_EQ(Image(Host()), kImageHostIdle);
    EXPECT_TRUE(Enabled(Page::kStartReceivingId));
    EXPECT_FALSE(Enabled(Page::kStopReceivingId));
    EXPECT_EQ(Image(ea), kImageEntryClosedUnread);
    EXPECT_EQ(Image(eb), kImageEntryClosedUnread);

    ClickItem(ea);
    EXPECT_EQ(Image(ea), kImageEntryClosed);
    ExpectSendRefused("late", QStringLiteral("发送出错！\n套接字已经关闭。"),
                      QStringLiteral("提示"));
    EXPECT_TRUE(Record(ea)->sendLog.Empty());

    ClickItem(Host());
    Click(Page::kStartReceivingId);
    EXPECT_EQ(Image(Host()), kImageHostOpen);
    EXPECT_EQ(Image(ea), kImageEntryOpen);
    EXPECT_EQ(Image(eb), kImageEntryOpenUnread);
    ASSERT_TRUE(a.SendTo(port, "again"));
    ASSERT_TRUE(WaitForReceived(ea, "again"));
    EXPECT_EQ(Entries().size(), 2u);
    ClickItem(ea);
    Click(Page::kIds.send);
    EXPECT_EQ(a.Receive()->bytes, "late");

    // Stopped, Create takes a new port; a known sender's datagrams arrive there on its entry.
    ClickItem(Host());
    Click(Page::kStopReceivingId);
    std::uint16_t next = FreeUdpPort();
    for (int i = 0; i < 10 && next == port; ++i) next = FreeUdpPort();
    ASSERT_NE(next, port);
    CreateUdpServer(*page_, next);
    EXPECT_EQ(tree_->GetItemText(Host()), QStringLiteral("127.0.0.1:%1").arg(next));
    ASSERT_TRUE(a.SendTo(next, "moved"));
    ASSERT_TRUE(WaitForReceived(ea, "moved"));
    EXPECT_EQ(Entries().size(), 2u);
}

TEST_F(UdpServerPageTest, PortTakenFailsAndEmptyAndLargestDatagramsArrive) {
    auto holder = std::make_unique<UdpPeer>();
    const std::uint16_t port = holder->Port();
    ModalAnswer portDialog(
        ModalAnswer::TypeInto(CSetListenDlg::kPortFieldId, QString::number(port)));
    ModalAnswer failure;
    Click(Page::kIds.create);
    EXPECT_EQ(failure.Text(),
              QStringLiteral("监听启动失败\n端口已被占用：另一个套接字正在使用这个端口。"));
    EXPECT_EQ(failure.Caption(), QStringLiteral("错误！"));
    EXPECT_EQ(tree_->GetItemText(Host()), QStringLiteral("127.0.0.1:%1").arg(port));
    EXPECT_EQ(Image(Host()), kImageHostIdle);
    EXPECT_TRUE(Enabled(Page::kStartReceivingId));
    EXPECT_FALSE(Enabled(Page::kStopReceivingId));

    holder.reset();
    Click(Page::kStartReceivingId);
    ASSERT_EQ(Image(Host()), kImageHostOpen);

    // An empty datagram is a stamped empty line; reception goes on.
    UdpPeer sender;
    ASSERT_TRUE(sender.SendTo(port, ""));
    const HTREEITEM entry = EntryOf(sender.Port());
    ASSERT_NE(entry, nullptr);
    ASSERT_TRUE(WaitForReceived(entry, ""));
    EXPECT_TRUE(UdpLogLine("").match(QString::fromStdU16String(ReceivedLog(entry))).hasMatch());
    const std::string largest(65507, 'z');
    ASSERT_TRUE(sender.SendTo(port, largest));
    ASSERT_TRUE(WaitForReceived(entry, largest));
    EXPECT_EQ(Record(entry)->recvBytes, 65507);
    ClickItem(entry);
    EXPECT_EQ(Image(entry), kImageEntryOpen);
    EXPECT_EQ(ReceivedText().count(u'z'), 65507);
}

TEST_F(UdpServerPageTest, ExchangesWithSocatAsTheSender) {
    const std::uint16_t port = CreateServer();
    QProcess socat;
    socat.start("socat", {"-", QStringLiteral("UDP4:127.0.0.1:%1").arg(port)});
    ASSERT_TRUE(socat.waitForStarted(kWaitMs));
    socat.write("from socat\n");
    const HTREEITEM entry = WaitForEntries(1);
    ASSERT_NE(entry, nullptr);
    ASSERT_TRUE(WaitForReceived(entry, "from socat\n"));
    ClickItem(entry);
    TypeIntoSendBox("to socat");
    Click(Page::kIds.send);
    ASSERT_TRUE(QTest::qWaitFor([&] { return socat.bytesAvailable() >= 8; }, kWaitMs));
    EXPECT_EQ(socat.readAll(), "to socat");
    socat.kill();
    socat.waitForFinished(kWaitMs);
}

}  // namespace
