// The TCP server page end to end: real clicks on its skin buttons and tree rows, typed text,
// the port dialog answered by the modal helper, peers on 127.0.0.1.
#include <QDialog>
#include <QProcess>
#include <QRegularExpression>
#include <QTextDocument>
#include <QVBoxLayout>

#include "tests/pages/page_test_support.h"
#include "text/code_page.h"

namespace {

using Page = CTcpServerDlg;

// A log line: the stamp (date, time, two blanks), the text, a line feed.
QRegularExpression LogLine(const QString& text) {
    return QRegularExpression(QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}  ") +
                              QRegularExpression::escape(text) + QStringLiteral("\\n$"));
}

TEST_F(TcpServerPageTest, StartsWithTheHostNodeOnlyAndTheButtonsOfANewPage) {
    EXPECT_EQ(tree_->GetItemText(Host()), "127.0.0.1");
    EXPECT_EQ(Image(Host()), kImageHostIdle);
    EXPECT_TRUE(tree_->GetItemBoldState(Host()));
    EXPECT_EQ(tree_->GetItemTextColor(Host()), RGB(136, 0, 21));
    EXPECT_TRUE(Entries().empty());
    EXPECT_TRUE(Enabled(Page::kCreateId));
    EXPECT_FALSE(Enabled(Page::kListenId));
    EXPECT_FALSE(Enabled(Page::kStopListeningId));
    EXPECT_FALSE(Enabled(Page::kDisconnectId));
    EXPECT_FALSE(Enabled(Page::kDeleteId));
    EXPECT_TRUE(Enabled(Page::kSendId));
    EXPECT_TRUE(Enabled(Page::kClearReceivedId));
    EXPECT_TRUE(Enabled(Page::kClearSentId));
    EXPECT_EQ(page_->palette().color(QPalette::Window), QColor(232, 243, 250));
    // Top row: 51 wide from x 14, the gap from the tree's client width.
    const int gap = (tree_->contentsRect().width() / 5 - 24) / 2;
    EXPECT_EQ(Button(Page::kCreateId)->geometry(), QRect(14, 5, 51, 24));
    EXPECT_EQ(Button(Page::kListenId)->geometry(), QRect(14 + 51 + gap, 5, 51, 24));
    EXPECT_EQ(Button(Page::kDeleteId)->geometry(), QRect(14 + 4 * (51 + gap), 5, 51, 24));
    const QRect box = page_->SendBox()->geometry();
    EXPECT_EQ(Button(Page::kSendId)->geometry(),
              QRect(box.x() + box.width() - 61, box.y() - 26, 51, 24));
}

TEST_F(TcpServerPageTest, CreateListensAndPeersAppearAsEntries) {
    const std::uint16_t port = CreateServer();
    EXPECT_EQ(tree_->GetItemText(Host()), QStringLiteral("127.0.0.1:%1").arg(port));
    EXPECT_EQ(Image(Host()), kImageHostOpen);
    EXPECT_FALSE(Enabled(Page::kListenId));
    EXPECT_TRUE(Enabled(Page::kStopListeningId));

    LoopbackPeer first, second;
    const HTREEITEM a = ConnectPeer(first, port);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(tree_->GetItemText(a), QStringLiteral("127.0.0.1:%1").arg(first.LocalPort()));
    EXPECT_EQ(Image(a), kImageEntryOpen);
    EXPECT_EQ(Record(a)->treeItem, a);
    EXPECT_EQ(Record(a)->id, 0u);
    ClickItem(a);

    // A new connection while another entry is shown: the views keep the old entry.
    ASSERT_TRUE(first.Send("from a"));
    ASSERT_TRUE(WaitForReceived(a, "from a"));
    const HTREEITEM b = ConnectPeer(second, port);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(Record(b)->id, 1u);
    EXPECT_EQ(tree_->GetSelectedItem(), a);
    EXPECT_TRUE(QTest::qWaitFor([&] { return LogLine("from a").match(ReceivedText()).hasMatch(); },
                                kWaitMs))
        << ReceivedText().toStdString();
}

TEST_F(TcpServerPageTest, DataMarksUnseenEntriesAndAClickShowsTheLogs) {
    const std::uint16_t port = CreateServer();
    LoopbackPeer shown, other;
    const HTREEITEM s = ConnectPeer(shown, port);
    const HTREEITEM o = ConnectPeer(other, port);
    ClickItem(s);
    EXPECT_TRUE(Enabled(Page::kDisconnectId));
    EXPECT_TRUE(Enabled(Page::kDeleteId));

    // Data for an entry not selected: only its image changes.
    ASSERT_TRUE(other.Send("unseen"));
    ASSERT_TRUE(WaitForImage(o, kImageEntryOpenUnread));
    EXPECT_EQ(Unread(o), 1);
    EXPECT_TRUE(ReceivedText().isEmpty());

    // Data for the shown entry: the view follows.
    ASSERT_TRUE(shown.Send("first"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ReceivedText().isEmpty(); }, kWaitMs));
    ASSERT_TRUE(shown.Send("second"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return ReceivedText() == QString::fromStdU16String(ReceivedLog(s)) &&
                   ReceivedText().endsWith("second\n");
        },
        kWaitMs));
    EXPECT_EQ(Image(s), kImageEntryOpen);

    // Clicking the marked entry shows its log and clears the mark.
    ClickItem(o);
    EXPECT_EQ(Image(o), kImageEntryOpen);
    EXPECT_EQ(Unread(o), 0);
    EXPECT_TRUE(LogLine("unseen").match(ReceivedText()).hasMatch());
    EXPECT_TRUE(SentText().isEmpty());

    // Keyboard moves are followed like clicks.
    tree_->setFocus();
    QTest::keyClick(tree_, Qt::Key_Up);
    EXPECT_EQ(tree_->GetSelectedItem(), s);
    EXPECT_FALSE(LogLine("unseen").match(ReceivedText()).hasMatch());
    EXPECT_TRUE(ReceivedText().endsWith("second\n"));

    // The host node empties both views; a click below the last row changes nothing.
    ClickItem(Host());
    EXPECT_TRUE(ReceivedText().isEmpty());
    EXPECT_FALSE(Enabled(Page::kDeleteId));
    EXPECT_TRUE(Enabled(Page::kStopListeningId));
    ClickItem(o);
    QTest::mouseClick(tree_->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(10, tree_->viewport()->height() - 3));
    EXPECT_TRUE(LogLine("unseen").match(ReceivedText()).hasMatch());
}

TEST_F(TcpServerPageTest, LinesEndedWithCarriageReturnShowOneLineBreakEach) {
    const std::uint16_t port = CreateServer();
    LoopbackPeer peer;
    const HTREEITEM entry = ConnectPeer(peer, port);
    ClickItem(entry);
    // The view shows the log as a text editor folds it: "\r\n" is one line break.
    const auto folded = [&] {
        return QString::fromStdU16String(ReceivedLog(entry)).replace("\r\n", "\n");
    };
    ASSERT_TRUE(peer.Send("GET / HTTP/1.0\r\nHost: x\r\n"));
    ASSERT_TRUE(WaitForReceived(entry, "Host: x\r\n"));
    ASSERT_TRUE(peer.Send("last\r\n"));
    ASSERT_TRUE(WaitForReceived(entry, "last\r\n"));
    // Appended while shown, then replaced whole when clicked again.
    EXPECT_TRUE(QTest::qWaitFor([&] { return ReceivedText() == folded(); }, kWaitMs))
        << ReceivedText().toStdString();
    ClickItem(Host());
    ClickItem(entry);
    EXPECT_EQ(ReceivedText(), folded());

    // A lone carriage return is a line break inside the paragraph, as a line feed is.
    const int blocksBefore = page_->ReceivedView()->document()->blockCount();
    ASSERT_TRUE(peer.Send("one\rtwo\rthree"));
    ASSERT_TRUE(WaitForReceived(entry, "one\rtwo\rthree"));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return ReceivedText().endsWith("one\ntwo\nthree\n"); }, kWaitMs))
        << ReceivedText().toStdString();
    EXPECT_EQ(page_->ReceivedView()->document()->blockCount(), blocksBefore + 1);
}

TEST_F(TcpServerPageTest, SendReachesThePeerByteForByteAndIsLogged) {
    const std::uint16_t port = CreateServer();
    LoopbackPeer peer;
    const HTREEITEM entry = ConnectPeer(peer, port);
    ClickItem(entry);

    // Trailing tab and line break are sent, the line break as CR LF; trailing spaces are
    // not sent.
    TypeIntoSendBox("hello");
    QTest::keyClick(page_->SendBox(), Qt::Key_Tab);
    QTest::keyClick(page_->SendBox(), Qt::Key_Return);
    QTest::keyClicks(page_->SendBox(), "two");
    QTest::keyClick(page_->SendBox(), Qt::Key_Return);
    QTest::keyClicks(page_->SendBox(), "  ");
    Click(Page::kSendId);
    EXPECT_EQ(peer.Receive(13), "hello\t\r\ntwo\r\n");
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return page_->SendBox()->toPlainText().isEmpty(); }, kWaitMs));
    EXPECT_TRUE(LogLine("hello\t\ntwo\n").match(SentText()).hasMatch()) << SentText().toStdString();
    EXPECT_EQ(Record(entry)->sentBytes, 13);

    // Only spaces: the sent view is emptied and nothing goes out (the next send arrives
    // alone).
    TypeIntoSendBox("   ");
    Click(Page::kSendId);
    EXPECT_TRUE(SentText().isEmpty());
    EXPECT_EQ(page_->SendBox()->toPlainText(), "   ");  // the text stays in the box
    TypeIntoSendBox("x");
    Click(Page::kSendId);
    EXPECT_EQ(peer.Receive(1), "x");
    EXPECT_TRUE(QTest::qWaitFor([&] { return Record(entry)->sentBytes == 14; }, kWaitMs));
    EXPECT_EQ(SentText(),
              QString::fromStdU16String(Record(entry)->sendLog.Text()).replace("\r\n", "\n"));
}

TEST_F(TcpServerPageTest, SentTextIsLoggedAsTheCodePageCarriedIt) {
    const std::string previous = GetAnsiCodePage();
    ASSERT_TRUE(SetAnsiCodePage("GBK"));
    const std::uint16_t port = CreateServer();
    LoopbackPeer peer;
    const HTREEITEM entry = ConnectPeer(peer, port);
    ClickItem(entry);
    page_->SendBox()->setPlainText(QStringLiteral("你好\U0001F600"));
    Click(Page::kSendId);
    EXPECT_EQ(peer.Receive(5), "\xC4\xE3\xBA\xC3?");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return LogLine(QStringLiteral("你好?")).match(SentText()).hasMatch(); }, kWaitMs))
        << SentText().toStdString();
    SetAnsiCodePage(previous);
}

TEST_F(TcpServerPageTest, SendAndClearsExplainWhatIsMissing) {
    ModalAnswer noReceiver;
    Click(Page::kSendId);
    EXPECT_EQ(noReceiver.Text(), QStringLiteral("请选择接收端！"));
    EXPECT_EQ(noReceiver.Caption(), QStringLiteral("提示!"));
    for (int clear : {Page::kClearReceivedId, Page::kClearSentId}) {
        ModalAnswer nothingSelected;
        Click(clear);
        EXPECT_EQ(nothingSelected.Text(), QStringLiteral("未选择要清除的连接"));
        EXPECT_EQ(nothingSelected.Caption(), QStringLiteral("提示"));
    }

    const std::uint16_t port = CreateServer();
    LoopbackPeer peer;
    const HTREEITEM entry = ConnectPeer(peer, port);
    ClickItem(entry);
    Click(Page::kDisconnectId);
    ExpectSendRefused("late", QStringLiteral("未建立链接！"), QStringLiteral("提示!"));
}

TEST_F(TcpServerPageTest, ClearsEmptyLogsCountersAndViews) {
    const std::uint16_t port = CreateServer();
    LoopbackPeer peer;
    const HTREEITEM entry = ConnectPeer(peer, port);
    ClickItem(entry);
    ASSERT_TRUE(peer.Send("old"));
    ASSERT_TRUE(WaitForReceived(entry, "old"));
    TypeIntoSendBox("out");
    Click(Page::kSendId);
    ASSERT_EQ(peer.Receive(3), "out");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Record(entry)->sentBytes == 3; }, kWaitMs));

    Click(Page::kClearReceivedId);
    EXPECT_TRUE(ReceivedLog(entry).empty());
    EXPECT_EQ(Record(entry)->recvBytes, 0);
    EXPECT_TRUE(ReceivedText().isEmpty());
    ASSERT_TRUE(peer.Send("new"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ReceivedText().isEmpty(); }, kWaitMs));
    EXPECT_TRUE(LogLine("new").match(ReceivedText()).hasMatch()) << ReceivedText().toStdString();

    Click(Page::kClearSentId);
    EXPECT_TRUE(Record(entry)->sendLog.Empty());
    EXPECT_EQ(Record(entry)->sentBytes, 0);
    EXPECT_TRUE(SentText().isEmpty());
}

TEST_F(TcpServerPageTest, DisconnectAndPeerCloseTurnEntriesClosed) {
    const std::uint16_t port = CreateServer();
    LoopbackPeer byPage, quiet, chatty;
    const HTREEITEM a = ConnectPeer(byPage, port);
    const HTREEITEM b = ConnectPeer(quiet, port);
    const HTREEITEM c = ConnectPeer(chatty, port);

    // Disconnect: the peer sees the end; the entry shows closed, also after the close report.
    ClickItem(a);
    Click(Page::kDisconnectId);
    EXPECT_TRUE(byPage.WaitClosedByPage());
    EXPECT_EQ(Image(a), kImageEntryClosed);
    EXPECT_FALSE(Enabled(Page::kDisconnectId));
    EXPECT_TRUE(Enabled(Page::kDeleteId));
    EXPECT_EQ(Record(a)->sock, INVALID_SOCKET);

    // The shown entry's peer closes after data shown as it arrived: image 2 (the data was
    // seen), Disconnect disabled.
    ClickItem(b);
    EXPECT_TRUE(Enabled(Page::kDisconnectId));
    ASSERT_TRUE(quiet.Send("seen"));
    ASSERT_TRUE(WaitForReceived(b, "seen"));
    quiet.Close();
    ASSERT_TRUE(WaitForImage(b, kImageEntryClosed));
    EXPECT_FALSE(Enabled(Page::kDisconnectId));

    // Another entry's peer closes with unseen data: image 4; the shown entry, still open,
    // keeps its Disconnect.
    LoopbackPeer shown;
    const HTREEITEM d = ConnectPeer(shown, port);
    ClickItem(d);
    ASSERT_TRUE(chatty.Send("bye"));
    ASSERT_TRUE(WaitForImage(c, kImageEntryOpenUnread));
    chatty.Close();
    ASSERT_TRUE(WaitForImage(c, kImageEntryClosedUnread));
    EXPECT_TRUE(Enabled(Page::kDisconnectId));
    ClickItem(c);
    EXPECT_EQ(Image(c), kImageEntryClosed);
    EXPECT_TRUE(LogLine("bye").match(ReceivedText()).hasMatch());
    EXPECT_FALSE(Enabled(Page::kDisconnectId));
}

TEST_F(TcpServerPageTest, DeleteRemovesTheEntryAndClosesItsConnection) {
    const std::uint16_t port = CreateServer();
    LoopbackPeer keep, gone;
    const HTREEITEM k = ConnectPeer(keep, port);
    const HTREEITEM g = ConnectPeer(gone, port);
    const std::uint32_t goneId = Record(g)->id;
    ClickItem(g);

    Click(Page::kDeleteId);
    EXPECT_TRUE(gone.WaitClosedByPage());
    ASSERT_EQ(Entries().size(), 1u);
    EXPECT_EQ(Entries()[0], k);
    {
        UiCritSecGuard lock(g_connectLock);
        EXPECT_EQ(page_->Engine().Connections().count(goneId), 0u);
        EXPECT_EQ(page_->Engine().Connections().size(), 1u);
    }

    // Delete on the host node removes nothing.
    ClickItem(Host());
    Click(Page::kDeleteId);
    EXPECT_EQ(Entries().size(), 1u);

    // The remaining connection still works.
    ASSERT_TRUE(keep.Send("still here"));
    ASSERT_TRUE(WaitForReceived(k, "still here"));
}

TEST_F(TcpServerPageTest, StopListeningKeepsConnectionsAndListenGivesTheNextIds) {
    const std::uint16_t port = CreateServer();
    LoopbackPeer before;
    const HTREEITEM b = ConnectPeer(before, port);

    Click(Page::kStopListeningId);
    EXPECT_EQ(Image(Host()), kImageHostIdle);
    EXPECT_TRUE(Enabled(Page::kListenId));
    EXPECT_FALSE(Enabled(Page::kStopListeningId));
    LoopbackPeer refused;
    EXPECT_FALSE(refused.Connect(port));

    // Open connections keep working both ways.
    ASSERT_TRUE(before.Send("ping"));
    ASSERT_TRUE(WaitForReceived(b, "ping"));
    ClickItem(b);
    TypeIntoSendBox("pong");
    Click(Page::kSendId);
    EXPECT_EQ(before.Receive(4), "pong");

    // Showing an entry disables Listen; the host node offers it again.
    EXPECT_FALSE(Enabled(Page::kListenId));
    ClickItem(Host());
    EXPECT_TRUE(Enabled(Page::kListenId));
    Click(Page::kListenId);
    EXPECT_EQ(Image(Host()), kImageHostOpen);
    EXPECT_FALSE(Enabled(Page::kListenId));
    LoopbackPeer after;
    const HTREEITEM a = ConnectPeer(after, port);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(Record(a)->id, 1u);
}

TEST_F(TcpServerPageTest, PortInUseReportsFailureAndLeavesListenEnabled) {
    LoopbackPeer unused;
    // Another socket holds the port.
    const int holder = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    ::getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length);
    const std::uint16_t port = ntohs(address.sin_port);

    ModalAnswer portDialog(
        ModalAnswer::TypeInto(CSetListenDlg::kPortFieldId, QString::number(port)));
    ModalAnswer failure;
    Click(Page::kCreateId);
    // The reason on a second line.
    EXPECT_EQ(failure.Text(),
              QStringLiteral("监听启动失败\n端口已被占用：另一个套接字正在使用这个端口。"));
    EXPECT_EQ(failure.Caption(), QStringLiteral("错误！"));
    EXPECT_EQ(tree_->GetItemText(Host()), QStringLiteral("127.0.0.1:%1").arg(port));
    EXPECT_EQ(Image(Host()), kImageHostIdle);
    EXPECT_TRUE(Enabled(Page::kListenId));
    EXPECT_FALSE(Enabled(Page::kStopListeningId));

    // Once the port is free, Listen succeeds on it.
    ::close(holder);
    Click(Page::kListenId);
    EXPECT_EQ(Image(Host()), kImageHostOpen);
    LoopbackPeer peer;
    EXPECT_NE(ConnectPeer(peer, port), nullptr);
}

TEST_F(TcpServerPageTest, PortDialogCancelZeroChangeNothingAndCreateReplacesAStoppedPort) {
    {
        ModalAnswer cancel(ModalAnswer::Press(ModalAnswer::Cancel));
        Click(Page::kCreateId);
        ASSERT_TRUE(cancel.Answered());
    }
    {
        ModalAnswer zero(ModalAnswer::TypeInto(CSetListenDlg::kPortFieldId, "0"));
        Click(Page::kCreateId);
        ASSERT_TRUE(zero.Answered());
    }
    {
        // 65536 is refused in the dialog, which then is cancelled.
        ModalAnswer tooLarge(ModalAnswer::TypeInto(CSetListenDlg::kPortFieldId, "65536"));
        ModalAnswer message;
        QTimer cancelLater;
        cancelLater.setInterval(20);
        QObject::connect(&cancelLater, &QTimer::timeout, [&] {
            QWidget* dialog = ActiveModal();
            if (!message.Answered() || !dialog)
                return;
            cancelLater.stop();
            QTest::mouseClick(FindControlAs<QAbstractButton>(dialog, 2), Qt::LeftButton);
        });
        cancelLater.start();
        Click(Page::kCreateId);
        EXPECT_EQ(message.Text(), QStringLiteral("输入的端口号有错！"));
    }
    EXPECT_EQ(tree_->GetItemText(Host()), "127.0.0.1");
    EXPECT_EQ(Image(Host()), kImageHostIdle);
    EXPECT_FALSE(Enabled(Page::kListenId));

    // While the server listens, Create says on which port and asks nothing.
    const std::uint16_t port = CreateServer();
    {
        ModalAnswer told;
        Click(Page::kCreateId);
        ASSERT_TRUE(told.Answered());
        EXPECT_EQ(told.DialogClass(), "QMessageBox");
        EXPECT_EQ(told.Text(), QStringLiteral("已在端口 %1 监听").arg(port));
        EXPECT_EQ(told.Caption(), QStringLiteral("提示"));
    }
    EXPECT_EQ(tree_->GetItemText(Host()), QStringLiteral("127.0.0.1:%1").arg(port));

    // Stopped, Create asks again; the new port replaces the old one and the server listens
    // there, also after stopping and listening again.
    Click(Page::kStopListeningId);
    std::uint16_t next = FreeLoopbackPort();
    for (int i = 0; i < 10 && next == port; ++i) next = FreeLoopbackPort();
    ASSERT_NE(next, port);
    CreateServer(next);
    EXPECT_EQ(tree_->GetItemText(Host()), QStringLiteral("127.0.0.1:%1").arg(next));
    EXPECT_EQ(page_->GetHostNode()->info->port, next);
    EXPECT_EQ(Image(Host()), kImageHostOpen);
    Click(Page::kStopListeningId);
    Click(Page::kListenId);
    LoopbackPeer onNext, onOld;
    EXPECT_NE(ConnectPeer(onNext, next), nullptr);
    EXPECT_FALSE(onOld.Connect(port));
}

TEST_F(TcpServerPageTest, EscapeAndReturnNeverEndThePage) {
    // The page inside a dialog, as the frame hosts it.
    QDialog frame;
    auto* layout = new QVBoxLayout(&frame);
    page_->setParent(&frame);
    layout->addWidget(page_.get());
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    bool ended = false;
    QObject::connect(&frame, &QDialog::finished, [&] { ended = true; });

    tree_->setFocus();
    QTest::keyClick(tree_, Qt::Key_Escape);
    QTest::keyClick(tree_, Qt::Key_Return);
    QTest::keyClick(Button(Page::kCreateId), Qt::Key_Escape);
    page_->SendBox()->setFocus();
    QTest::keyClick(page_->SendBox(), Qt::Key_Escape);
    QTest::keyClick(page_->SendBox(), Qt::Key_Return);
    EXPECT_FALSE(ended);
    EXPECT_TRUE(frame.isVisible());
    EXPECT_TRUE(page_->isVisible());
    EXPECT_EQ(page_->SendBox()->toPlainText(), "\n");  // Return starts a new line there
    page_->setParent(nullptr);
}

TEST_F(TcpServerPageTest, ExchangesWithSocatAsThePeer) {
    const std::uint16_t port = CreateServer();
    QProcess socat;
    socat.start("socat", {"-", QStringLiteral("TCP:127.0.0.1:%1").arg(port)});
    ASSERT_TRUE(socat.waitForStarted(kWaitMs));
    const HTREEITEM entry = WaitForEntries(1);
    ASSERT_NE(entry, nullptr);
    socat.write("from socat\n");
    ASSERT_TRUE(WaitForReceived(entry, "from socat\n"));

    ClickItem(entry);
    TypeIntoSendBox("to socat");
    Click(Page::kSendId);
    ASSERT_TRUE(QTest::qWaitFor([&] { return socat.bytesAvailable() >= 8; }, kWaitMs));
    EXPECT_EQ(socat.readAll(), "to socat");

    socat.closeWriteChannel();  // socat ends its connection
    EXPECT_TRUE(WaitForImage(entry, kImageEntryClosed));
    socat.waitForFinished(kWaitMs);
}

}  // namespace
