#include "skin/tree_ctrl_ex.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <cstring>
#include <vector>

namespace {

const QColor kCaretBlue(49, 106, 197);

LOGFONT FontNamed(const char16_t* face, int weight = 400) {
    LOGFONT font;
    font.lfWeight = weight;
    std::char_traits<char16_t>::copy(font.lfFaceName, face,
                                     std::char_traits<char16_t>::length(face) + 1);
    return font;
}

// A page-like window: a host node with two entries, and an edit box to hold the focus.
class TreeCtrlExTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.resize(300, 240);
        tree = new CTreeCtrlEx(&window);
        tree->setGeometry(0, 0, 200, 200);
        edit = new QLineEdit(&window);
        edit->setGeometry(210, 10, 80, 24);
        host = tree->InsertItem("127.0.0.1", 0, 0);
        first = tree->InsertItem("127.0.0.1:5000", 2, 2, host);
        second = tree->InsertItem("127.0.0.1:5001", 3, 3, host);
        tree->Expand(host);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    QPoint CentreOf(HTREEITEM item) {
        return tree->visualItemRect(CTreeCtrlEx::FromHandle(item)).center();
    }
    // Pixels of the item's row in the caret blue and in white.
    std::pair<int, int> CaretPixelsInRow(HTREEITEM item) {
        const QImage image = tree->viewport()->grab().toImage();
        const QRect row = tree->visualItemRect(CTreeCtrlEx::FromHandle(item));
        int blue = 0;
        int white = 0;
        for (int y = row.top(); y <= row.bottom(); ++y) {
            for (int x = row.left(); x <= row.right() && x < image.width(); ++x) {
                const QColor colour = image.pixelColor(x, y);
                blue += colour == kCaretBlue;
                white += colour == Qt::white;
            }
        }
        return {blue, white};
    }

    QWidget window;
    CTreeCtrlEx* tree = nullptr;
    QLineEdit* edit = nullptr;
    HTREEITEM host = nullptr;
    HTREEITEM first = nullptr;
    HTREEITEM second = nullptr;
};

TEST_F(TreeCtrlExTest, ItemsNavigateAndKeepDataAndImagesLikeAWin32Tree) {
    EXPECT_EQ(tree->GetRootItem(), host);
    EXPECT_EQ(tree->GetChildItem(host), first);
    EXPECT_EQ(tree->GetNextSiblingItem(first), second);
    EXPECT_EQ(tree->GetNextSiblingItem(second), nullptr);
    EXPECT_EQ(tree->GetPrevSiblingItem(second), first);
    EXPECT_EQ(tree->GetParentItem(second), host);
    EXPECT_EQ(tree->GetParentItem(host), nullptr);
    EXPECT_TRUE(tree->ItemHasChildren(host));
    EXPECT_EQ(tree->GetItemText(first), "127.0.0.1:5000");

    const HTREEITEM front = tree->InsertItem("front", host, TVI_FIRST);
    const HTREEITEM middle = tree->InsertItem("middle", host, first);
    EXPECT_EQ(tree->GetChildItem(host), front);
    EXPECT_EQ(tree->GetNextSiblingItem(first), middle);
    EXPECT_EQ(tree->GetNextSiblingItem(middle), second);

    EXPECT_EQ(tree->GetItemData(first), 0u);
    int record = 0;
    tree->SetItemData(first, reinterpret_cast<std::uintptr_t>(&record));
    EXPECT_EQ(tree->GetItemData(first), reinterpret_cast<std::uintptr_t>(&record));

    int image = -1;
    int selectedImage = -1;
    ASSERT_TRUE(tree->SetItemImage(first, 4, 5));
    ASSERT_TRUE(tree->GetItemImage(first, image, selectedImage));
    EXPECT_EQ(image, 4);
    EXPECT_EQ(selectedImage, 5);

    EXPECT_TRUE(tree->DeleteItem(first));
    EXPECT_EQ(tree->GetNextSiblingItem(front), middle);
    EXPECT_EQ(tree->GetNextSiblingItem(middle), second);
    EXPECT_TRUE(tree->DeleteAllItems());
    EXPECT_EQ(tree->GetRootItem(), nullptr);
}

TEST_F(TreeCtrlExTest, ClickIsReportedWithTheHitItemBeforeTheCaretMoves) {
    tree->SelectItem(host);
    std::vector<std::pair<HTREEITEM, HTREEITEM>> clicks;  // hit item, caret at the time
    QObject::connect(tree, &CTreeCtrlEx::itemClicked, tree,
                     [&](HTREEITEM item) { clicks.emplace_back(item, tree->GetSelectedItem()); });

    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, CentreOf(second));
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks[0].first, second);
    EXPECT_EQ(clicks[0].second, host);
    EXPECT_EQ(tree->GetSelectedItem(), second);
    EXPECT_EQ(tree->HitTest(CentreOf(first)), first);

    // Keyboard moves change the caret but are not clicks.
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_Up);
    EXPECT_EQ(tree->GetSelectedItem(), first);
    EXPECT_EQ(clicks.size(), 1u);

    // A press below the last row reports no item.
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(50, 190));
    ASSERT_EQ(clicks.size(), 2u);
    EXPECT_EQ(clicks[1].first, nullptr);
}

TEST_F(TreeCtrlExTest, CaretLabelIsWhiteOnBlueWithAndWithoutFocus) {
    // No caret: nothing painted in the caret blue.
    tree->SelectItem(nullptr);
    QApplication::processEvents();
    EXPECT_EQ(CaretPixelsInRow(first).first, 0);
    EXPECT_EQ(CaretPixelsInRow(host).first, 0);

    tree->SelectItem(first);
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    tree->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(tree->hasFocus());
    auto [blue, white] = CaretPixelsInRow(first);
    EXPECT_GT(blue, 100);
    EXPECT_GT(white, 10);
    EXPECT_EQ(CaretPixelsInRow(second).first, 0);

    edit->setFocus();
    QApplication::processEvents();
    ASSERT_FALSE(tree->hasFocus());
    std::tie(blue, white) = CaretPixelsInRow(first);
    EXPECT_GT(blue, 100);
    EXPECT_GT(white, 10);
}

TEST_F(TreeCtrlExTest, BackgroundColourAndBoldShowInTheTree) {
    tree->SetBkColor(RGB(236, 233, 216));
    const QImage image = tree->viewport()->grab().toImage();
    EXPECT_EQ(image.pixelColor(190, 190), QColor(236, 233, 216));

    EXPECT_FALSE(tree->GetItemBoldState(host));
    tree->SetItemBoldState(host, true);
    EXPECT_TRUE(tree->GetItemBoldState(host));
    EXPECT_TRUE(CTreeCtrlEx::FromHandle(host)->font(0).bold());
    tree->SetItemBoldState(host, false);
    EXPECT_FALSE(tree->GetItemBoldState(host));
}

TEST_F(TreeCtrlExTest, LinesAndPlusMinusBoxesAreDrawnAlsoAtTheRoot) {
    tree->setRootIsDecorated(true);
    const auto branchPixels = [&](HTREEITEM item, const QColor& colour) {
        const QImage image = tree->viewport()->grab().toImage();
        const QRect row = tree->visualItemRect(CTreeCtrlEx::FromHandle(item));
        int count = 0;
        for (int y = row.top(); y <= row.bottom(); ++y) {
            for (int x = 0; x < row.left(); ++x) count += image.pixelColor(x, y) == colour;
        }
        return count;
    };
    const QColor grey(128, 128, 128);
    // The host node (a root with children) has its box: a minus while expanded, a plus
    // (more black) once collapsed.
    const int expandedBlack = branchPixels(host, Qt::black);
    EXPECT_GT(branchPixels(host, grey), 10);
    EXPECT_GT(expandedBlack, 2);
    // Entries have their dotted lines.
    EXPECT_GT(branchPixels(first, grey), 5);
    tree->Expand(host, false);
    EXPECT_GT(branchPixels(host, Qt::black), expandedBlack);
}

TEST_F(TreeCtrlExTest, ManyEntriesArrivingOneByOneAreAllReachable) {
    // Far more siblings than are laid out at once: each arrives in its own event-loop turn,
    // as connections do, and every one can be found, scrolled to, clicked and deleted.
    HTREEITEM last = nullptr;
    for (int i = 0; i < 600; ++i) {
        last = tree->InsertItem(QStringLiteral("10.0.0.1:%1").arg(i), 3, 3, host);
        tree->SetItemData(last, static_cast<std::uintptr_t>(i + 1));
        tree->Expand(host);
        QApplication::processEvents();
    }
    tree->SelectItem(last);  // scrolls to it at once
    const QPoint centre = CentreOf(last);
    EXPECT_TRUE(tree->viewport()->rect().contains(centre));
    EXPECT_EQ(tree->HitTest(centre), last);
    HTREEITEM clicked = nullptr;
    QObject::connect(tree, &CTreeCtrlEx::itemClicked, tree,
                     [&](HTREEITEM item) { clicked = item; });
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
    EXPECT_EQ(clicked, last);

    // Deleting right after more arrived, then walking the siblings.
    const HTREEITEM extra = tree->InsertItem("10.0.0.2:1", 3, 3, host);
    tree->DeleteItem(tree->GetPrevSiblingItem(extra));
    tree->DeleteItem(extra);
    int count = 0;
    for (HTREEITEM e = tree->GetChildItem(host); e; e = tree->GetNextSiblingItem(e)) ++count;
    EXPECT_EQ(count, 2 + 599);
    EXPECT_TRUE(QTest::qWaitFor([&] { return tree->viewport()->grab().width() > 0; }));
}

TEST_F(TreeCtrlExTest, AttributeStoreKeepsColourAndFontApart) {
    LOGFONT font;
    // Nothing set.
    EXPECT_EQ(tree->GetItemTextColor(first), static_cast<COLORREF>(-1));
    EXPECT_FALSE(tree->GetItemLogFont(first, font));

    // Only a font: the colour stays "none".
    tree->SetItemLogFont(first, FontNamed(u"Arial", 700));
    EXPECT_EQ(tree->GetItemTextColor(first), kNoTextColor);
    ASSERT_TRUE(tree->GetItemLogFont(first, font));
    EXPECT_EQ(font.lfWeight, 700);
    // Setting a colour keeps the font.
    tree->SetItemTextColor(first, RGB(136, 0, 21));
    EXPECT_EQ(tree->GetItemTextColor(first), RGB(136, 0, 21));
    ASSERT_TRUE(tree->GetItemLogFont(first, font));
    EXPECT_EQ(std::u16string(font.lfFaceName), u"Arial");

    // Only a colour: no font.
    tree->SetItemTextColor(second, RGB(1, 2, 3));
    EXPECT_FALSE(tree->GetItemLogFont(second, font));
    // Setting a font keeps the colour; an empty face name counts as no font.
    tree->SetItemLogFont(second, LOGFONT{});
    EXPECT_EQ(tree->GetItemTextColor(second), RGB(1, 2, 3));
    EXPECT_FALSE(tree->GetItemLogFont(second, font));

    // The store is shared by every tree.
    CTreeCtrlEx other;
    EXPECT_EQ(other.GetItemTextColor(first), RGB(136, 0, 21));
}

TEST_F(TreeCtrlExTest, DeletedItemsLeaveNoAttributesForLaterItems) {
    tree->SetItemTextColor(host, RGB(136, 0, 21));
    tree->SetItemTextColor(second, RGB(1, 2, 3));
    tree->SetItemLogFont(second, FontNamed(u"Arial"));
    tree->DeleteItem(host);  // takes its entries with it
    LOGFONT font;
    EXPECT_EQ(tree->GetItemTextColor(host), kNoTextColor);
    EXPECT_EQ(tree->GetItemTextColor(second), kNoTextColor);
    EXPECT_FALSE(tree->GetItemLogFont(second, font));

    // A new item starts clean even if the allocator hands it an old handle value.
    for (int i = 0; i < 8; ++i) {
        const HTREEITEM item = tree->InsertItem(QString::number(i));
        EXPECT_EQ(tree->GetItemTextColor(item), kNoTextColor);
    }
}

}  // namespace
