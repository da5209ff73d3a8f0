// Pasting into every page's send box, and into a dialog's field, with an empty clipboard, a
// clipboard holding only an image and one holding text: nothing but text ever goes in, and
// the program goes on. A long line pasted into the box is edited, copied and sent whole.
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTextBlock>
#include <QTimer>
#include <string>
#include <thread>

#include "pages/dialogs/set_listen_dlg.h"
#include "pages/tcp_client_page.h"
#include "pages/tcp_server_page.h"
#include "pages/udp_client_page.h"
#include "pages/udp_server_page.h"
#include "platform/send_box.h"
#include "tests/pages/page_fixture.h"
#include "tests/pages/page_test_support.h"

namespace {

void EmptyClipboard() {
    QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
    QGuiApplication::clipboard()->clear(QClipboard::Selection);
}

void ImageOnlyClipboard() {
    auto* data = new QMimeData;
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    data->setImageData(image);
    QGuiApplication::clipboard()->setMimeData(data);
}

// Opens the widget's context menu as a right click does and triggers its paste item.
// Returns whether the item was enabled.
bool PasteFromContextMenu(QWidget* widget) {
    bool enabled = true;
    bool found = false;
    bool done = false;
    const QString pasteKeys = QKeySequence(QKeySequence::Paste).toString(QKeySequence::NativeText);
    QTimer::singleShot(0, [&] {
        done = true;
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction* action : menu->actions()) {
            // Found by its shortcut: the line edit's items have no names, and texts are
            // translated.
            if (action->objectName() == QLatin1String("edit-paste") ||
                action->text().endsWith(u'\t' + pasteKeys)) {
                found = true;
                enabled = action->isEnabled();
                action->trigger();
            }
        }
        menu->close();
    });
    const QPoint at = widget->rect().center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, widget->mapToGlobal(at));
    QApplication::sendEvent(widget, &event);
    // The menu runs its own loop (exec) or is only shown (popup).
    EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, kWaitMs));
    EXPECT_TRUE(found);
    return enabled;
}

// Ctrl+V, Shift+Insert and the context menu's paste.
void PasteEveryWay(QWidget* edit, QWidget* menuTarget) {
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_FALSE(PasteFromContextMenu(menuTarget));
}

template <typename Page>
class SendBoxPasteTest : public PageTest<Page> {};

using Pages = ::testing::Types<CTcpServerDlg, CTcpClientDlg, CUdpServerDlg, CUdpClientDlg>;
TYPED_TEST_SUITE(SendBoxPasteTest, Pages);

TYPED_TEST(SendBoxPasteTest, OnlyTextIsPastedAndAnEmptyClipboardChangesNothing) {
    QPlainTextEdit* box = this->page_->SendBox();
    ASSERT_NE(box, nullptr);
    this->TypeIntoSendBox("kept");

    EmptyClipboard();
    PasteEveryWay(box, box->viewport());
    EXPECT_EQ(box->toPlainText(), "kept");

    ImageOnlyClipboard();
    PasteEveryWay(box, box->viewport());
    EXPECT_EQ(box->toPlainText(), "kept");

    QGuiApplication::clipboard()->setText(QStringLiteral("粘贴"));
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(box->toPlainText(), QStringLiteral("kept粘贴粘贴"));
    EmptyClipboard();
}

// A line without breaks, far longer than a paragraph of the box: editing at the box's soft
// breaks acts on the text as the user sees it, copying gives it joined, and Send takes it to
// the peer byte for byte.
TEST_F(TcpServerPageTest, ALongLineIsEditedCopiedAndSentWhole) {
    LoopbackPeer peer;
    ClickItem(ConnectPeer(peer, CreateServer()));
    auto* box = qobject_cast<CSendBox*>(page_->SendBox());
    ASSERT_NE(box, nullptr);
    std::string line(3 * CSendBox::kPiece + 100, '0');
    for (std::size_t i = 0; i < line.size(); ++i) line[i] = "0123456789abcdef"[(i * 7) % 16];
    QGuiApplication::clipboard()->setText(QString::fromStdString(line));
    box->setFocus();
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    QTextDocument* doc = box->document();
    EXPECT_EQ(doc->blockCount(), 4);
    EXPECT_EQ(box->Text(), QString::fromStdString(line));

    // Backspace and Delete at a soft break take the characters either side of it.
    int softBreak = doc->findBlockByNumber(1).position();
    QTextCursor cursor = box->textCursor();
    cursor.setPosition(softBreak);
    box->setTextCursor(cursor);
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClick(box, Qt::Key_Delete);
    std::string expected = line;
    expected.erase(CSendBox::kPiece - 1, 2);
    EXPECT_EQ(box->Text(), QString::fromStdString(expected));
    // Return inside a continued paragraph is a line break; Backspace takes it back.
    softBreak = doc->findBlockByNumber(1).position();
    cursor.setPosition(softBreak + 10);
    box->setTextCursor(cursor);
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(box->Text(), QString::fromStdString(
                               std::string(expected).insert(CSendBox::kPiece - 1 + 10, "\n")));
    QTest::keyClick(box, Qt::Key_Backspace);
    EXPECT_EQ(box->Text(), QString::fromStdString(expected));
    // So is a line break pasted there.
    QGuiApplication::clipboard()->setText(QStringLiteral("ab\r\ncd"));
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    expected.insert(CSendBox::kPiece - 1 + 10, "ab\ncd");
    EXPECT_EQ(box->Text(), QString::fromStdString(expected));

    // Shift+Right from a paragraph's end selects the next character, not the soft break.
    cursor.setPosition(softBreak - 1);
    box->setTextCursor(cursor);
    QTest::keyClick(box, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString(QChar(expected[CSendBox::kPiece - 1])));
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromStdString(expected));

    std::string wire = expected;
    wire.insert(wire.find('\n'), "\r");
    std::string arrived;
    std::thread reader([&] { arrived = peer.Receive(wire.size()); });
    Click(CTcpServerDlg::kSendId);
    EXPECT_TRUE(QTest::qWaitFor([&] { return box->Text().isEmpty(); }, kWaitMs));
    reader.join();
    EXPECT_TRUE(arrived == wire) << arrived.size() << " of " << wire.size() << " bytes";

    // A paragraph never ends inside a surrogate pair.
    QString faces = QStringLiteral("x");
    for (int i = 0; i < CSendBox::kPiece; ++i) faces += QStringLiteral("\U0001F600");
    QGuiApplication::clipboard()->setText(faces);
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(doc->blockCount(), 2);
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next())
        EXPECT_FALSE(block.text().front().isLowSurrogate());
    EXPECT_EQ(box->Text(), faces);
    EmptyClipboard();
}

TEST(DialogFieldPasteTest, AnEmptyOrImageClipboardChangesNothingAndTextPastes) {
    CSetListenDlg dialog(nullptr, RGB(232, 243, 250));
    dialog.show();
    auto* field = FindControlAs<QLineEdit>(&dialog, CSetListenDlg::kPortFieldId);
    ASSERT_NE(field, nullptr);
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, "80");

    EmptyClipboard();
    PasteEveryWay(field, field);
    EXPECT_EQ(field->text(), "80");
    ImageOnlyClipboard();
    PasteEveryWay(field, field);
    EXPECT_EQ(field->text(), "80");

    QGuiApplication::clipboard()->setText(QStringLiteral("88"));
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(field->text(), "8088");
    EmptyClipboard();
}

}  // namespace
