#include "skin/skin_btn.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include "platform/dialog_template.h"
#include "tests/skin/skin_test_support.h"

using namespace skin_test;

namespace {

const QColor kNormal(200, 0, 0);
const QColor kHover(0, 0, 200);
const QColor kPressed(200, 200, 0);
const QColor kDisabled(128, 128, 128);
constexpr int kButtonId = 1030;

// A window with one skin button whose images have a magenta left quarter, and an edit box
// to take the focus away.
class SkinBtnTest : public ::testing::Test {
protected:
    void SetUp() override {
        edit = new QLineEdit(&parent);
        edit->setGeometry(10, 150, 100, 24);
        button = new CSkinBtn;
        button->Create(QRect(40, 30, 80, 24), &parent, kButtonId);
        const QSize size(80, 24);
        button->LoadBitmaps(SolidBitmap(size, kNormal, 20), SolidBitmap(size, kHover, 20),
                            SolidBitmap(size, kPressed, 20), SolidBitmap(size, kDisabled, 20));
        parent.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
        QApplication::setActiveWindow(&parent);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&parent));
        MoveCursorAway();
    }

    void MoveCursorAway() { QTest::mouseMove(&parent, QPoint(250, 180)); }
    QColor ImageColour() { return PixelOf(button, 60, 12); }
    QColor MagentaColour() { return PixelOf(button, 5, 12); }

    PaintedParent parent;
    QLineEdit* edit = nullptr;
    CSkinBtn* button = nullptr;
};

TEST_F(SkinBtnTest, CreateKeepsIdRectangleAndShowsNormalImageOverParentBackground) {
    EXPECT_EQ(ControlId(button), kButtonId);
    EXPECT_EQ(button->GetControlId(), kButtonId);
    EXPECT_EQ(button->GetRectInParent(), QRect(40, 30, 80, 24));
    EXPECT_TRUE(button->isVisible());
    EXPECT_EQ(button->GetNormalImage().size(), QSize(80, 24));

    EXPECT_EQ(button->GetState(), CSkinBtn::kNormal);
    EXPECT_EQ(ImageColour(), kNormal);
    // Magenta lets through what the parent painted beneath the button.
    EXPECT_EQ(MagentaColour(), kParentColour);
}

TEST_F(SkinBtnTest, BackgroundIsCapturedOnceAndNotRefreshed) {
    ASSERT_TRUE(button->HasCapturedBackground());
    parent.colour = QColor(0, 0, 0);
    parent.update();
    button->update();
    QApplication::processEvents();
    EXPECT_EQ(MagentaColour(), kParentColour);
}

TEST_F(SkinBtnTest, HoverShowsHoverImageAndLeavingRestoresNormal) {
    QTest::mouseMove(button, QPoint(40, 12));
    EXPECT_TRUE(button->IsHovering());
    EXPECT_EQ(button->GetState(), CSkinBtn::kHover);
    EXPECT_EQ(ImageColour(), kHover);
    EXPECT_EQ(MagentaColour(), kParentColour);

    MoveCursorAway();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !button->IsHovering(); }, 5000));
    EXPECT_EQ(button->GetState(), CSkinBtn::kNormal);
    EXPECT_EQ(ImageColour(), kNormal);

    // Hovering starts again on the next visit.
    QTest::mouseMove(button, QPoint(41, 12));
    EXPECT_EQ(ImageColour(), kHover);
}

TEST_F(SkinBtnTest, PressShowsPressedImageAndClickReachesOwnerWithId) {
    QSignalSpy commands(button, &CSkinBtn::commandClicked);
    QTest::mouseMove(button, QPoint(40, 12));
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(40, 12));
    EXPECT_FALSE(button->hasFocus());  // a button for the mouse: the keyboard stays put
    EXPECT_EQ(button->GetState(), CSkinBtn::kPressed);
    EXPECT_EQ(ImageColour(), kPressed);
    EXPECT_EQ(commands.count(), 0);

    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(40, 12));
    ASSERT_EQ(commands.count(), 1);
    EXPECT_EQ(commands.at(0).at(0).toInt(), kButtonId);
    // Just clicked and under the cursor: back to the hover image.
    EXPECT_EQ(button->GetState(), CSkinBtn::kHover);
    EXPECT_EQ(ImageColour(), kHover);
}

TEST_F(SkinBtnTest, RedrawWithoutFocusShowsNormalEvenUnderTheCursor) {
    edit->setFocus();
    QTest::mouseMove(button, QPoint(40, 12));
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(40, 12));
    ASSERT_TRUE(edit->hasFocus());
    ASSERT_EQ(button->GetState(), CSkinBtn::kHover);

    edit->clearFocus();  // the focus change makes the system redraw the button
    QApplication::processEvents();
    EXPECT_TRUE(button->IsHovering());
    EXPECT_EQ(button->GetState(), CSkinBtn::kNormal);
    EXPECT_EQ(ImageColour(), kNormal);
}

TEST_F(SkinBtnTest, DisabledShowsDisabledImageAndIgnoresTheMouseUntilEnabled) {
    QSignalSpy commands(button, &CSkinBtn::commandClicked);
    button->setEnabled(false);
    QApplication::processEvents();
    EXPECT_EQ(button->GetState(), CSkinBtn::kDisabled);
    EXPECT_EQ(ImageColour(), kDisabled);
    EXPECT_EQ(MagentaColour(), kParentColour);

    QTest::mouseMove(button, QPoint(40, 12));
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(40, 12));
    EXPECT_FALSE(button->IsHovering());
    EXPECT_EQ(ImageColour(), kDisabled);
    EXPECT_EQ(commands.count(), 0);

    button->setEnabled(true);
    MoveCursorAway();
    EXPECT_EQ(ImageColour(), kNormal);
    QTest::mouseMove(button, QPoint(42, 12));
    EXPECT_EQ(ImageColour(), kHover);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(42, 12));
    EXPECT_EQ(commands.count(), 1);
}

TEST_F(SkinBtnTest, DisablingWhileHoveredStopsTheHover) {
    QTest::mouseMove(button, QPoint(40, 12));
    ASSERT_TRUE(button->IsHovering());
    button->setEnabled(false);
    EXPECT_FALSE(button->IsHovering());
    EXPECT_EQ(ImageColour(), kDisabled);
}

TEST(SkinBtnImages, MissingResourceShowsOnlyTheCapturedBackground) {
    PaintedParent parent;
    auto* button = new CSkinBtn;
    button->Create(QRect(10, 10, 30, 20), &parent, 1031);
    button->LoadBitmaps(-12345, -12346, -12347, -12348);
    parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    EXPECT_TRUE(button->GetNormalImage().isNull());
    EXPECT_EQ(PixelOf(button, 15, 10), kParentColour);
}

TEST(SkinBtnImages, StateForDrawRequestFollowsFocusPressHoverAndEnable) {
    using S = CSkinBtn;
    EXPECT_EQ(S::StateForDrawRequest(false, false, true, false), S::kNormal);
    EXPECT_EQ(S::StateForDrawRequest(false, true, true, false), S::kNormal);
    EXPECT_EQ(S::StateForDrawRequest(true, false, true, false), S::kHover);
    EXPECT_EQ(S::StateForDrawRequest(true, false, false, false), S::kNormal);
    EXPECT_EQ(S::StateForDrawRequest(true, true, false, false), S::kPressed);
    EXPECT_EQ(S::StateForDrawRequest(true, true, true, true), S::kDisabled);
}

}  // namespace
