// The log views and the send box with a line of a hundred thousand characters, and a view the
// user reads while data arrives: a TCP server page, its peer on 127.0.0.1, real clicks, wheel
// turns, a mouse selection and a paste.
#include "pages/views/log_view.h"

#include <QApplication>
#include <QClipboard>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBlock>
#include <QWheelEvent>

#include "tests/pages/page_test_support.h"

namespace {

// A line without break points (no spaces, no line breaks).
std::string LineFreeText(std::size_t size) {
    std::string text(size, '0');
    for (std::size_t i = 0; i < size; ++i) text[i] = "0123456789abcdef"[(i * 7) % 16];
    return text;
}

// The longest paragraph of a view: the unit its document lays out at once.
int LongestParagraph(const QPlainTextEdit* view) {
    int longest = 0;
    for (QTextBlock block = view->document()->begin(); block.isValid(); block = block.next())
        longest = std::max(longest, block.length());
    return longest;
}

// A log's or a view's text without the stamps and line breaks.
QString Payload(QString text) {
    static const QRegularExpression stamp(
        QStringLiteral("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d  "));
    return text.remove(stamp).remove(u'\n');
}

void Wheel(QPlainTextEdit* view, int notches) {
    QWidget* viewport = view->viewport();
    const QPointF at = viewport->rect().center();
    QWheelEvent event(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewport, &event);
}

std::string Lines(int first, int count) {
    std::string lines;
    for (int i = first; i < first + count; ++i) lines += "line " + std::to_string(i) + "\n";
    return lines;
}

using LogViewTest = TcpServerPageTest;

TEST_F(LogViewTest, ALongLineFreeTextIsShownInShortParagraphsAndSentWhole) {
    const std::uint16_t port = CreateServer();
    LoopbackPeer peer;
    const HTREEITEM entry = ConnectPeer(peer, port);
    ClickItem(entry);

    const std::string text = LineFreeText(128 * 1024);
    ASSERT_TRUE(peer.Send(text));
    const QString shown = QString::fromStdString(text);
    // It may come in several pieces, each a stamped line of the log and of the view.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return Payload(QString::fromStdU16String(ReceivedLog(entry))) == shown; }, kWaitMs));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Payload(ReceivedText()) == shown; }, kWaitMs));
    EXPECT_LE(LongestParagraph(page_->ReceivedView()), 4 * 1024 + 1);

    // Pasted as one line, sent, logged and arrived whole.
    QPlainTextEdit* box = page_->SendBox();
    QGuiApplication::clipboard()->setText(shown);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    QGuiApplication::clipboard()->clear();
    EXPECT_EQ(box->wordWrapMode(), QTextOption::WrapAnywhere);
    Click(CTcpServerDlg::kSendId);
    EXPECT_EQ(peer.Receive(text.size()), text);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Payload(SentText()) == shown; }, kWaitMs));
    EXPECT_LE(LongestParagraph(page_->SentView()), 4 * 1024 + 1);
    EXPECT_TRUE(box->toPlainText().isEmpty());
    EXPECT_NE(box->wordWrapMode(), QTextOption::WrapAnywhere);  // short lines wrap at words
}

TEST_F(LogViewTest, AViewScrolledUpKeepsItsPlaceAndSelectionAndFollowsAgainAtTheEnd) {
    const std::uint16_t port = CreateServer();
    LoopbackPeer peer;
    const HTREEITEM entry = ConnectPeer(peer, port);
    ClickItem(entry);
    QPlainTextEdit* view = page_->ReceivedView();
    QScrollBar* bar = view->verticalScrollBar();

    ASSERT_TRUE(peer.Send(Lines(0, 200)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ReceivedText().contains("line 199\n"); }, kWaitMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->value() == bar->maximum(); }, kWaitMs));
    ASSERT_GT(bar->maximum(), 0);

    // Five notches up, then a drag selection across two lines in sight.
    Wheel(view, 5);
    const int position = bar->value();
    ASSERT_LT(position, bar->maximum());
    QWidget* viewport = view->viewport();
    const int lineHeight = view->fontMetrics().height();
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(4, lineHeight / 2));
    QTest::mouseMove(viewport, QPoint(60, lineHeight * 2 + lineHeight / 2));
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier,
                        QPoint(60, lineHeight * 2 + lineHeight / 2));
    const QString selected = view->textCursor().selectedText();
    ASSERT_FALSE(selected.isEmpty());
    ASSERT_EQ(bar->value(), position);

    // A hundred lines in ten bursts, each shown by a refresh of its own.
    const int maximumBefore = bar->maximum();
    for (int burst = 0; burst < 10; ++burst) {
        ASSERT_TRUE(peer.Send(Lines(200 + burst * 10, 10)));
        QTest::qWait(60);  // twice the received view's refresh interval
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return ReceivedText().contains("line 299\n"); }, kWaitMs));
    QTest::qWait(20);  // a scroll the page may have queued
    EXPECT_EQ(bar->value(), position);
    EXPECT_EQ(view->textCursor().selectedText(), selected);
    EXPECT_GT(bar->maximum(), maximumBefore);  // the scroll bar shows there is more

    // Back at the end, the view follows again.
    for (int turn = 0; turn < 1000 && bar->value() < bar->maximum(); ++turn) Wheel(view, -5);
    ASSERT_EQ(bar->value(), bar->maximum());
    ASSERT_TRUE(peer.Send(Lines(300, 20)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ReceivedText().contains("line 319\n"); }, kWaitMs));
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar->value() == bar->maximum(); }, kWaitMs));
    EXPECT_GT(bar->maximum(), 0);
}

}  // namespace
