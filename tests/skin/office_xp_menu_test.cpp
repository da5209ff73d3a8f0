#include "skin/office_xp_menu.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QTest>
#include <memory>

namespace {

// Writes a binary menu template: header (version 0, offset 0), then the items.
class MenuTemplateWriter {
public:
    MenuTemplateWriter() { Words({0, 0}); }
    MenuTemplateWriter& Item(std::uint16_t flags, std::uint16_t id, const QString& text) {
        Words({flags, id});
        return Text(text);
    }
    MenuTemplateWriter& Popup(std::uint16_t flags, const QString& text) {
        Words({static_cast<std::uint16_t>(flags | menu_flags::kPopup)});
        return Text(text);
    }
    QByteArray bytes;

private:
    void Words(std::initializer_list<std::uint16_t> words) {
        for (std::uint16_t word : words) {
            bytes.append(static_cast<char>(word & 0xFF));
            bytes.append(static_cast<char>(word >> 8));
        }
    }
    MenuTemplateWriter& Text(const QString& text) {
        for (QChar c : text) {
            Words({c.unicode()});
        }
        Words({0});
        return *this;
    }
};

constexpr std::uint16_t kEnd = menu_flags::kEnd;

// The frame's menu: one popup with the four commands.
QByteArray FrameMenuTemplate() {
    MenuTemplateWriter menu;
    menu.Popup(kEnd, "设置(&M)")
        .Item(0, 32777, "设置        (&Alt+S)")
        .Item(0, 32778, "帮助        (&Alt+H)")
        .Item(0, 32779, "关于        (&Alt+A)")
        .Item(kEnd, 32780, "退出        (&Alt+X)");
    return menu.bytes;
}

MenuSystemLook TestLook() {
    MenuSystemLook look;
    look.menu = QColor(240, 240, 240);
    look.menuText = Qt::black;
    look.grayText = QColor(109, 109, 109);
    look.face3d = QColor(212, 208, 200);
    look.highlight = QColor(10, 36, 106);
    look.highlightText = Qt::white;
    look.light3d = Qt::white;
    look.shadow3d = QColor(128, 128, 128);
    look.menuFont = QApplication::font("QMenu");
    look.menuBarHeight = 20;
    return look;
}

class OfficeXPMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        COfficeXPMenu::SetSystemLook(TestLook());
        COfficeXPMenu::SetMenuStyle(1);
    }
    void TearDown() override { COfficeXPMenu::SetSystemLook(std::nullopt); }

    // Draws one item of `menu` into a 200 x 20 image.
    QImage DrawnItem(COfficeXPMenu& menu, int position, UINT state) {
        QImage image(200, 20, QImage::Format_RGB32);
        image.fill(Qt::black);
        QPainter painter(&image);
        DrawItemInfo info;
        info.painter = &painter;
        info.itemRect = image.rect();
        info.itemState = state;
        info.itemData = menu.GetItemData(position);
        menu.DrawItem(info);
        return image;
    }
};

TEST_F(OfficeXPMenuTest, LoadsFrameMenuWithPlainTopLevelAndOwnerDrawnPopup) {
    COfficeXPMenu menu;
    ASSERT_TRUE(menu.LoadMenu(FrameMenuTemplate()));
    ASSERT_EQ(menu.GetMenuItemCount(), 1);
    EXPECT_EQ(menu.GetItemData(0)->flags, menu_flags::kByPosition | menu_flags::kPopup);
    EXPECT_EQ(menu.GetItemData(0)->text, "设置(&M)");

    COfficeXPMenu* popup = menu.GetSubMenu(0);
    ASSERT_NE(popup, nullptr);
    EXPECT_TRUE(popup->IsChild());
    ASSERT_EQ(popup->GetMenuItemCount(), 4);
    EXPECT_EQ(popup->GetItemData(0)->text, "设置        (&Alt+S)");  // no tab: unchanged
    EXPECT_EQ(popup->GetItemData(3)->text, "退出        (&Alt+X)");
    EXPECT_EQ(popup->GetItemData(3)->commandId, 32780);
    EXPECT_EQ(popup->GetItemData(3)->flags, menu_flags::kOwnerDraw);  // end bit removed
    EXPECT_EQ(menu.GetSubMenu(1), nullptr);
}

TEST_F(OfficeXPMenuTest, NestedPopupsSeparatorsAndAcceleratorAlignment) {
    MenuTemplateWriter t;
    t.Popup(0, "&File")
        .Item(0, 100, "&Open\tCtrl+O")
        .Item(0, 0, "")
        .Popup(0, "&Recent")
        .Item(menu_flags::kGrayed | kEnd, 110, "(none)")
        .Item(kEnd, 101, "E&xit the program\tAlt+F4")
        .Popup(kEnd, "&Help")
        .Item(kEnd, 200, "&About");
    COfficeXPMenu menu;
    ASSERT_TRUE(menu.LoadMenu(t.bytes));
    ASSERT_EQ(menu.GetMenuItemCount(), 2);
    COfficeXPMenu* file = menu.GetSubMenu(0);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(file->GetMenuItemCount(), 4);
    EXPECT_EQ(file->GetItemData(1)->flags, menu_flags::kSeparator | menu_flags::kOwnerDraw);
    EXPECT_EQ(file->GetItemData(2)->flags, menu_flags::kPopup | menu_flags::kOwnerDraw);
    ASSERT_NE(file->GetSubMenu(2), nullptr);
    EXPECT_EQ(file->GetSubMenu(2)->GetMenuItemCount(), 1);
    EXPECT_TRUE(file->GetSubMenu(2)->GetItemData(0)->IsDisabled());
    EXPECT_EQ(menu.GetSubMenu(1)->GetItemData(0)->commandId, 200);

    // Labels before the tabs are padded with blanks to a common width.
    const QString open = file->GetItemData(0)->text;
    const QString exit = file->GetItemData(3)->text;
    ASSERT_TRUE(open.startsWith("&Open "));
    EXPECT_TRUE(open.endsWith("\tCtrl+O"));
    EXPECT_TRUE(exit.startsWith("E&xit the program"));
    const QFontMetrics metrics(TestLook().menuFont);
    const int widest = metrics.horizontalAdvance("E&xit the program ");
    EXPECT_GE(metrics.horizontalAdvance(open.left(open.indexOf('\t'))), widest);
    EXPECT_LT(metrics.horizontalAdvance(open.left(open.indexOf('\t') - 1)), widest);
}

TEST_F(OfficeXPMenuTest, MissingOrMalformedTemplateLoadsNothing) {
    COfficeXPMenu menu;
    EXPECT_FALSE(menu.LoadMenu(-4242));  // no such resource
    EXPECT_FALSE(menu.IsLoaded());
    EXPECT_EQ(menu.TrackPopupMenu(QPoint(10, 10), nullptr), 0);

    QByteArray truncated = FrameMenuTemplate();
    truncated.chop(6);
    EXPECT_FALSE(menu.LoadMenu(truncated));
    EXPECT_EQ(menu.GetMenuItemCount(), 0);

    QByteArray badOffset = FrameMenuTemplate();
    badOffset[2] = static_cast<char>(0xFF);
    EXPECT_FALSE(menu.LoadMenu(badOffset));

    ASSERT_TRUE(menu.LoadMenu(FrameMenuTemplate()));
    menu.DestroyMenu();
    EXPECT_EQ(menu.GetMenuItemCount(), 0);
    EXPECT_EQ(menu.GetSubMenu(0), nullptr);
}

TEST_F(OfficeXPMenuTest, MeasureItemGivesSeparatorHalfBarAndItemsTextPlus33) {
    MenuTemplateWriter t;
    t.Popup(kEnd, "P").Item(0, 0, "").Item(kEnd, 7, "A&bc\tX");
    COfficeXPMenu menu;
    ASSERT_TRUE(menu.LoadMenu(t.bytes));
    COfficeXPMenu* popup = menu.GetSubMenu(0);

    MeasureItemInfo separator{popup->GetItemData(0)};
    popup->MeasureItem(separator);
    EXPECT_EQ(separator.itemWidth, 0);
    EXPECT_EQ(separator.itemHeight, 10);

    MeasureItemInfo item{popup->GetItemData(1)};
    popup->MeasureItem(item);
    const QFontMetrics metrics(TestLook().menuFont);
    EXPECT_EQ(item.itemWidth, metrics.horizontalAdvance(popup->GetItemData(1)->text) + 33);
    EXPECT_EQ(item.itemHeight, 20);

    MenuSystemLook small = TestLook();
    small.menuBarHeight = 15;
    COfficeXPMenu::SetSystemLook(small);
    popup->MeasureItem(item);
    EXPECT_EQ(item.itemHeight, 19);
    popup->MeasureItem(separator);
    EXPECT_EQ(separator.itemHeight, 7);
}

TEST_F(OfficeXPMenuTest, XpStyleDrawsColumnSelectionFillAndBorder) {
    COfficeXPMenu menu;
    ASSERT_TRUE(menu.LoadMenu(FrameMenuTemplate()));
    COfficeXPMenu* popup = menu.GetSubMenu(0);

    const QImage plain = DrawnItem(*popup, 0, 0);
    EXPECT_EQ(plain.pixelColor(0, 10), QColor(99, 190, 255));
    EXPECT_EQ(plain.pixelColor(20, 10), QColor(99, 190, 255));
    EXPECT_EQ(plain.pixelColor(21, 10), QColor(240, 240, 240));  // column is 21 wide
    EXPECT_EQ(plain.pixelColor(199, 2), QColor(240, 240, 240));
    // Some text is drawn after the column.
    bool textDrawn = false;
    for (int x = 25; x < 199 && !textDrawn; ++x) {
        textDrawn = plain.pixelColor(x, 10).lightness() < 128;
    }
    EXPECT_TRUE(textDrawn);

    const QImage selected = DrawnItem(*popup, 0, item_state::kSelected);
    const QColor border(132, 166, 198);
    EXPECT_EQ(selected.pixelColor(0, 0), border);
    EXPECT_EQ(selected.pixelColor(199, 19), border);
    EXPECT_EQ(selected.pixelColor(100, 0), border);
    EXPECT_EQ(selected.pixelColor(0, 10), border);
    EXPECT_EQ(selected.pixelColor(5, 10), QColor(206, 231, 255));  // no column
    EXPECT_EQ(selected.pixelColor(198, 2), QColor(206, 231, 255));

    // Disabled items are never drawn selected.
    const QImage disabled = DrawnItem(*popup, 0, item_state::kSelected | item_state::kGrayed);
    EXPECT_EQ(disabled.pixelColor(5, 10), QColor(99, 190, 255));
}

TEST_F(OfficeXPMenuTest, MenuColourEqualToColumnLightensTheColours) {
    MenuSystemLook look = TestLook();
    look.menu = QColor(99, 190, 255);
    COfficeXPMenu::SetSystemLook(look);
    EXPECT_EQ(COfficeXPMenu::Lighten(RGB(99, 190, 255), 0.35), RGB(153, 212, 255));
    EXPECT_EQ(COfficeXPMenu::Lighten(RGB(10, 20, 30), 0.0), RGB(10, 20, 30));
    EXPECT_EQ(COfficeXPMenu::Lighten(RGB(10, 20, 30), 1.5), RGB(10, 20, 30));

    COfficeXPMenu menu;
    ASSERT_TRUE(menu.LoadMenu(FrameMenuTemplate()));
    const QImage plain = DrawnItem(*menu.GetSubMenu(0), 0, 0);
    EXPECT_EQ(plain.pixelColor(5, 10), QColor(153, 212, 255));
    EXPECT_EQ(plain.pixelColor(199, 2), QColor(Qt::white));
    const COLORREF fill = COfficeXPMenu::Lighten(RGB(132, 166, 198), 0.85);
    const QImage selected = DrawnItem(*menu.GetSubMenu(0), 0, item_state::kSelected);
    EXPECT_EQ(selected.pixelColor(5, 10),
              QColor(GetRValue(fill), GetGValue(fill), GetBValue(fill)));
}

TEST_F(OfficeXPMenuTest, ClassicStyleUsesFaceAndHighlightColours) {
    COfficeXPMenu::SetMenuStyle(0);
    COfficeXPMenu menu;
    ASSERT_TRUE(menu.LoadMenu(FrameMenuTemplate()));
    const QImage selected = DrawnItem(*menu.GetSubMenu(0), 0, item_state::kSelected);
    EXPECT_EQ(selected.pixelColor(5, 10), QColor(212, 208, 200));
    EXPECT_EQ(selected.pixelColor(21, 2), QColor(10, 36, 106));
    COfficeXPMenu::SetMenuStyle(1);
}

TEST_F(OfficeXPMenuTest, PopupShowsHoveredItemWithBorderOverTheWholeWidth) {
    COfficeXPMenu menu;
    ASSERT_TRUE(menu.LoadMenu(FrameMenuTemplate()));
    std::unique_ptr<QMenu> popup(menu.GetSubMenu(0)->CreatePopupMenu(nullptr));
    popup->popup(QPoint(20, 20));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(popup.get()));
    const QList<QAction*> actions = popup->actions();
    ASSERT_EQ(actions.size(), 4);
    EXPECT_EQ(actions[0]->text(), "设置        (&Alt+S)");

    const QRect second = popup->actionGeometry(actions[1]);
    EXPECT_EQ(second.height(), 20);
    QTest::mouseMove(popup.get(), second.center());
    EXPECT_TRUE(QTest::qWaitFor([&] { return popup->activeAction() == actions[1]; }, 5000));

    const QImage image = popup->grab().toImage();
    const int y = second.center().y();
    EXPECT_EQ(image.pixelColor(second.left(), y), QColor(132, 166, 198));
    EXPECT_EQ(image.pixelColor(second.right(), y), QColor(132, 166, 198));
    EXPECT_EQ(image.pixelColor(second.left() + 5, y), QColor(206, 231, 255));
    const QRect first = popup->actionGeometry(actions[0]);
    EXPECT_EQ(image.pixelColor(first.left() + 20, first.center().y()), QColor(99, 190, 255));
    EXPECT_EQ(image.pixelColor(first.left() + 21, first.center().y()), QColor(240, 240, 240));

    // Choosing an item yields its command id.
    QAction* chosen = nullptr;
    QObject::connect(popup.get(), &QMenu::triggered, [&](QAction* action) { chosen = action; });
    QTest::mouseClick(popup.get(), Qt::LeftButton, {}, second.center());
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(chosen->data().toInt(), 32778);
}

}  // namespace
