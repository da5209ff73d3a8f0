// A flood of several MiB into the shown entry: the view holds the log's tail, keeps a
// reader's place through a second flood, the received view's menu saves the whole log (or
// stops when cancelled), and a record that runs out of memory keeps its log and
// says so while other records go on.
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <thread>

#include "pages/views/log_view.h"
#include "tests/pages/menu_click.h"
#include "tests/pages/page_test_support.h"

namespace {

TEST_F(TcpServerPageTest, FloodIntoTheShownEntryShowsItsTailSavesWholeAndSurvivesMemoryRunningOut) {
    const std::uint16_t port = CreateServer();
    LoopbackPeer peer;
    const HTREEITEM entry = ConnectPeer(peer, port);
    ClickItem(entry);

    // Printable text with line breaks (no carriage returns, which a view folds), beginning
    // with bytes that are not ASCII (saved through a conversion, the rest as they are).
    constexpr std::size_t kTotal = 6 * 1024 * 1024;
    std::string data = "\xC4\xE3\xBA\xC3\n";
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
    // Once the flood is over the view catches up, holding the log's last lines only (a whole
    // tail, not the short one shown while it lasted), below a line that says where the rest is.
    const QString earlier =
        QStringLiteral("（更早收到的信息未在此显示，右键菜单“保存收到的全部信息...”可保存全部）\n");
    const auto shownTail = [&] {
        const QString text = ReceivedText();
        return text.startsWith(earlier) ? text.mid(earlier.size()) : QString();
    };
    const QString log = QString::fromStdU16String(ReceivedLog(entry));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const QString shown = shownTail();
            return shown.size() >= static_cast<qsizetype>(LogView::kTailSize / 2) &&
                   log.endsWith(shown);
        },
        kWaitMs));
    const QString tail = shownTail();
    EXPECT_GE(tail.size(), static_cast<qsizetype>(LogView::kTailSize / 2));
    EXPECT_LE(tail.size(), static_cast<qsizetype>(3 * LogView::kTailSize));
    EXPECT_EQ(log[log.size() - tail.size() - 1], u'\n');  // it starts with a whole line
    QTest::qWait(20);                                     // the queued scroll
    const QScrollBar* bar = page_->ReceivedView()->verticalScrollBar();
    EXPECT_EQ(bar->value(), bar->maximum());

    // Shown again from the host node: the same tail at once.
    ClickItem(Host());
    EXPECT_TRUE(ReceivedText().isEmpty());
    ClickItem(entry);
    EXPECT_TRUE(log.endsWith(shownTail()));
    EXPECT_GE(shownTail().size(), static_cast<qsizetype>(LogView::kTailSize));

    // Scrolled up to read, through a second flood: the lines read stay where they are; back
    // at the end, the view catches up with the log's end.
    QScrollBar* scroll = page_->ReceivedView()->verticalScrollBar();
    QTest::qWait(20);  // the queued scroll
    scroll->setValue(scroll->maximum() / 2);
    const auto topLine = [&] {
        return page_->ReceivedView()->cursorForPosition(QPoint(2, 2)).block().text();
    };
    const QString reading = topLine();
    const int readingAt = scroll->value();
    std::thread more([&] { peer.Send(data.substr(0, 2 * 1024 * 1024)); });
    const bool moreArrived = QTest::qWaitFor(
        [&] {
            UiCritSecGuard lock(g_connectLock);
            return static_cast<std::size_t>(Record(entry)->recvBytes) == kTotal + 2 * 1024 * 1024;
        },
        60000);
    more.join();
    ASSERT_TRUE(moreArrived);
    QTest::qWait(3 * EntryViews::kReceivedViewRefreshMs);
    EXPECT_EQ(topLine(), reading);
    EXPECT_EQ(scroll->value(), readingAt);
    scroll->setValue(scroll->maximum());
    const QString longer = QString::fromStdU16String(ReceivedLog(entry));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !shownTail().isEmpty() && longer.endsWith(shownTail()); }, kWaitMs));

    // The menu saves all of it.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("received.txt");
    page_->Views().SetSaveFileChooserForTesting([&] { return path; });
    ASSERT_TRUE(
        ClickMenuEntry(page_->ReceivedView()->viewport(), QStringLiteral("保存收到的全部信息...")));
    // Done once the page has heard the writer finish, not when the file appears.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !page_->Views().RunningSave(); }, kWaitMs));
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QString whole = QString::fromStdU16String(ReceivedLog(entry));
    EXPECT_TRUE(saved.readAll() == whole.toUtf8());

    // A save held up (the test holds the lock it reads under) and cancelled from its
    // progress box: no file, nothing said.
    const QString cancelledPath = dir.filePath("cancelled.txt");
    page_->Views().SetSaveFileChooserForTesting([&] { return cancelledPath; });
    {
        UiCritSecGuard lock(g_connectLock);
        ASSERT_TRUE(ClickMenuEntry(page_->ReceivedView()->viewport(),
                                   QStringLiteral("保存收到的全部信息...")));
        QProgressDialog* progress = page_->Views().SaveProgress();
        ASSERT_TRUE(progress);
        ASSERT_TRUE(QTest::qWaitFor([&] { return progress->isVisible(); }, kWaitMs));
        QPushButton* cancel = progress->findChild<QPushButton*>();
        ASSERT_TRUE(cancel);
        QTest::mouseClick(cancel, Qt::LeftButton);
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return !page_->Views().RunningSave(); }, kWaitMs));
    EXPECT_FALSE(QFile::exists(cancelledPath));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    // Memory runs out for this record: it keeps its log and says why; another goes on.
    LoopbackPeer other;
    const HTREEITEM otherEntry = ConnectPeer(other, port);
    {
        UiCritSecGuard lock(g_connectLock);
        Record(entry)->recvLog.FailAllocationBeyondForTesting(kTotal + 10);
    }
    ASSERT_TRUE(peer.Send(std::string(100, 'x')));
    const QString stopped =
        QString::fromStdU16String(std::u16string(CompactLog::ReceivedStoppedText()) + u"\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return ReceivedText().endsWith(stopped); }, kWaitMs));
    EXPECT_TRUE(QString::fromStdU16String(ReceivedLog(entry)).startsWith(log));
    ASSERT_TRUE(other.Send("still here"));
    EXPECT_TRUE(WaitForReceived(otherEntry, "still here"));
}

}  // namespace
