#include "skin/skin_tab.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <vector>

#include "platform/qt_window.h"
#include "tests/skin/skin_test_support.h"

using namespace skin_test;

namespace {

const QColor kNormal[3] = {QColor(200, 0, 0), QColor(0, 200, 0), QColor(0, 0, 200)};
const QColor kHover[3] = {QColor(250, 100, 100), QColor(100, 250, 100), QColor(100, 100, 250)};
const QColor kSelected[3] = {QColor(90, 0, 0), QColor(0, 90, 0), QColor(0, 0, 90)};

struct Message {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// A frame-like parent with a window handle that records what it is posted, and a strip of
// three 40x20 items side by side, each bitmap 40x30 with a magenta left column.
class SkinTabTest : public ::testing::Test {
protected:
    void SetUp() override {
        AttachMessageWindow(&parent, [this](UINT message, WPARAM wParam, LPARAM lParam) {
            received.push_back({message, wParam, lParam});
            return LRESULT{0};
        });
        tab = new CSkinTab(&parent);
        tab->setGeometry(10, 10, 200, 40);
        tab->SetItemCount(3);
        for (int i = 0; i < 3; ++i) {
            tab->SetItemRect(i, 50 * i, 0, 50 * i + 40, 20);
            tab->SetItemBitmaps(i, SolidBitmap({40, 30}, kNormal[i], 1),
                                SolidBitmap({40, 30}, kHover[i], 1),
                                SolidBitmap({40, 30}, kSelected[i], 1));
        }
        parent.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
        QTest::mouseMove(&parent, QPoint(250, 180));
    }

    // Lets posted messages run, then returns what arrived.
    const std::vector<Message>& Received() {
        QTest::qWait(30);
        return received;
    }
    QColor ItemColour(int index) { return PixelOf(tab, 50 * index + 20, 10); }

    PaintedParent parent;
    CSkinTab* tab = nullptr;
    std::vector<Message> received;
};

TEST_F(SkinTabTest, ItemZeroStartsSelectedWithoutNotice) {
    EXPECT_EQ(tab->GetSelectedIndex(), 0);
    EXPECT_EQ(tab->GetHoverIndex(), -1);
    EXPECT_EQ(ItemColour(0), kSelected[0]);
    EXPECT_EQ(ItemColour(1), kNormal[1]);
    EXPECT_EQ(ItemColour(2), kNormal[2]);
    EXPECT_TRUE(Received().empty());
}

TEST_F(SkinTabTest, DrawingAreaReachesFourPixelsBelowTheItemAndMagentaShowsBackground) {
    // Bitmaps are 30 high, items 20: rows 20..23 are drawn, row 24 on is the background.
    EXPECT_EQ(PixelOf(tab, 70, 23), kNormal[1]);
    EXPECT_EQ(PixelOf(tab, 70, 24), kParentColour);
    // Between items and under magenta: what the parent painted.
    EXPECT_EQ(PixelOf(tab, 45, 10), kParentColour);
    EXPECT_EQ(PixelOf(tab, 50, 10), kParentColour);
    EXPECT_EQ(CSkinTab::DrawingArea(QRect(0, 0, 40, 20)), QRect(0, 0, 40, 24));
}

TEST_F(SkinTabTest, ClickSelectsItemAndPostsItsIndexOnce) {
    QSignalSpy selected(tab, &CSkinTab::itemSelected);
    QTest::mouseClick(tab, Qt::LeftButton, {}, QPoint(120, 10));
    EXPECT_EQ(tab->GetSelectedIndex(), 2);
    const auto& messages = Received();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, WM_USER + 100);
    EXPECT_EQ(messages[0].wParam, 0u);
    EXPECT_EQ(messages[0].lParam, 2);
    ASSERT_EQ(selected.count(), 1);
    EXPECT_EQ(selected.at(0).at(0).toInt(), 2);
    EXPECT_EQ(ItemColour(2), kSelected[2]);
    EXPECT_EQ(ItemColour(0), kNormal[0]);
}

TEST_F(SkinTabTest, ClickOnSelectedItemOrOutsideItemsPostsNothing) {
    QSignalSpy selected(tab, &CSkinTab::itemSelected);
    QTest::mouseClick(tab, Qt::LeftButton, {}, QPoint(20, 10));   // item 0, selected
    QTest::mouseClick(tab, Qt::LeftButton, {}, QPoint(45, 10));   // between items
    QTest::mouseClick(tab, Qt::LeftButton, {}, QPoint(70, 22));   // drawing area only
    QTest::mouseClick(tab, Qt::RightButton, {}, QPoint(70, 10));  // not the left button
    EXPECT_TRUE(Received().empty());
    EXPECT_EQ(selected.count(), 0);
    EXPECT_EQ(tab->GetSelectedIndex(), 0);
}

TEST_F(SkinTabTest, HoverSwitchesBetweenItemsAndLeavingClearsIt) {
    QTest::mouseMove(tab, QPoint(70, 10));
    EXPECT_EQ(tab->GetHoverIndex(), 1);
    EXPECT_EQ(ItemColour(1), kHover[1]);

    QTest::mouseMove(tab, QPoint(120, 10));
    EXPECT_EQ(tab->GetHoverIndex(), 2);
    EXPECT_EQ(ItemColour(2), kHover[2]);
    EXPECT_EQ(ItemColour(1), kNormal[1]);

    // The selected item keeps its selected bitmap while hovered.
    QTest::mouseMove(tab, QPoint(20, 10));
    EXPECT_EQ(tab->GetHoverIndex(), 0);
    EXPECT_EQ(ItemColour(0), kSelected[0]);

    QTest::mouseMove(&parent, QPoint(250, 180));
    EXPECT_TRUE(QTest::qWaitFor([&] { return tab->GetHoverIndex() == -1; }, 5000));
    EXPECT_EQ(ItemColour(2), kNormal[2]);
}

TEST(SkinTabPainting, SelectedItemIsDrawnOnTopAndLowerIndicesOverHigherOnes) {
    PaintedParent parent;
    auto* tab = new CSkinTab(&parent);
    tab->setGeometry(0, 0, 100, 30);
    tab->SetItemCount(2);
    // Two overlapping items: 0 at x 0..39, 1 at x 20..59.
    tab->SetItemRect(0, 0, 0, 40, 20);
    tab->SetItemRect(1, 20, 0, 60, 20);
    tab->SetItemBitmaps(0, SolidBitmap({40, 20}, kNormal[0]), SolidBitmap({40, 20}, kHover[0]),
                        SolidBitmap({40, 20}, kSelected[0]));
    tab->SetItemBitmaps(1, SolidBitmap({40, 20}, kNormal[1]), SolidBitmap({40, 20}, kHover[1]),
                        SolidBitmap({40, 20}, kSelected[1]));
    parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    EXPECT_EQ(PixelOf(tab, 30, 10), kSelected[0]);  // selected 0 on top

    QTest::mouseClick(tab, Qt::LeftButton, {}, QPoint(50, 10));
    ASSERT_EQ(tab->GetSelectedIndex(), 1);
    EXPECT_EQ(PixelOf(tab, 30, 10), kSelected[1]);  // now 1 lies on top
    EXPECT_EQ(PixelOf(tab, 10, 10), kNormal[0]);
}

TEST(SkinTabPainting, ParentWithoutWindowHandleStillGetsTheSignal) {
    QWidget parent;
    auto* tab = new CSkinTab(&parent);
    tab->setGeometry(0, 0, 100, 30);
    tab->SetItemCount(2);
    tab->SetItemRect(0, 0, 0, 40, 20);
    tab->SetItemRect(1, 50, 0, 90, 20);
    parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    QSignalSpy selected(tab, &CSkinTab::itemSelected);
    QTest::mouseClick(tab, Qt::LeftButton, {}, QPoint(60, 10));
    ASSERT_EQ(selected.count(), 1);
    EXPECT_EQ(selected.at(0).at(0).toInt(), 1);
}

}  // namespace
