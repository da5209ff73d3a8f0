// The page's byte tools through a TCP server page and a loopback peer: every byte value
// received and shown in hex (and saved so), the same bytes sent from hex and checked on the
// wire, invalid hex refused with its position, the switches kept for the next page, and the
// entry's tooltip with its counters (64-bit ones too), zeroed from the received view's menu.
// On a UDP server page: a datagram's hex rows exactly, its tooltip, a hex answer.
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QHelpEvent>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolTip>
#include <variant>

#include "pages/core/page_settings.h"
#include "tests/pages/menu_click.h"
#include "tests/pages/page_test_support.h"
#include "tests/pages/udp_page_test_support.h"
#include "text/hex_text.h"

namespace {

// The bytes a hex view shows: each row without its stamp or indent, read back as hex.
std::string BytesShownInHex(const QString& view) {
    std::u16string rows;
    for (const QString& row : view.split(u'\n', Qt::SkipEmptyParts))
        rows += row.mid(static_cast<qsizetype>(kHexStampWidth)).toStdU16String() + u' ';
    auto parsed = ParseHexText(rows);
    return std::holds_alternative<std::string>(parsed) ? std::get<std::string>(parsed)
                                                       : std::string("unreadable");
}

// The tooltip the tree shows when the pointer rests on `item`.
QString ToolTipOf(CTreeCtrlEx* tree, HTREEITEM item) {
    QWidget* viewport = tree->viewport();
    const QPoint at = tree->visualItemRect(CTreeCtrlEx::FromHandle(item)).center();
    QHelpEvent help(QEvent::ToolTip, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &help);
    return QToolTip::text();
}

class ByteToolsTest : public TcpServerPageTest {
protected:
    void TearDown() override {
        SetPageSettingsOpener(nullptr);
        TcpServerPageTest::TearDown();
    }
    QString ToolTipOf(HTREEITEM item) { return ::ToolTipOf(tree_, item); }
};

TEST_F(ByteToolsTest, EveryByteValueShownAndSentInHexAndCountedOnTheTooltip) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString ini = dir.filePath(QStringLiteral("settings.ini"));
    SetPageSettingsOpener([ini] { return std::make_unique<QSettings>(ini, QSettings::IniFormat); });

    const std::uint16_t port = CreateServer();
    LoopbackPeer peer;
    const HTREEITEM entry = ConnectPeer(peer, port);
    ClickItem(entry);
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));

    // Received, shown in hex whatever the code page; then as text again.
    ASSERT_TRUE(peer.Send(all));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            UiCritSecGuard lock(g_connectLock);
            return Record(entry)->recvBytes == 256;
        },
        kWaitMs));
    QWidget* received = page_->ReceivedView()->viewport();
    ASSERT_TRUE(ClickMenuEntry(received, QStringLiteral("十六进制显示")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return BytesShownInHex(ReceivedText()) == all; }, kWaitMs))
        << ReceivedText().toStdString();
    EXPECT_TRUE(ReceivedText().contains(QStringLiteral("0A 0B 0C")));
    EXPECT_TRUE(ReceivedText().contains(QStringLiteral("\n") + QString(kHexStampWidth, u' ') +
                                        QStringLiteral("10 11 12")));
    // Saved as shown.
    const QString saved = dir.filePath(QStringLiteral("received.txt"));
    page_->Views().SetSaveFileChooserForTesting([saved] { return saved; });
    ASSERT_TRUE(ClickMenuEntry(received, QStringLiteral("保存收到的全部信息...")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !page_->Views().RunningSave(); }, kWaitMs));
    QFile file(saved);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(BytesShownInHex(QString::fromUtf8(file.readAll())), all);
    ASSERT_TRUE(ClickMenuEntry(received, QStringLiteral("十六进制显示")));
    EXPECT_FALSE(ReceivedText().contains(QStringLiteral("0A 0B 0C")));
    EXPECT_TRUE(ReceivedText().contains(QStringLiteral("ABC")));

    // Sent from hex (separators and 0x ignored): the bytes on the wire, no CR LF, the sent
    // view in hex too.
    QWidget* box = page_->SendBox()->viewport();
    ASSERT_TRUE(ClickMenuEntry(box, QStringLiteral("十六进制发送")));
    ExpectSendRefused(QStringLiteral("01 0G"), QStringLiteral("第 5 个字符不是十六进制数字"),
                      QStringLiteral("提示"));
    EXPECT_EQ(peer.Receive(1, std::chrono::milliseconds(200)), "");
    ASSERT_TRUE(ClickMenuEntry(page_->SentView()->viewport(), QStringLiteral("十六进制显示")));
    QString typed = QStringLiteral("0x00,");
    for (int b = 1; b < 256; ++b) typed += QStringLiteral(" %1").arg(b, 2, 16, QChar(u'0'));
    TypeIntoSendBox(typed);
    Click(CTcpServerDlg::kIds.send);
    EXPECT_EQ(peer.Receive(all.size()), all);
    EXPECT_TRUE(QTest::qWaitFor([&] { return BytesShownInHex(SentText()) == all; }, kWaitMs));
    EXPECT_TRUE(page_->SendBox()->toPlainText().isEmpty());

    // The tooltip counts the exchange; a 64-bit count shows whole.
    std::int64_t lines = 0;
    {
        UiCritSecGuard lock(g_connectLock);
        lines = Record(entry)->recvLines;
    }
    QString tip = ToolTipOf(entry);
    EXPECT_TRUE(tip.contains(QStringLiteral("收到：256 字节，%1 行").arg(lines)))
        << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("发送：256 字节，1 条"))) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("连接时间：")));
    EXPECT_TRUE(tip.contains(QStringLiteral("等待发送：0 字节")));
    {
        UiCritSecGuard lock(g_connectLock);
        Record(entry)->recvBytes = 5'000'000'000;
    }
    tip = ToolTipOf(entry);
    EXPECT_TRUE(tip.contains(QStringLiteral("收到：5,000,000,000 字节（4.66 GiB）")))
        << tip.toStdString();
    // Clear sent empties the sent counters with the log; "计数清零" all of them, logs kept.
    Click(CTcpServerDlg::kIds.clearSent);
    tip = ToolTipOf(entry);
    EXPECT_TRUE(tip.contains(QStringLiteral("发送：0 字节，0 条"))) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("收到：5,000,000,000 字节"))) << tip.toStdString();
    ASSERT_TRUE(ClickMenuEntry(received, QStringLiteral("计数清零")));
    tip = ToolTipOf(entry);
    EXPECT_TRUE(tip.contains(QStringLiteral("收到：0 字节，0 行"))) << tip.toStdString();
    EXPECT_FALSE(ReceivedLog(entry).empty());

    // The switches are kept: a page made now starts as this one was left.
    CTcpServerDlg next;
    EXPECT_EQ(next.Views().LineForm(EntryViews::View::Received), LogForm::Text);
    EXPECT_EQ(next.Views().LineForm(EntryViews::View::Sent), LogForm::Hex);
    EXPECT_EQ(next.GetTypedForm(), TypedForm::Hex);
    FlushKeptSettings();
    EXPECT_TRUE(QSettings(ini, QSettings::IniFormat).value("hexSend/tcpServer").toBool());
}

using UdpByteToolsTest = UdpPageTest<CUdpServerDlg>;

TEST_F(UdpByteToolsTest, ADatagramOfEveryByteValueShowsRowByRowAndHexGoesBackAsOneDatagram) {
    const std::uint16_t port = CreateUdpServer(*page_);
    UdpPeer peer;
    std::string all;
    for (int b = 255; b >= 0; --b) all.push_back(static_cast<char>(b));
    ASSERT_TRUE(peer.SendTo(port, all));
    const HTREEITEM entry = WaitForEntries(1);
    ClickItem(entry);
    ASSERT_TRUE(ClickMenuEntry(page_->ReceivedView()->viewport(), QStringLiteral("十六进制显示")));
    // The stamp, then sixteen rows, each after the first indented under the bytes.
    QString shown;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            shown = ReceivedText();
            if (shown.endsWith(u'\n'))
                shown.chop(1);
            return shown.mid(static_cast<qsizetype>(kHexStampWidth)) ==
                   QString::fromStdString(FormatHexRows(all));
        },
        kWaitMs))
        << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("  FF FE FD FC")));

    const QString tip = ToolTipOf(tree_, entry);
    EXPECT_TRUE(tip.contains(QStringLiteral("收到：256 字节，1 行"))) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("建立时间：")));
    EXPECT_FALSE(tip.contains(QStringLiteral("等待发送")));

    ASSERT_TRUE(ClickMenuEntry(page_->SendBox()->viewport(), QStringLiteral("十六进制发送")));
    TypeIntoSendBox(QStringLiteral("ff 00 7F"));
    Click(CUdpServerDlg::kIds.send);
    const std::optional<UdpPeer::Datagram> answer = peer.Receive();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->bytes, std::string("\xFF\x00\x7F", 3));
}

}  // namespace
