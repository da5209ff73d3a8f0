// The main frame's own moving and sizing, as plain rules on rectangles and points: which
// zone of the frame a point lies in, the cursor each zone shows, and one 20 ms step of a
// drag. Kept free of widgets so that every case can be checked without a window manager.
#pragma once

#include <cstdint>

// A rectangle as the window system gives it: right and bottom exclusive.
struct WinRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    static WinRect FromSize(int left, int top, int width, int height) {
        return {left, top, left + width, top + height};
    }
    friend bool operator==(const WinRect&, const WinRect&) = default;
};

struct WinPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const WinPoint&, const WinPoint&) = default;
};

// Side of the square corner handles and width of the border band.
constexpr int kCornerHandleSize = 3;
constexpr int kBorderBandWidth = 4;
// The frame never becomes narrower or lower than this by its own sizing.
constexpr int kMinFrameWidth = 170;
constexpr int kMinFrameHeight = 400;
// Period of the zone timers.
constexpr int kDragStepMs = 20;

// Where a point of the client area lies. Zones use the keypad layout: 1, 3, 7 and 9 are the
// corner handles (top-left, top-right, bottom-left, bottom-right), 5 the rest of the inner
// area, which moves the window.
enum class FrameArea : std::uint8_t {
    TopBand,
    LeftBand,
    RightBand,
    BottomBand,
    Inner,
    OuterCorner,  // the four 4 x 4 squares outside every band
};

struct FrameHit {
    FrameArea area = FrameArea::OuterCorner;
    int zone = 0;  // 1, 3, 5, 7 or 9 in the inner area; 0 elsewhere
};

// Classifies client point (x, y) of a client area `width` x `height`.
FrameHit HitTestFrame(int x, int y, int width, int height);

// The cursor a zone shows.
enum class ZoneCursor : std::uint8_t { Arrow, SizeTopLeftBottomRight, SizeTopRightBottomLeft };
ZoneCursor CursorForZone(int zone);

// What one step of a drag works on: the recorded window rectangle and the grab offset (where
// the button went down, client coordinates), both updated by the step.
struct DragState {
    WinRect recorded;
    WinPoint grab;
};

struct DragStep {
    bool place = false;  // the window is to be placed at `window`
    WinRect window;
    bool resized = false;  // a sizing case applied (the recorded rectangle was updated)
};

// One timer step of zone `zone`, with the current window rectangle `current` and cursor
// `cursor` (screen coordinates). Updates `state` as the step requires. Where none of the
// zone's cases applies, nothing is placed.
DragStep StepDrag(int zone, const WinRect& current, const WinPoint& cursor, DragState& state);
