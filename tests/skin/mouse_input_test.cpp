// A skinned control keeps the mouse input it gets, as a Win32 child control does: the
// parent (the main frame, which moves and sizes itself by the mouse) never sees moves,
// presses or releases that happened over a button or the tab strip.
#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QTest>
#include <vector>

#include "skin/skin_btn.h"
#include "skin/skin_tab.h"
#include "tests/skin/skin_test_support.h"

using namespace skin_test;

namespace {

// A frame-like parent that tracks the mouse and records every mouse event it is given.
class MouseRecordingParent : public PaintedParent {
public:
    MouseRecordingParent() { setMouseTracking(true); }
    std::vector<QEvent::Type> seen;

protected:
    void mousePressEvent(QMouseEvent* event) override { Record(event); }
    void mouseReleaseEvent(QMouseEvent* event) override { Record(event); }
    void mouseMoveEvent(QMouseEvent* event) override { Record(event); }

private:
    void Record(QMouseEvent* event) {
        seen.push_back(event->type());
        event->accept();
    }
};

TEST(SkinMouseInput, MovesPressesAndReleasesOverAControlNeverReachItsParent) {
    MouseRecordingParent parent;
    auto* button = new CSkinBtn;
    button->Create(QRect(20, 20, 80, 24), &parent, 1030);
    button->LoadBitmaps(SolidBitmap({80, 24}, QColor(200, 0, 0)), QPixmap(), QPixmap(), QPixmap());
    auto* tab = new CSkinTab(&parent);
    tab->setGeometry(20, 100, 200, 30);
    tab->SetItemCount(2);
    tab->SetItemRect(0, 0, 0, 90, 20);
    tab->SetItemRect(1, 100, 0, 190, 20);
    parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));

    // Over the button, over a tab item, and over the strip between its items.
    for (QWidget* control : std::initializer_list<QWidget*>{button, tab}) {
        for (const QPoint point : {QPoint(40, 10), QPoint(95, 25)}) {
            if (!control->rect().contains(point))
                continue;
            QTest::mouseMove(control, point);
            QTest::mouseMove(control, point + QPoint(1, 0));
            QTest::mouseClick(control, Qt::LeftButton, {}, point);
        }
    }
    QTest::mouseClick(tab, Qt::LeftButton, {}, QPoint(150, 10));  // selects item 1
    EXPECT_EQ(tab->GetSelectedIndex(), 1);
    EXPECT_TRUE(parent.seen.empty()) << parent.seen.size() << " events reached the parent";

    // The parent still gets what happens over itself.
    QTest::mouseClick(&parent, Qt::LeftButton, {}, QPoint(250, 180));
    EXPECT_FALSE(parent.seen.empty());
}

}  // namespace
