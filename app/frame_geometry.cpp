#include "app/frame_geometry.h"

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

DragStep StepDrag(int zone, const WinRect& r, const WinPoint& p, DragState& state) {
    const WinRect& s = state.recorded;
    int& gx = state.grab.x;
    int& gy = state.grab.y;
    constexpr int minW = kMinFrameWidth;
    constexpr int minH = kMinFrameHeight;
    DragStep step;
    auto size = [&](int left, int top, int width, int height) {
        step.place = true;
        step.resized = true;
        step.window = WinRect::FromSize(left, top, width, height);
    };
    auto edges = [&](int left, int top, int right, int bottom) {
        size(left, top, right - left, bottom - top);
    };

    switch (zone) {
        case 5:
            step.place = true;
            step.window = WinRect::FromSize(p.x - gx, p.y - gy, r.Width(), r.Height());
            return step;
        case 1:
            if (p.y < r.bottom - minH && p.x < r.right - minW) {
                edges(p.x - gx, p.y - gy, s.right, s.bottom);
            } else if (p.y < r.bottom - minH && p.x > r.right - minW) {
                edges(s.left, p.y - gy, s.left + r.Width(), s.bottom);
            } else if (p.y > r.bottom - minH && p.x < r.right - minW) {
                size(p.x - gx, s.top, s.right - (p.x - gx), r.Height());
            }
            break;
        case 3:
            if (p.y < r.bottom - minH && p.x > r.left + minW) {
                size(s.left, p.y - gy, r.Width() + p.x - gx - s.left,
                     r.Height() - (p.y - gy - s.top));
                gx = p.x - s.left;
            } else if (p.y < r.bottom - minH && p.x < r.left + minW) {
                edges(s.left, p.y - gy, s.left + minW, s.bottom);
                gx = minW;
            } else if (p.y > r.bottom - minH && p.x > r.left + minW) {
                size(s.left, s.top, r.Width() + p.x - gx - s.left, s.Height());
                gx = p.x - s.left;
            }
            break;
        case 7:
            if (p.y > r.top + minH && p.x < r.right - minW) {
                edges(p.x - gx, s.top, s.right, s.top + r.Height() + p.y - gy - s.top);
                gy = p.y - s.top;
            } else if (p.y < r.top + minH && p.x < r.right - minW) {
                edges(p.x - gx, s.top, s.right, s.top + r.Height());
            } else if (p.y > r.top + minH && p.x > r.right - minW) {
                // The left edge stays; the horizontal grab offset is kept, so that coming
                // back to the first two cases places the left edge under the cursor again.
                size(s.left, s.top, r.Width(), r.Height() + p.y - gy - s.top);
                gy = p.y - s.top;
            }
            break;
        case 9: {
            const int width = r.Width() + p.x - gx - s.left;
            const int height = r.Height() + p.y - gy - s.top;
            if (p.y > r.top + minH && p.x > r.left + minW) {
                size(s.left, s.top, width, height);
                gx = p.x - s.left;
                gy = p.y - s.top;
            } else if (p.y > r.top + minH && p.x < r.left + minW) {
                size(s.left, s.top, minW, height);
                gx = minW;
                gy = p.y - s.top;
            } else if (p.y < r.top + minH && p.x > r.left + minW) {
                size(s.left, s.top, width, minH);
                gx = p.x - s.left;
                gy = minH;
            }
            break;
        }
        default:
            break;
    }
    if (step.resized)
        state.recorded = step.window;
    return step;
}
