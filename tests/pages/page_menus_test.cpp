// The context menus of a page's views and of its send box carry Chinese items of the
// program's own, without a Latin letter (no mnemonic, no shortcut text), whatever the
// locale; and the items do what they say.
#include <QAction>
#include <QLocale>
#include <QMenu>
#include <QRegularExpression>

#include "tests/pages/page_test_support.h"

namespace {

using Page = CTcpServerDlg;

class PageMenusTest : public TcpServerPageTest {
protected:
    // Opens the context menu of `widget` (a view or the send box) as a right click does;
    // the menu, a child of the widget.
    static QMenu* OpenMenu(QPlainTextEdit* widget) {
        const QPoint at = widget->viewport()->rect().center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, widget->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(widget->viewport(), &event);
        return widget->findChild<QMenu*>();
    }
    // Texts of the menu's items (separators left out), each checked for Latin letters.
    static QStringList Items(QMenu* menu) {
        QStringList texts;
        for (QAction* action : menu->actions()) {
            if (action->isSeparator())
                continue;
            texts << action->text();
            // Only the names of formats stay Latin ("C", "Base64", "pcap").
            QString text = action->text();
            text.remove(QRegularExpression(QStringLiteral("\\b(C|Base64|pcap)\\b")));
            EXPECT_FALSE(text.contains(QRegularExpression("[A-Za-z]")))
                << action->text().toStdString();
            EXPECT_TRUE(action->shortcut().isEmpty()) << action->text().toStdString();
        }
        return texts;
    }
    static void Trigger(QPlainTextEdit* widget, const QString& item) {
        QMenu* menu = OpenMenu(widget);
        ASSERT_NE(menu, nullptr);
        QAction* found = nullptr;
        for (QAction* action : menu->actions()) {
            if (action->text() == item)
                found = action;
        }
        ASSERT_NE(found, nullptr) << item.toStdString();
        EXPECT_TRUE(found->isEnabled()) << item.toStdString();
        found->trigger();
        menu->close();
        delete menu;
    }
};

TEST_F(PageMenusTest, ViewAndSendBoxMenusAreChineseInEveryLocale) {
    const std::uint16_t port = CreateServer();
    LoopbackPeer peer;
    const HTREEITEM entry = ConnectPeer(peer, port);
    ClickItem(entry);
    ASSERT_TRUE(peer.Send("some data"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ReceivedText().contains("some data"); }, kWaitMs));

    for (const char* locale : {"C", "zh_CN", "en_US"}) {
        QLocale::setDefault(QLocale(QString::fromLatin1(locale)));
        SCOPED_TRACE(locale);
        for (QPlainTextEdit* view : {page_->ReceivedView(), page_->SentView()}) {
            QMenu* menu = OpenMenu(view);
            ASSERT_NE(menu, nullptr);
            const QStringList items = Items(menu);
            EXPECT_GE(items.size(), 2);
            EXPECT_EQ(items.mid(0, 2), (QStringList{"复制", "全选"}));
            delete menu;
        }
        QMenu* menu = OpenMenu(page_->SendBox());
        ASSERT_NE(menu, nullptr);
        // The edit items first; the page's tools follow them.
        EXPECT_EQ(Items(menu).mid(0, 7),
                  (QStringList{"撤销", "重做", "剪切", "复制", "粘贴", "删除", "全选"}));
        delete menu;
    }
    QLocale::setDefault(QLocale::c());

    // The items work: select all and copy in the received view, paste into the box, cut
    // and undo there.
    Trigger(page_->ReceivedView(), "全选");
    Trigger(page_->ReceivedView(), "复制");
    page_->SendBox()->clear();
    page_->SendBox()->setFocus();
    Trigger(page_->SendBox(), "粘贴");
    EXPECT_TRUE(page_->SendBox()->toPlainText().contains("some data"));
    Trigger(page_->SendBox(), "全选");
    Trigger(page_->SendBox(), "剪切");
    EXPECT_TRUE(page_->SendBox()->toPlainText().isEmpty());
    Trigger(page_->SendBox(), "撤销");
    EXPECT_TRUE(page_->SendBox()->toPlainText().contains("some data"));
    Trigger(page_->SendBox(), "全选");
    Trigger(page_->SendBox(), "删除");
    EXPECT_TRUE(page_->SendBox()->toPlainText().isEmpty());
}

}  // namespace
