// What the sent view shows while a TCP message waits for a slow peer: the log stays, the
// waiting message shows at once with how far it has gone and becomes a stamped line when its
// last byte went; the stall box closes itself when the peer takes the rest; Disconnect with
// bytes waiting leaves a line saying how many did not go.
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QRegularExpression>
#include <atomic>
#include <thread>

#include "tests/pages/menu_click.h"
#include "tests/pages/page_test_support.h"

namespace {

using Page = CTcpServerDlg;

// Lines of 63 characters, each line break sent as CR LF.
constexpr int kLines = 4096;
constexpr std::size_t kWireSize = kLines * 65;

const QRegularExpression kWaiting(QStringLiteral("（等待发送：已发出 (\\d+) / (\\d+) 字节）$"));

class WaitingSendTest : public TcpServerPageTest {
protected:
    // Presses Send with a large message until bytes wait for the entry; the number of presses.
    std::size_t FillUntilWaiting(HTREEITEM entry, char16_t letter) {
        const QString message = (QString(63, QChar(letter)) + u'\n').repeated(kLines);
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

TEST_F(WaitingSendTest, TheSentViewShowsTheWaitingMessageAndTheStallBoxClosesItself) {
    page_->SetSendStallTimeoutForTesting(std::chrono::milliseconds(300));
    const std::uint16_t port = CreateServer();
    LoopbackPeer peer;
    const HTREEITEM entry = ConnectPeer(peer, port);
    ClickItem(entry);
    TypeIntoSendBox("short one");
    Click(Page::kSendId);
    ASSERT_EQ(peer.Receive(9), "short one");
    ASSERT_TRUE(QTest::qWaitFor([&] { return SentText().contains("short one"); }, kWaitMs));

    // At once: the log stays, the waiting message below it.
    const std::size_t queued = FillUntilWaiting(entry, u'x');
    const QRegularExpressionMatch waiting = kWaiting.match(SentText());
    ASSERT_TRUE(waiting.hasMatch()) << SentText().toStdString().substr(0, 200);
    EXPECT_EQ(waiting.captured(2).toULongLong(), kWireSize);
    EXPECT_LT(waiting.captured(1).toULongLong(), kWireSize);
    // What stands above it is the log's tail (the view keeps a tail of a long log).
    const QString log =
        QString::fromStdU16String(Record(entry)->sendLog.Text()).remove(QChar(u'\r'));
    const QString above = SentText().left(waiting.capturedStart());
    EXPECT_TRUE(log.endsWith(above.right(1000)));
    EXPECT_TRUE(above.endsWith(u'\n'));

    // The stall box comes; the peer then reads everything (on a thread of the test, since
    // the box holds this one), and the box goes by itself.
    std::atomic<bool> boxUp{false};
    bool forcedClose = false;  // the box stayed: closed by the test, so that it ends
    QElapsedTimer upFor;
    QTimer watch;
    watch.setInterval(10);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (!boxUp.exchange(true))
            upFor.start();
        if (upFor.elapsed() > 30000) {
            forcedClose = true;
            box->reject();
        }
    });
    watch.start();
    const std::size_t total = queued * kWireSize;
    std::string received;
    std::thread reader([&] {
        for (int i = 0; i < 3000 && !boxUp; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        received = peer.Receive(total, std::chrono::seconds(30));
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxUp.load(); }, 20000));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return !page_->SendQueue().HasPending(Record(entry)) &&
                   QApplication::activeModalWidget() == nullptr;
        },
        30000));
    reader.join();
    watch.stop();
    EXPECT_FALSE(forcedClose);
    EXPECT_EQ(received.size(), total);
    EXPECT_EQ(static_cast<std::size_t>(Record(entry)->sentBytes), total + 9);
    // Ordinary stamped lines now, no waiting line.
    EXPECT_FALSE(kWaiting.match(SentText()).hasMatch());
    EXPECT_TRUE(SentText().trimmed().endsWith(QString(63, u'x')));
}

TEST_F(WaitingSendTest, DisconnectWithBytesWaitingSaysHowManyDidNotGo) {
    page_->SetSendStallTimeoutForTesting(std::chrono::seconds(60));
    const std::uint16_t port = CreateServer();
    LoopbackPeer peer;
    const HTREEITEM entry = ConnectPeer(peer, port);
    ClickItem(entry);
    const std::size_t queued = FillUntilWaiting(entry, u'y');
    const std::uint64_t waiting = page_->SendQueue().WaitingBytes(Record(entry));
    ASSERT_GT(waiting, 0u);
    ASSERT_TRUE(kWaiting.match(SentText()).hasMatch());

    // Shown in hex and back while the message waits: the log in the form asked for, the
    // waiting line once, at the end.
    const QString asText = SentText();
    QWidget* sentView = page_->SentView()->viewport();
    ASSERT_TRUE(ClickMenuEntry(sentView, QStringLiteral("十六进制显示")));
    const QString asHex = SentText();
    EXPECT_EQ(asHex.count(QStringLiteral("（等待发送：")), 1);
    EXPECT_TRUE(kWaiting.match(asHex).hasMatch());
    EXPECT_TRUE(asHex.contains(QStringLiteral("79 79 79 79")));
    ASSERT_TRUE(ClickMenuEntry(sentView, QStringLiteral("十六进制显示")));
    EXPECT_EQ(SentText(), asText);

    Click(Page::kDisconnectId);
    const QRegularExpression note(QStringLiteral("（未发出 (\\d+) 字节：连接已断开）\n$"));
    const QRegularExpressionMatch inLog =
        note.match(QString::fromStdU16String(Record(entry)->sendLog.Text()));
    ASSERT_TRUE(inLog.hasMatch());
    const std::uint64_t unsent = inLog.captured(1).toULongLong();
    EXPECT_GT(unsent, 0u);
    EXPECT_LE(unsent, waiting);
    EXPECT_LE(unsent + Record(entry)->sentBytes, queued * kWireSize);
    EXPECT_TRUE(note.match(SentText()).hasMatch());
    EXPECT_FALSE(kWaiting.match(SentText()).hasMatch());
}

}  // namespace
