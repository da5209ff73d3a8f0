// The log tools on a TCP server page with a loopback peer, through the views' menus and
// keys: millisecond stamps for lines logged before the switch, Ctrl+F finding a hit that
// lies on disk far above the shown tail, the sent line copied as a C array and read back,
// and the conversation exported as pcap and read back.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextCursor>
#include <cstdlib>
#include <filesystem>

#include "pages/core/page_settings.h"
#include "pages/tools/pcap_export_tool.h"
#include "pages/views/find_bar.h"
#include "tests/pages/page_test_support.h"
#include "tests/support/pcap_reader.h"

namespace {

bool ClickMenuEntry(QWidget* widget, const QString& text) {
    const QPoint at = widget->rect().center();
    QContextMenuEvent request(QContextMenuEvent::Mouse, at, widget->mapToGlobal(at));
    QApplication::sendEvent(widget, &request);
    QMenu* menu = nullptr;
    if (!QTest::qWaitFor(
            [&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); },
            kWaitMs))
        return false;
    for (QAction* action : menu->actions()) {
        if (action->text() == text && action->isEnabled()) {
            QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier,
                              menu->actionGeometry(action).center());
            return true;
        }
    }
    menu->close();
    return false;
}

class LogToolsTest : public TcpServerPageTest {
protected:
    void TearDown() override {
        SetPageSettingsOpener(nullptr);
        PcapExportTool::SetFileChooserForTesting(nullptr);
        TcpServerPageTest::TearDown();
    }
};

TEST_F(LogToolsTest, StampsFindCopyAndExportDriveTheViewsOfAConnection) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString ini = dir.filePath(QStringLiteral("settings.ini"));
    SetPageSettingsOpener([ini] { return std::make_unique<QSettings>(ini, QSettings::IniFormat); });
    const std::uint16_t port = CreateServer();
    LoopbackPeer peer;
    const HTREEITEM entry = ConnectPeer(peer, port);
    ClickItem(entry);

    // 3 MiB with one hit in its last MiB, far above the view's tail.
    const std::string filler(1024 * 1024, 'q');
    const std::string sentByPeer = "first\n" + filler + filler + "..target-X.." + filler;
    ASSERT_TRUE(peer.Send(sentByPeer));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            UiCritSecGuard lock(g_connectLock);
            return Record(entry)->recvBytes == static_cast<std::int64_t>(sentByPeer.size());
        },
        kWaitMs));
    TypeIntoSendBox(QStringLiteral("reply"));
    Click(CTcpServerDlg::kIds.send);
    EXPECT_EQ(peer.Receive(5), "reply");

    // Milliseconds for what was logged before the switch.
    QWidget* received = page_->ReceivedView()->viewport();
    QWidget* sent = page_->SentView()->viewport();
    const QRegularExpression millis(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}  reply"));
    EXPECT_FALSE(millis.match(SentText()).hasMatch());
    ASSERT_TRUE(ClickMenuEntry(sent, QStringLiteral("毫秒时间戳")));
    EXPECT_TRUE(millis.match(SentText()).hasMatch()) << SentText().toStdString();

    // The sent line, selected, copied as a C array and read back.
    ASSERT_TRUE(ClickMenuEntry(sent, QStringLiteral("全选")));
    ASSERT_TRUE(ClickMenuEntry(sent, QStringLiteral("复制为 C 数组")));
    const QString array = QGuiApplication::clipboard()->text();
    std::string copied;
    for (const QString& item : array.mid(1, array.size() - 2).split(QStringLiteral(", ")))
        copied.push_back(static_cast<char>(item.toInt(nullptr, 16)));
    EXPECT_EQ(copied, "reply") << array.toStdString();

    // Ctrl+F, the pattern, Enter: the hit shown and selected, and counted.
    QTest::keyClick(page_->ReceivedView(), Qt::Key_F, Qt::ControlModifier);
    FindBar* bar = FindBar::Of(page_->ReceivedView());
    ASSERT_NE(bar, nullptr);
    ASSERT_TRUE(bar->isVisible());
    QTest::keyClicks(bar->Field(), QStringLiteral("target-X"));
    QTest::keyClick(bar->Field(), Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return page_->ReceivedView()->textCursor().selectedText() == "target-X"; }, kWaitMs));
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar->CountLabel()->text() == "1 处"; }, kWaitMs));
    // The README's picture of the find bar, rendered when asked for.
    if (const char* picture = std::getenv("WIRELARK_FIND_BAR_PNG"))
        page_->grab().save(QString::fromLocal8Bit(picture));
    // In hex, the same bytes; bad hex says which character.
    bar->HexSwitch()->setChecked(true);
    bar->Field()->setText(QStringLiteral("74 61 72 67"));
    QTest::keyClick(bar->Field(), Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return page_->ReceivedView()->textCursor().selectedText() == "targ"; }, kWaitMs));
    {
        ModalAnswer answer;
        bar->Field()->setText(QStringLiteral("74 6G"));
        QTest::keyClick(bar->Field(), Qt::Key_Return);
        EXPECT_TRUE(answer.Answered());
        EXPECT_TRUE(answer.Text().contains(QStringLiteral("第 5 个字符")));
    }
    bar->Close();
    // Back at the log's end: the view ends with the log's last line (a read may have taken
    // only a few bytes; the view cuts long lines, so line breaks are left out of the match).
    const QString lastLine = [&] {
        UiCritSecGuard lock(g_connectLock);
        const CompactLog& log = Record(entry)->recvLog;
        return QString::fromStdU16String(log.Text(log.LineCount() - 1, 1)).remove(u'\n');
    }();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return ReceivedText().remove(u'\n').endsWith(lastLine); }, kWaitMs))
        << ReceivedText().right(40).toStdString();

    // Exported: the peer's pieces and the reply, with the real ports.
    const QString path = dir.filePath(QStringLiteral("entry.pcap"));
    PcapExportTool::SetFileChooserForTesting([path] { return path; });
    ASSERT_TRUE(ClickMenuEntry(received, QStringLiteral("导出 pcap…")));
    // The worker writes the file whole, then the tool reads back nothing more.
    std::optional<PcapFile> file;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            file = ReadPcap(path.toStdString());
            std::size_t total = 0;
            for (const PcapPacket& packet : file ? file->packets : std::vector<PcapPacket>{})
                total += packet.payload.size();
            return total == sentByPeer.size() + 5;
        },
        kWaitMs));
    if (const char* keep = std::getenv("WIRELARK_KEEP_PCAP"))
        std::filesystem::copy_file(path.toStdString(), keep,
                                   std::filesystem::copy_options::overwrite_existing);
    std::string fromPeer, toPeer;
    std::int64_t lines = 0;
    {
        UiCritSecGuard lock(g_connectLock);
        lines = Record(entry)->recvLines;
    }
    EXPECT_GE(file->packets.size(), static_cast<std::size_t>(lines) + 1);
    for (const PcapPacket& packet : file->packets) {
        EXPECT_TRUE(packet.checksumsHold);
        EXPECT_EQ(packet.from, 0x7F000001u);
        (packet.fromPort == peer.LocalPort() ? fromPeer : toPeer) += packet.payload;
        EXPECT_EQ(packet.fromPort == peer.LocalPort() ? packet.toPort : packet.fromPort, port);
    }
    EXPECT_TRUE(fromPeer == sentByPeer);
    EXPECT_EQ(toPeer, "reply");
}

}  // namespace
