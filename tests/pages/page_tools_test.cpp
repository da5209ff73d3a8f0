// The page tools driven through their menus on real pages with real peers on 127.0.0.1:
// timed sends, sending a file, echo.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFile>
#include <QMenu>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <atomic>
#include <thread>

#include "pages/core/page_tool.h"
#include "pages/dialogs/timed_send_dlg.h"
#include "pages/send/typed_text.h"
#include "pages/tools/echo_tool.h"
#include "pages/tools/file_send_tool.h"
#include "pages/tools/timed_send_tool.h"
#include "tests/pages/menu_click.h"
#include "tests/pages/page_test_support.h"
#include "tests/pages/udp_page_test_support.h"

namespace {

bool ClickSendBoxItem(CDialogP& page, const QString& text) {
    QWidget* viewport = page.SendBox()->viewport();
    return ClickMenuEntry(viewport, viewport->rect().center(), text);
}

bool ClickHostItem(CDialogP& page, const QString& text) {
    CTreeCtrlEx* tree = page.Tree();
    const QRect row = tree->visualItemRect(CTreeCtrlEx::FromHandle(tree->GetRootItem()));
    return ClickMenuEntry(tree->viewport(), row.center(), text);
}

// Bytes whose pattern (period 251, shifted at every 64 KiB boundary: the send queue's file
// chunk) shows a chunk lost, repeated or misplaced.
std::string Patterned(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i % 251 + (i / (64 * 1024)) * 17);
    return bytes;
}

// A TCP peer with a small receive buffer, so that a page's messages wait while it does not
// read.
class SlowPeer {
public:
    explicit SlowPeer(std::uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int size = 4096;
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~SlowPeer() { ::close(fd_); }
    bool Connected() const { return connected_; }
    int Fd() const { return fd_; }
    // Reads until `count` bytes came or nothing came for `quiet`.
    std::string Read(std::size_t count, std::chrono::milliseconds quiet) {
        std::string out;
        std::vector<char> buffer(1 << 16);
        while (out.size() < count) {
            pollfd wait{fd_, POLLIN, 0};
            if (::poll(&wait, 1, static_cast<int>(quiet.count())) <= 0)
                break;
            const ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), 0);
            if (n <= 0)
                break;
            out.append(buffer.data(), static_cast<std::size_t>(n));
        }
        return out;
    }

private:
    int fd_ = -1;
    bool connected_ = false;
};

// Notes when one record's reception ends, as the page's tools learn it; a child of the page,
// so that it goes with it.
struct ReceptionWatch : QObject, PageTool {
    ReceptionWatch(CDialogP& page, const ConnectInfo* watched) : QObject(&page), record(watched) {
        page.AddTool(*this);
    }
    void ReceptionEnded(ConnectInfo& which) override { ended = ended || &which == record; }
    const ConnectInfo* record;
    bool ended = false;
};

class TcpToolsTest : public TcpServerPageTest {
protected:
    void SetUp() override {
        TcpServerPageTest::SetUp();
        // The peers that stop reading here must not raise the page's stall message box
        // however slow the machine.
        page_->SetSendStallTimeoutForTesting(std::chrono::minutes(10));
    }
};

TEST_F(TcpToolsTest, TimedSendsGoOneAtATimeAndSkipTicksWhileThePeerDoesNotRead) {
    const std::uint16_t port = CreateServer();
    auto* tool = page_->findChild<TimedSendTool*>();
    ASSERT_NE(tool, nullptr);

    // Without a shown entry the command is refused.
    {
        ModalAnswer refused;
        ASSERT_TRUE(ClickSendBoxItem(*page_, QStringLiteral("定时发送…")));
        ASSERT_TRUE(refused.WaitAnswered());
        EXPECT_EQ(refused.Text(), QStringLiteral("请选择接收端！"));
    }

    // A reading peer: 100 sends at 5 ms, all arrive, each logged, then the end line.
    LoopbackPeer reader;
    const HTREEITEM entry = ConnectPeer(reader, port);
    ClickItem(entry);
    TypeIntoSendBox(QStringLiteral("tick;"));
    {
        ModalAnswer asked(ModalAnswer::TypeInto(CTimedSendDlg::kIntervalFieldId, "5")
                              .TypeInto(CTimedSendDlg::kCountFieldId, "100"));
        ASSERT_TRUE(ClickSendBoxItem(*page_, QStringLiteral("定时发送…")));
        ASSERT_TRUE(asked.WaitAnswered());
    }
    EXPECT_TRUE(tool->IsRunning());
    std::string arrived;  // read while the window runs the sends
    (void)QTest::qWaitFor(
        [&] {
            arrived += reader.Receive(500 - arrived.size(), std::chrono::milliseconds(5));
            return arrived.size() >= 500;
        },
        kWaitMs);
    std::string expected;
    for (int i = 0; i < 100; ++i) expected += "tick;";
    EXPECT_EQ(arrived, expected);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !tool->IsRunning(); }, kWaitMs));
    EXPECT_EQ(tool->Sender().SentCount(), 100);
    EXPECT_TRUE(reader.Receive(1, std::chrono::milliseconds(50)).empty());  // nothing more
    ASSERT_TRUE(QTest::qWaitFor([&] { return SentText().count(QStringLiteral("tick;\n")) == 100; },
                                kWaitMs));
    EXPECT_TRUE(SentText().contains(
        QRegularExpression(QStringLiteral("（定时发送结束：发送 100 次，跳过 \\d+ 次）\\n$"))))
        << SentText().right(200).toStdString();
    EXPECT_EQ(page_->SendBox()->toPlainText(), QStringLiteral("tick;"));  // the box keeps it

    // A peer that stops reading: ticks are skipped, never a second message queued behind
    // the waiting one; the menu reads "停止定时发送" and stops it.
    SlowPeer slow(port);
    ASSERT_TRUE(slow.Connected());
    const HTREEITEM slowEntry = WaitForEntries(2);
    ClickItem(slowEntry);
    QString big;
    for (int i = 0; i < 256; ++i) big += QString(1023, QChar(u'a' + i % 26)) + u'\n';
    page_->SendBox()->setPlainText(big);
    const std::size_t size = TypedTextToWire(big)->size();
    {
        ModalAnswer asked(ModalAnswer::TypeInto(CTimedSendDlg::kIntervalFieldId, "5")
                              .TypeInto(CTimedSendDlg::kCountFieldId, "0"));
        ASSERT_TRUE(ClickSendBoxItem(*page_, QStringLiteral("定时发送…")));
        ASSERT_TRUE(asked.WaitAnswered());
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return tool->Sender().SkippedCount() >= 20; }, kWaitMs));
    EXPECT_LE(page_->SendQueue().PendingBytes(Record(slowEntry)), size);
    ASSERT_TRUE(ClickSendBoxItem(*page_, QStringLiteral("停止定时发送")));
    EXPECT_FALSE(tool->IsRunning());
    const std::int64_t sent = tool->Sender().SentCount();
    EXPECT_GE(sent, 1);
    const std::string got = slow.Read(sent * size + 1, std::chrono::milliseconds(500));
    EXPECT_EQ(got.size(), sent * size);
    std::string all;
    for (std::int64_t i = 0; i < sent; ++i) all += *TypedTextToWire(big);
    EXPECT_TRUE(got == all);  // whole messages, none twice
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return SentText().contains(QStringLiteral("（定时发送结束：发送 %1 次，跳过 %2 次）")
                                           .arg(sent)
                                           .arg(tool->Sender().SkippedCount()));
        },
        kWaitMs));

    // A run ends by itself when the peer goes. The page learns it from the receive thread
    // (the connection ends) or from a send that fails first ("对方已经断开！"): which comes
    // first depends on the machine, so either is accepted, and the test ends only once the
    // connection is over and nothing waits to go, when no box can come any more.
    ConnectInfo* const record = Record(entry);
    auto* watch = new ReceptionWatch(*page_, record);
    ClickItem(entry);
    TypeIntoSendBox(QStringLiteral("x"));
    {
        ModalAnswer asked(ModalAnswer::TypeInto(CTimedSendDlg::kIntervalFieldId, "20")
                              .TypeInto(CTimedSendDlg::kCountFieldId, "0"));
        ASSERT_TRUE(ClickSendBoxItem(*page_, QStringLiteral("定时发送…")));
        ASSERT_TRUE(asked.WaitAnswered());
    }
    EXPECT_TRUE(tool->IsRunning());
    ModalAnswer gone;  // the box of a failed send, if there is one
    reader.Close();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return !tool->IsRunning() && watch->ended && !page_->MessageWaiting(record) &&
                   ActiveModal() == nullptr;
        },
        kWaitMs));
    if (gone.Answered()) {
        EXPECT_EQ(gone.Text(), QStringLiteral("对方已经断开！"));
    }
}

TEST_F(TcpToolsTest, AFileStreamsThroughThePageIntactAndAnUnreadableOneIsRefused) {
    const std::uint16_t port = CreateServer();
    LoopbackPeer peer;
    const HTREEITEM entry = ConnectPeer(peer, port);
    ClickItem(entry);
    auto* tool = page_->findChild<FileSendTool*>();
    ASSERT_NE(tool, nullptr);
    QTemporaryDir dir;
    QString chosen;
    tool->SetFileChooserForTesting([&] { return chosen; });

    // Unreadable: told, nothing sent.
    chosen = dir.filePath("missing.bin");
    {
        ModalAnswer refused;
        ASSERT_TRUE(ClickSendBoxItem(*page_, QStringLiteral("发送文件…")));
        ASSERT_TRUE(refused.WaitAnswered());
        EXPECT_EQ(refused.Text(), QStringLiteral("无法读取文件：") + chosen);
    }

    // A few MiB and a bit, across many chunk boundaries.
    const std::string content = Patterned(3 * 1024 * 1024 + 4321);
    chosen = dir.filePath("data.bin");
    {
        QFile file(chosen);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content.data(), static_cast<qint64>(content.size()));
    }
    ASSERT_TRUE(ClickSendBoxItem(*page_, QStringLiteral("发送文件…")));
    const std::string received = peer.Receive(content.size(), std::chrono::seconds(10));
    ASSERT_EQ(received.size(), content.size());
    EXPECT_TRUE(received == content);  // not printed: megabytes
    const QString line = QStringLiteral("（文件 data.bin，%1 字节）\n").arg(content.size());
    ASSERT_TRUE(QTest::qWaitFor([&] { return SentText().endsWith(line); }, kWaitMs))
        << SentText().toStdString();
    EXPECT_TRUE(SentText().contains(
        QStringLiteral("（正在发送文件 data.bin，共 %1 字节）").arg(content.size())));
    EXPECT_EQ(Record(entry)->sentBytes, static_cast<std::int64_t>(content.size()));
}

TEST_F(TcpToolsTest, EchoSendsTheStreamBackAndPausesReadingFromAPeerThatDoesNotRead) {
    const std::uint16_t port = CreateServer();
    auto* echo = page_->findChild<EchoTool*>();
    ASSERT_NE(echo, nullptr);
    EXPECT_FALSE(echo->IsOn());
    // Only the host node offers it.
    LoopbackPeer before;
    const HTREEITEM first = ConnectPeer(before, port);
    ASSERT_TRUE(before.Send("not echoed"));
    ASSERT_TRUE(WaitForReceived(first, "not echoed"));
    const QRect row = tree_->visualItemRect(CTreeCtrlEx::FromHandle(first));
    EXPECT_FALSE(ClickMenuEntry(tree_->viewport(), row.center(), QStringLiteral("回显")));
    ASSERT_TRUE(ClickHostItem(*page_, QStringLiteral("回显")));
    ASSERT_TRUE(echo->IsOn());

    // A known stream from a peer that reads comes back byte for byte, and only it.
    const std::string stream = Patterned(2 * 1024 * 1024);
    std::thread writer([&] { before.Send(stream); });
    // Read on a thread of its own (it gives up after 20 s), so that the window runs all along.
    std::string back;
    std::atomic<bool> backDone = false;
    std::thread reader([&] {
        back = before.Receive(stream.size(), std::chrono::seconds(20));
        backDone = true;
    });
    while (!backDone) QApplication::processEvents();
    reader.join();
    writer.join();
    EXPECT_EQ(back.size(), stream.size());
    EXPECT_TRUE(back == stream);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return Record(first)->sentBytes == static_cast<std::int64_t>(stream.size()); },
        kWaitMs));

    // A peer that sends 40 MiB and reads nothing: at most about 16 MiB wait for it, the
    // window goes on, the peer's sending stops; once it reads, all of it comes back.
    SlowPeer slow(port);
    ASSERT_TRUE(slow.Connected());
    const HTREEITEM slowEntry = WaitForEntries(2);
    ConnectInfo* slowRecord = Record(slowEntry);
    const std::string flood = Patterned(40 * 1024 * 1024);
    std::atomic<std::size_t> written = 0;
    std::thread flooder([&] {
        while (written < flood.size()) {
            const ssize_t n =
                ::send(slow.Fd(), flood.data() + written,
                       std::min<std::size_t>(1 << 16, flood.size() - written), MSG_NOSIGNAL);
            if (n <= 0)
                return;
            written += static_cast<std::size_t>(n);
        }
    });
    // A busy window until the page has paused the peer and kept it paused a moment (2 s at
    // most).
    const auto paused = [&] {
        UiCritSecGuard lock(g_connectLock);
        return slowRecord->receivePaused;
    };
    std::uint64_t most = 0;
    for (int i = 0, pausedFor = 0; i < 200 && pausedFor < 10; ++i) {
        QTest::qWait(10);
        most = std::max(most, page_->SendQueue().PendingBytes(slowRecord));
        pausedFor = paused() ? pausedFor + 1 : 0;
    }
    EXPECT_GT(most, EchoTool::kResumeAt);
    EXPECT_LE(most, EchoTool::kMaxWaiting + (4 << 20));  // batches read before the pause
    EXPECT_LT(written.load(), flood.size());             // held back by the pause
    {
        UiCritSecGuard lock(g_connectLock);
        EXPECT_TRUE(slowRecord->receivePaused);
    }
    // Read with a larger buffer from now on, in bigger gulps: what is checked is the bytes.
    int larger = 4 << 20;
    ::setsockopt(slow.Fd(), SOL_SOCKET, SO_RCVBUF, &larger, sizeof larger);
    std::string echoed;
    echoed.reserve(flood.size());
    const auto floodDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (echoed.size() < flood.size() && std::chrono::steady_clock::now() < floodDeadline) {
        QApplication::processEvents();
        echoed += slow.Read(std::min<std::size_t>(flood.size() - echoed.size(), 4 << 20),
                            std::chrono::milliseconds(5));
    }
    if (echoed.size() < flood.size())
        ::shutdown(slow.Fd(), SHUT_RDWR);  // the flooder's send returns
    flooder.join();
    EXPECT_EQ(echoed.size(), flood.size());
    EXPECT_TRUE(echoed == flood);

    // Off: nothing more is echoed.
    ASSERT_TRUE(ClickHostItem(*page_, QStringLiteral("回显")));
    EXPECT_FALSE(echo->IsOn());
    ASSERT_TRUE(before.Send("quiet"));
    ASSERT_TRUE(WaitForReceived(first, "quiet"));
    QTest::qWait(50);
    EXPECT_TRUE(before.Receive(1, std::chrono::milliseconds(100)).empty());
}

TEST_F(TcpToolsTest, SendToAllSendsWhatSendSendsAndDisconnectAllNotesWhatDidNotGo) {
    const std::uint16_t port = CreateServer();
    LoopbackPeer reader;
    ConnectPeer(reader, port);
    SlowPeer slow(port);
    ASSERT_TRUE(slow.Connected());
    ConnectInfo* slowRecord = Record(WaitForEntries(2));
    QPlainTextEdit* box = page_->SendBox();
    const auto paste = [&](const QString& text) {
        QApplication::clipboard()->setText(text);
        box->setFocus();
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    };

    // A long pasted line goes as it was pasted (nothing at the box's soft breaks), and the box
    // empties once it went, as after Send.
    paste(QString(10000, u'z'));
    ASSERT_TRUE(ClickHostItem(*page_, QStringLiteral("发送给全部")));
    EXPECT_TRUE(reader.Receive(10000) == std::string(10000, 'z'));
    EXPECT_TRUE(QTest::qWaitFor([&] { return box->toPlainText().isEmpty(); }, kWaitMs));

    // Hex send is honoured; a last digit without its pair is refused, saying so.
    ASSERT_TRUE(ClickSendBoxItem(*page_, QStringLiteral("十六进制发送")));
    QTest::keyClicks(box, "41 42 43");
    ASSERT_TRUE(ClickHostItem(*page_, QStringLiteral("发送给全部")));
    EXPECT_EQ(reader.Receive(3), "ABC");  // and nothing before it
    box->clear();
    QTest::keyClicks(box, "414");
    {
        ModalAnswer refused;
        ASSERT_TRUE(ClickHostItem(*page_, QStringLiteral("发送给全部")));
        ASSERT_TRUE(refused.WaitAnswered());
        EXPECT_EQ(refused.Text(), QStringLiteral("最后一个十六进制数字不成对"));
    }
    ASSERT_TRUE(ClickSendBoxItem(*page_, QStringLiteral("十六进制发送")));

    // The peer that does not read has bytes waiting; "全部断开" drops them as Disconnect does,
    // saying how many did not go.
    const std::size_t big = 4u << 20;
    box->clear();
    paste(QString(static_cast<qsizetype>(big), u'w'));
    ASSERT_TRUE(ClickHostItem(*page_, QStringLiteral("发送给全部")));
    EXPECT_EQ(reader.Receive(big, std::chrono::seconds(20)).size(), big);
    ASSERT_TRUE(page_->SendQueue().HasPending(slowRecord));
    ASSERT_TRUE(ClickHostItem(*page_, QStringLiteral("全部断开")));
    const QRegularExpression note(QStringLiteral("（未发出 (\\d+) 字节：连接已断开）\n$"));
    EXPECT_TRUE(note.match(QString::fromStdU16String(slowRecord->sendLog.Text())).hasMatch());
    EXPECT_FALSE(page_->SendQueue().HasPending(slowRecord));
}

using UdpToolsTest = UdpPageTest<CUdpServerDlg>;

TEST_F(UdpToolsTest, EchoReturnsEachDatagramAndAFileGoesAsOneDatagramUpToTheLimit) {
    const std::uint16_t port = CreateUdpServer(*page_);
    UdpPeer peer;
    ASSERT_TRUE(peer.SendTo(port, "first"));
    const HTREEITEM entry = WaitForEntries(1);
    ASSERT_TRUE(WaitForReceived(entry, "first"));
    ASSERT_TRUE(ClickHostItem(*page_, QStringLiteral("回显")));
    for (int i = 0; i < 20; ++i) {
        std::string datagram = Patterned(100 + i * 37);
        datagram[0] = static_cast<char>('A' + i);
        ASSERT_TRUE(peer.SendTo(port, datagram));
        std::optional<UdpPeer::Datagram> back;
        ASSERT_TRUE(QTest::qWaitFor([&] { return (back = peer.Receive(0)).has_value(); }, kWaitMs))
            << i;
        EXPECT_TRUE(back->bytes == datagram) << i;
        EXPECT_EQ(back->fromPort, port);
    }
    ASSERT_TRUE(ClickHostItem(*page_, QStringLiteral("回显")));

    // A file: up to 65,507 bytes one datagram, logged with its line; beyond, refused.
    ClickItem(entry);
    auto* tool = page_->findChild<FileSendTool*>();
    QTemporaryDir dir;
    QString chosen = dir.filePath("largest.bin");
    const std::string largest = Patterned(65507);
    {
        QFile file(chosen);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(largest.data(), static_cast<qint64>(largest.size()));
    }
    tool->SetFileChooserForTesting([&] { return chosen; });
    ASSERT_TRUE(ClickSendBoxItem(*page_, QStringLiteral("发送文件…")));
    std::optional<UdpPeer::Datagram> file;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (file = peer.Receive(0)).has_value(); }, kWaitMs));
    EXPECT_TRUE(file->bytes == largest);
    EXPECT_TRUE(SentText().endsWith(QStringLiteral("（文件 largest.bin，65507 字节）\n")));
    {
        QFile grown(chosen);
        ASSERT_TRUE(grown.open(QIODevice::Append));
        grown.write("x", 1);
    }
    ModalAnswer refused;
    ASSERT_TRUE(ClickSendBoxItem(*page_, QStringLiteral("发送文件…")));
    ASSERT_TRUE(refused.WaitAnswered());
    EXPECT_EQ(refused.Text(), QStringLiteral("文件超过 65507 字节，无法作为一个数据报发送。"));
    EXPECT_FALSE(peer.Receive(100).has_value());
}

}  // namespace
