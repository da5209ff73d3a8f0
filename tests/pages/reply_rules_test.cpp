// Reply rules driven through the host node's menu and the rules dialog on real pages, with
// real peers on 127.0.0.1.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <thread>

#include "pages/dialogs/reply_rules_dlg.h"
#include "pages/tcp_client_page.h"
#include "pages/tools/echo_tool.h"
#include "pages/tools/reply_rules_tool.h"
#include "tests/pages/menu_click.h"
#include "tests/pages/page_test_support.h"
#include "tests/pages/tree_menu.h"
#include "tests/pages/udp_page_test_support.h"

namespace {

ReplyRule Rule(MatchKind kind, const char16_t* pattern, const char16_t* answer,
               AnswerForm form = AnswerForm::Text) {
    ReplyRule rule;
    rule.kind = kind;
    rule.pattern = pattern;
    rule.answer = answer;
    rule.answerForm = form;
    return rule;
}

// Opens the page's rules dialog from the host node's menu, lets `edit` change it as the
// user would, and presses 确定 on it.
bool EditRules(CTreeCtrlEx* tree, const std::function<void(ReplyRulesDialog&)>& edit) {
    QTimer poll;
    bool edited = false;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<ReplyRulesDialog*>(QApplication::activeModalWidget());
        if (!dialog || edited)
            return;
        edited = true;
        edit(*dialog);
        QTest::mouseClick(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok),
                          Qt::LeftButton);
    });
    poll.start();
    if (!ChooseInTreeMenu(tree, tree->GetRootItem(), QStringLiteral("应答规则…")))
        return false;
    return QTest::qWaitFor([&] { return edited && !QApplication::activeModalWidget(); }, kWaitMs);
}

// What the page answers `peer`, read while the page runs: `count` bytes or what came
// within the wait.
std::string Answered(LoopbackPeer& peer, std::size_t count, int waitMs = kWaitMs) {
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (out.size() < count && std::chrono::steady_clock::now() < deadline) {
        QApplication::processEvents();
        out += peer.Receive(count - out.size(), std::chrono::milliseconds(5));
    }
    return out;
}

std::optional<std::string> Answered(UdpPeer& peer) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (std::chrono::steady_clock::now() < deadline) {
        QApplication::processEvents();
        if (auto datagram = peer.Receive(5))
            return datagram->bytes;
    }
    return std::nullopt;
}

}  // namespace

using TcpReplyRulesTest = TcpServerPageTest;

TEST_F(TcpReplyRulesTest, RulesAnswerAPeerThroughTheDoorPacketByPacketThenLineByLine) {
    const std::uint16_t port = CreateServer();
    LoopbackPeer peer;
    const HTREEITEM entry = ConnectPeer(peer, port);
    ASSERT_TRUE(
        ChooseInTreeMenu(tree_, Host(), QStringLiteral("回显")));  // rules first, echo for the rest
    ASSERT_TRUE(EditRules(tree_, [](ReplyRulesDialog& dialog) {
        dialog.SetRules({Rule(MatchKind::Hex, u"01 03 ?? ?? 00 02 ?? ??",
                              u"01 03 04 00 2A {1} {crc16}", AnswerForm::Hex),
                         Rule(MatchKind::Regex, u"^GET (\\w+)$", u"VALUE {1} #{n}\\r\\n"),
                         Rule(MatchKind::TextStarts, u"PING", u"PONG {n}\\n"),
                         Rule(MatchKind::TextContains, u"hush", u"")});
    }));
    auto* tool = page_->findChild<ReplyRulesTool*>();
    ASSERT_TRUE(tool && tool->Active());

    // The Modbus-like request: its address echoed as capture 1, the CRC low byte first.
    ASSERT_TRUE(peer.Send(std::string("\x01\x03\x00\x0A\x00\x02\xE4\x09", 8)));
    std::string expected("\x01\x03\x04\x00\x2A\x00\x0A", 7);
    const std::uint16_t crc = [&] {
        std::uint16_t value = 0xFFFF;
        for (unsigned char c : expected) {
            value ^= c;
            for (int bit = 0; bit < 8; ++bit)
                value = (value & 1) ? (value >> 1) ^ 0xA001 : value >> 1;
        }
        return value;
    }();
    expected += static_cast<char>(crc & 0xFF);
    expected += static_cast<char>(crc >> 8);
    EXPECT_EQ(Answered(peer, expected.size()), expected);
    ASSERT_TRUE(peer.Send("GET temp\r\n"));
    EXPECT_EQ(Answered(peer, 15), "VALUE temp #1\r\n");
    // No rule: echoed as it came. A match without an answer: nothing at all.
    ASSERT_TRUE(peer.Send("other"));
    EXPECT_EQ(Answered(peer, 5), "other");
    ASSERT_TRUE(peer.Send("hush"));
    ASSERT_TRUE(WaitForReceived(entry, "hush"));
    EXPECT_EQ(Answered(peer, 1, 300), "");
    // Logged and counted like any send; the requests stay as they came.
    ClickItem(entry);
    EXPECT_TRUE(QTest::qWaitFor([&] { return SentText().contains("VALUE temp #1"); }, kWaitMs));
    EXPECT_TRUE(ReceivedText().contains("GET temp"));
    EXPECT_EQ(Record(entry)->sentMessages, 3);

    // Line by line: a line cut over two reads is answered once, whole.
    ASSERT_TRUE(EditRules(
        tree_, [](ReplyRulesDialog& dialog) { dialog.FramingBox()->setCurrentIndex(1); }));
    EXPECT_EQ(tool->RuleSet().framing.framing, Framing::Line);
    ASSERT_TRUE(peer.Send("PI"));
    ASSERT_TRUE(WaitForReceived(entry, "PI"));
    EXPECT_EQ(Answered(peer, 1, 300), "");
    ASSERT_TRUE(peer.Send("NG\nPING again\n"));
    EXPECT_EQ(Answered(peer, 14), "PONG 1\nPONG 2\n");
    // A burst of requests, more than the page queues for matching: each answered once, in
    // order, while the peer reads.
    constexpr int kBurst = 100'000;
    std::string burst, answers;
    for (int i = 0; i < kBurst; ++i) {
        burst += "PING\n";
        answers += "PONG " + std::to_string(i + 3) + "\n";
    }
    std::thread sender([&] { peer.Send(burst); });
    const std::string got = Answered(peer, answers.size(), 60'000);
    sender.join();
    EXPECT_TRUE(got == answers) << got.size() << " of " << answers.size() << " bytes";

    // The send box takes the same fields in hex.
    ASSERT_TRUE(ClickMenuEntry(page_->SendBox()->viewport(), QStringLiteral("十六进制发送")));
    TypeIntoSendBox(QStringLiteral("01 03 00 0A 00 02 {crc16}"));
    Click(CTcpServerDlg::kIds.send);
    EXPECT_EQ(Answered(peer, 8), std::string("\x01\x03\x00\x0A\x00\x02\xE4\x09", 8));

    // Kept as JSON (settings, sessions): the rules and the framing come back as they were.
    ReplyRuleSet kept = ReplyRulesFromJson(ReplyRulesToJson(tool->RuleSet()));
    ReplyRuleSet now = tool->RuleSet();
    for (ReplyRule& rule : now.rules) rule.answered = 0;
    EXPECT_EQ(kept.rules, now.rules);
    EXPECT_EQ(kept.framing.framing, Framing::Line);
}

TEST_F(TcpReplyRulesTest, TheDialogRefusesABadRegexWithItsPositionAndTriesInput) {
    ReplyRulesDialog dialog({}, page_.get());
    dialog.show();
    for (auto* button : dialog.findChildren<QPushButton*>())
        if (button->text() == QStringLiteral("添加"))
            QTest::mouseClick(button, Qt::LeftButton);
    QTableWidget* table = dialog.Table();
    ASSERT_EQ(table->rowCount(), 1);
    qobject_cast<QComboBox*>(table->cellWidget(0, ReplyRulesDialog::kKind))->setCurrentIndex(3);
    const auto type = [&](int column, const QString& text) {
        table->item(0, column)->setText(text);
    };
    type(ReplyRulesDialog::kPattern, QStringLiteral("^ID=(\\d+"));
    type(ReplyRulesDialog::kAnswer, QStringLiteral("OK {1}"));
    {
        ModalAnswer refused;
        QTest::mouseClick(dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok),
                          Qt::LeftButton);
        ASSERT_TRUE(refused.Answered());
        EXPECT_TRUE(
            refused.Text().startsWith(QStringLiteral("第 1 条规则的匹配内容有误，第 9 个字符：")))
            << refused.Text().toStdString();
    }
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(table->item(0, ReplyRulesDialog::kOn)->checkState(), Qt::Unchecked);

    // Mended and on again: the trial shows the rule and its bytes.
    type(ReplyRulesDialog::kPattern, QStringLiteral("^ID=(\\d+)"));
    table->item(0, ReplyRulesDialog::kOn)->setCheckState(Qt::Checked);
    QTest::keyClicks(dialog.TrialField(), QStringLiteral("ID=42"));
    QTest::keyClick(dialog.TrialField(), Qt::Key_Return);
    EXPECT_TRUE(dialog.TrialResult()->text().startsWith(
        QStringLiteral("第 1 条规则应答 5 字节：4F 4B 20 34 32")))
        << dialog.TrialResult()->text().toStdString();
    type(ReplyRulesDialog::kAnswer, QStringLiteral("OK {2}"));
    QTest::keyClick(dialog.TrialField(), Qt::Key_Return);
    EXPECT_EQ(dialog.TrialResult()->text(),
              QStringLiteral("第 1 条规则的应答内容有误，第 4 个字符：匹配内容没有第 2 个捕获组"));
}

// Two pages whose rules answer each other for ever (a client entry and the server's entry
// for it): both windows keep working (the server's menu and rules dialog open while it
// runs), and switching the server's rules off stops the exchange.
TEST_F(TcpReplyRulesTest, TwoPagesAnsweringEachOtherStayUsableAndStopWhenRulesGoOff) {
    const std::uint16_t port = CreateServer();
    CTcpClientDlg client;
    client.show();
    ConnectInfo* record =
        client.Records().RecordOf(client.AddEntries(Endpoint::Ipv4(0x7F000001, port), 1));
    ASSERT_NE(record, nullptr);
    bool connected = false;
    client.ConnectEntry(record, [&](bool ok) { connected = ok; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return connected; }, kWaitMs));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return tree_->topLevelItem(0)->childCount() == 1; }, kWaitMs));

    ReplyRuleSet ping;
    ping.rules = {Rule(MatchKind::TextStarts, u"PING", u"PING {n}")};
    auto* serverRules = page_->findChild<ReplyRulesTool*>();
    auto* clientRules = client.findChild<ReplyRulesTool*>();
    serverRules->SetRuleSet(ping);
    clientRules->SetRuleSet(ping);
    ASSERT_TRUE(client.Send(record, Outgoing::Bytes(SendOrigin::Typed, "PING")));
    const auto answers = [&] { return clientRules->RuleSet().rules[0].answered; };
    ASSERT_TRUE(QTest::qWaitFor([&] { return answers() > 100; }, kWaitMs));

    ASSERT_TRUE(EditRules(tree_, [](ReplyRulesDialog& dialog) { dialog.SetRules({}); }));
    EXPECT_FALSE(serverRules->Active());
    // What was under way when the rules went off arrives and ends the exchange.
    QTest::qWait(300);
    const auto settled = answers();
    QTest::qWait(300);
    EXPECT_EQ(answers(), settled);
}

using UdpReplyRulesTest = UdpPageTest<CUdpServerDlg>;

TEST_F(UdpReplyRulesTest, EachDatagramIsAnsweredAndACatastrophicPatternIsSwitchedOff) {
    const std::uint16_t port = CreateUdpServer(*page_);
    UdpPeer peer;
    ASSERT_TRUE(EditRules(tree_, [](ReplyRulesDialog& dialog) {
        dialog.SetRules({Rule(MatchKind::Regex, u"^(a+)+$", u"never"),
                         Rule(MatchKind::Regex, u"^(a|aa)+$", u"never"),
                         Rule(MatchKind::Regex, u"^(a*)*$", u"never"),
                         Rule(MatchKind::TextEqual, u"time?", u"{n}:{lrc}"),
                         Rule(MatchKind::TextStarts, u"a", u"fallback")});
    }));
    // The window keeps painting while the patterns run into their limit: the longest gap
    // between two frames stays far below a stall (generous for a loaded machine).
    auto last = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration longest{};
    QTimer painter;
    QObject::connect(&painter, &QTimer::timeout, [&] {
        page_->repaint();
        const auto now = std::chrono::steady_clock::now();
        longest = std::max(longest, now - last);
        last = now;
    });
    painter.start(5);
    const std::string evil = std::string(40, 'a') + "b";
    ASSERT_TRUE(peer.SendTo(port, evil));
    const HTREEITEM entry = WaitForEntries(1);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return QString::fromStdU16String(ReceivedLog(entry)).count("已停用") == 3; },
        kWaitMs));
    auto* tool = page_->findChild<ReplyRulesTool*>();
    for (int rule = 0; rule < 3; ++rule) EXPECT_FALSE(tool->RuleSet().rules[rule].enabled);
    // The rules after them still read the message.
    EXPECT_EQ(Answered(peer).value_or("none"), "fallback");
    for (int i = 1; i <= 3; ++i) {
        ASSERT_TRUE(peer.SendTo(port, "time?"));
        // "{n}:" then the LRC of those bytes as two hex digits.
        const std::string head = std::to_string(i) + ":";
        unsigned sum = 0;
        for (unsigned char c : head) sum += c;
        char lrc[3];
        std::snprintf(lrc, sizeof lrc, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
        EXPECT_EQ(Answered(peer).value_or("none"), head + lrc);
    }
    ASSERT_TRUE(peer.SendTo(port, evil));  // switched off: tried no more
    EXPECT_EQ(Answered(peer).value_or("none"), "fallback");
    EXPECT_EQ(QString::fromStdU16String(ReceivedLog(entry)).count("已停用"), 3);
    EXPECT_LT(longest, std::chrono::seconds(2));
}
