// The moving and sizing rules on plain rectangles: the zones, and drags of the handles that
// the pages cover in the real frame.
#include "app/frame_geometry.h"

#include <gtest/gtest.h>

namespace {

TEST(FrameGeometry, ZonesFollowTheBandsAndHandles) {
    const int w = 747, h = 606;
    EXPECT_EQ(HitTestFrame(100, 0, w, h).area, FrameArea::TopBand);
    EXPECT_EQ(HitTestFrame(0, 100, w, h).area, FrameArea::LeftBand);
    EXPECT_EQ(HitTestFrame(w - 1, 100, w, h).area, FrameArea::RightBand);
    EXPECT_EQ(HitTestFrame(100, h - 1, w, h).area, FrameArea::BottomBand);
    EXPECT_EQ(HitTestFrame(1, 1, w, h).area, FrameArea::OuterCorner);
    EXPECT_EQ(HitTestFrame(w - 2, h - 2, w, h).area, FrameArea::OuterCorner);
    const struct {
        int x, y, zone;
    } inner[] = {{4, 4, 1},     {6, 6, 1},         {7, 7, 5},         {w - 7, 4, 3}, {w - 5, 6, 3},
                 {4, h - 7, 7}, {w - 5, h - 5, 9}, {w - 8, h - 5, 5}, {300, 300, 5}};
    for (const auto& point : inner) {
        const FrameHit hit = HitTestFrame(point.x, point.y, w, h);
        EXPECT_EQ(hit.area, FrameArea::Inner) << point.x << "," << point.y;
        EXPECT_EQ(hit.zone, point.zone) << point.x << "," << point.y;
    }
    EXPECT_EQ(CursorForZone(9), ZoneCursor::SizeTopLeftBottomRight);
    EXPECT_EQ(CursorForZone(7), ZoneCursor::SizeTopRightBottomLeft);
    EXPECT_EQ(CursorForZone(5), ZoneCursor::Arrow);
}

// Drives one zone like the timer does: the window is placed where each step says.
struct Drag {
    int zone;
    WinRect window;
    DragState state;
    Drag(int zone, WinRect window, WinPoint grab) : zone(zone), window(window) {
        state.recorded = window;
        state.grab = grab;
    }
    void To(int x, int y) {
        const DragStep step = StepDrag(zone, window, {x, y}, state);
        if (step.place)
            window = step.window;
    }
};

TEST(FrameGeometry, HandlesSizeTheWindowAndNeverBelowTheMinimum) {
    // Bottom-right handle grabbed at client (742, 601) of a window at (100, 50).
    Drag drag(9, WinRect::FromSize(100, 50, 747, 606), {742, 601});
    drag.To(100 + 742 + 20, 50 + 601 + 10);  // outward: follows the cursor
    EXPECT_EQ(drag.window, WinRect::FromSize(100, 50, 767, 616));
    drag.To(100 + 742 + 20, 50 + 601 + 10);  // no movement: no change
    EXPECT_EQ(drag.window, WinRect::FromSize(100, 50, 767, 616));
    drag.To(100 + 100, 50 + 601);  // inward past the width limit: exactly 170 wide
    EXPECT_EQ(drag.window.Width(), kMinFrameWidth);
    EXPECT_EQ(drag.window.Height(), 606);
    drag.To(100 + 171, 50 + 200);  // inward past the height limit: exactly 400 high
    EXPECT_EQ(drag.window.Height(), kMinFrameHeight);
    EXPECT_EQ(drag.window.Width(), 171);
    const WinRect atLimit = drag.window;
    drag.To(100 + 170, 50 + 400);  // exactly at the limits: nothing changes
    EXPECT_EQ(drag.window, atLimit);
    drag.To(100 + 20, 50 + 30);  // far inside: nothing changes
    EXPECT_EQ(drag.window, atLimit);

    // Every handle dragged to far inside the window, step by step: the window keeps its
    // opposite corner and never gets smaller than the minimum.
    for (int zone : {1, 3, 7, 9}) {
        const WinRect start = WinRect::FromSize(100, 50, 747, 606);
        const bool right = zone == 3 || zone == 9;
        const bool bottom = zone == 7 || zone == 9;
        const WinPoint grab{right ? 742 : 5, bottom ? 601 : 5};
        Drag handle(zone, start, grab);
        for (int i = 1; i <= 40; ++i) {
            const int dx = (right ? -1 : 1) * 20 * i;
            const int dy = (bottom ? -1 : 1) * 20 * i;
            handle.To(start.left + grab.x + dx, start.top + grab.y + dy);
            EXPECT_GE(handle.window.Width(), kMinFrameWidth) << zone << " step " << i;
            EXPECT_GE(handle.window.Height(), kMinFrameHeight) << zone << " step " << i;
            EXPECT_EQ(right ? handle.window.left : handle.window.right,
                      right ? start.left : start.right)
                << zone;
            EXPECT_EQ(bottom ? handle.window.top : handle.window.bottom,
                      bottom ? start.top : start.bottom)
                << zone;
        }
        EXPECT_LT(handle.window.Width(), start.Width()) << zone;
        EXPECT_LT(handle.window.Height(), start.Height()) << zone;
    }

    // A bottom edge pulled past the height limit comes to rest at the minimum, from either
    // bottom handle, as the right edge does at the width limit.
    for (int zone : {7, 9}) {
        const int grabX = zone == 7 ? 5 : 742;
        Drag handle(zone, WinRect::FromSize(100, 50, 747, 606), {grabX, 601});
        handle.To(100 + grabX + (zone == 7 ? -20 : 20), 50 + 200);
        EXPECT_EQ(handle.window.Height(), kMinFrameHeight) << zone;
        EXPECT_EQ(handle.window.top, 50) << zone;
    }
}

}  // namespace
