// Pasting into every page's send box, and into a dialog's field, with an empty clipboard, a
// clipboard holding only an image and one holding text: nothing but text ever goes in, and
// the program goes on.
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTimer>

#include "pages/set_listen_dlg.h"
#include "pages/tcp_client_dlg.h"
#include "pages/tcp_server_dlg.h"
#include "pages/udp_client_dlg.h"
#include "pages/udp_server_dlg.h"
#include "tests/pages/page_fixture.h"

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
