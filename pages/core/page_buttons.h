// Where the run-time skin buttons of a page go, and the bitmaps each one shows.
// Plain functions of the controls' rectangles (page client coordinates, pixels), so that
// the rules can be checked without a page.
#pragma once

#include <QRect>

// Bitmap resource ids in the order the skin button loads them.
struct SkinBitmaps {
    int normal;
    int hover;
    int pressed;
    int disabled;
};

inline constexpr SkinBitmaps kCreateBitmaps{236, 241, 237, 240};
inline constexpr SkinBitmaps kListenBitmaps{273, 270, 271, 272};
inline constexpr SkinBitmaps kStopListeningBitmaps{269, 266, 267, 268};
inline constexpr SkinBitmaps kConnectBitmaps{245, 242, 243, 244};
inline constexpr SkinBitmaps kDisconnectBitmaps{265, 262, 263, 264};
inline constexpr SkinBitmaps kDeleteBitmaps{261, 258, 259, 260};
inline constexpr SkinBitmaps kSendBitmaps{257, 254, 255, 256};
inline constexpr SkinBitmaps kClearReceivedBitmaps{253, 250, 251, 252};
inline constexpr SkinBitmaps kClearSentBitmaps{249, 246, 247, 248};

// A rectangle given by its edges as Windows does (right and bottom exclusive).
inline QRect RectFromEdges(int left, int top, int right, int bottom) {
    return QRect(left, top, right - left, bottom - top);
}

// Top row of page commands: the n-th button (0-based) with the page's gap between
// buttons. The first starts 14 pixels from the client's left edge; each is 51 wide.
inline QRect TopRowButtonRect(int index, int gap) {
    constexpr int kFirstLeft = 14, kTop = 5, kBottom = 29, kWidth = 51;
    const int left = kFirstLeft + index * (kWidth + gap);
    return RectFromEdges(left, kTop, left + kWidth, kBottom);
}

// Send sits above the right end of the send box.
inline QRect SendButtonRect(const QRect& sendBox) {
    const int right = sendBox.x() + sendBox.width();
    return RectFromEdges(right - 61, sendBox.y() - 26, right - 10, sendBox.y() - 2);
}

// Clear received sits in the top row above the right end of the received view.
inline QRect ClearReceivedButtonRect(const QRect& receivedView) {
    const int right = receivedView.x() + receivedView.width();
    return RectFromEdges(right - 101, 5, right - 10, receivedView.y() - 2);
}

// Clear sent sits above the right end of the sent view.
inline QRect ClearSentButtonRect(const QRect& sentView) {
    const int right = sentView.x() + sentView.width();
    return RectFromEdges(right - 101, sentView.y() - 26, right - 10, sentView.y() - 2);
}
