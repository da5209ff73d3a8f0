#include "app/frame_geometry.h"

#include <utility>

namespace {
constexpr int c = kCornerHandleSize;
constexpr int b = kBorderBandWidth;
}  // namespace

FrameHit HitTestFrame(int x, int y, int width, int height) {
    const int w = width;
    const int h = height;
    if (WinRect{b, 0, w - b, b}.Contains(x, y))
        return {FrameArea::TopBand, 0};
    if (WinRect{0, b, b, h - b}.Contains(x, y))
        return {FrameArea::LeftBand, 0};
    if (WinRect{b, b, w - b, h - b}.Contains(x, y)) {
        if (WinRect{b, b, b + c, b + c}.Contains(x, y))
            return {FrameArea::Inner, 1};
        if (WinRect{w - c - b, b, w - b, b + c}.Contains(x, y))
            return {FrameArea::Inner, 3};
        if (WinRect{b, h - c - b, b + c, h - b}.Contains(x, y))
            return {FrameArea::Inner, 7};
        if (WinRect{w - c - b, h - c - b, w - b, h - b}.Contains(x, y))
            return {FrameArea::Inner, 9};
        return {FrameArea::Inner, 5};
    }
    if (WinRect{w - b, b, w, h - b}.Contains(x, y))
        return {FrameArea::RightBand, 0};
    if (WinRect{b, h - b, w - b, h}.Contains(x, y))
        return {FrameArea::BottomBand, 0};
    return {FrameArea::OuterCorner, 0};
}

ZoneCursor CursorForZone(int zone) {
    switch (zone) {
        case 1:
        case 9:
            return ZoneCursor::SizeTopLeftBottomRight;
        case 3:
        case 7:
            return ZoneCursor::SizeTopRightBottomLeft;
        default:
            return ZoneCursor::Arrow;
    }
}

namespace {

// One axis of a corner handle's drag. The handle moves the low edge (left, top) or the high
// edge (right, bottom) of the window; the opposite edge stays where it was recorded.
struct Axis {
    bool lowEdge;
    int cursor;
    int currentStart, currentEnd;    // the window now
    int recordedStart, recordedEnd;  // the recorded window
    int& grab;                       // the grab offset along this axis
};

enum class AxisCase : std::uint8_t {
    Free,     // the cursor is beyond the minimum: the edge follows it
    Held,     // the cursor is inside the minimum: the edge is held
    OnLimit,  // exactly at the minimum
};

AxisCase CaseOf(const Axis& a, int minimum) {
    const int limit = a.lowEdge ? a.currentEnd - minimum : a.currentStart + minimum;
    if (a.cursor == limit)
        return AxisCase::OnLimit;
    const bool beyond = a.lowEdge ? a.cursor < limit : a.cursor > limit;
    return beyond ? AxisCase::Free : AxisCase::Held;
}

// The axis's new start and end; the grab offset follows the high edge.
std::pair<int, int> StepAxis(const Axis& a, AxisCase axisCase, int minimum) {
    const int currentSize = a.currentEnd - a.currentStart;
    if (a.lowEdge) {
        if (axisCase == AxisCase::Free)
            return {a.cursor - a.grab, a.recordedEnd};
        return {a.recordedStart, a.recordedStart + currentSize};
    }
    const int size =
        axisCase == AxisCase::Free ? currentSize + a.cursor - a.grab - a.recordedStart : minimum;
    a.grab = axisCase == AxisCase::Free ? a.cursor - a.recordedStart : minimum;
    return {a.recordedStart, a.recordedStart + size};
}

}  // namespace

DragStep StepDrag(int zone, const WinRect& r, const WinPoint& p, DragState& state) {
    DragStep step;
    if (zone == 5) {
        step.place = true;
        step.window =
            WinRect::FromSize(p.x - state.grab.x, p.y - state.grab.y, r.Width(), r.Height());
        return step;
    }
    if (zone != 1 && zone != 3 && zone != 7 && zone != 9)
        return step;

    const WinRect& s = state.recorded;
    const Axis x{zone == 1 || zone == 7, p.x, r.left, r.right, s.left, s.right, state.grab.x};
    const Axis y{zone <= 3, p.y, r.top, r.bottom, s.top, s.bottom, state.grab.y};
    const AxisCase xCase = CaseOf(x, kMinFrameWidth);
    const AxisCase yCase = CaseOf(y, kMinFrameHeight);
    // A step sizes when the cursor is beyond the minimum on at least one axis and exactly at
    // it on neither.
    if (xCase == AxisCase::OnLimit || yCase == AxisCase::OnLimit ||
        (xCase == AxisCase::Held && yCase == AxisCase::Held)) {
        return step;
    }
    const auto [left, right] = StepAxis(x, xCase, kMinFrameWidth);
    const auto [top, bottom] = StepAxis(y, yCase, kMinFrameHeight);
    step.place = true;
    step.resized = true;
    step.window = {left, top, right, bottom};
    state.recorded = step.window;
    return step;
}
