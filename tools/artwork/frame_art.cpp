// The frame's skin pieces (corners and edges, magenta outside the rounded corners) and its
// 18 x 18 logo.
#include <QPainter>
#include <cmath>

#include "tools/artwork/artwork.h"

namespace {

const QColor kMagenta(255, 0, 255);
const QColor kInnerLine(255, 255, 255);  // matches the frame's white fill at the bottom

enum class Side { Left, Right };

// One column of a vertical piece, counted from the window's outer edge.
QColor SideColumn(int fromOuter, int row, bool inTopPiece) {
    if (inTopPiece && row < kTitleBandHeight) {
        return fromOuter == 0 ? palette::kBandShadow : TopBandColourAt(row);
    }
    if (fromOuter == 0) {
        return palette::kOutline;
    }
    if (fromOuter == 1) {
        return kInnerLine;
    }
    return inTopPiece ? TopBandColourAt(row) : kInnerLine;
}

// Cuts a rounded corner of the given radius into the piece: pixels outside the arc become
// magenta, pixels on it take the outline colour.
void RoundCorner(QImage& piece, bool top, Side side, int radius, const QColor& outline) {
    const int width = piece.width();
    const int height = piece.height();
    for (int y = 0; y < radius; ++y) {
        for (int x = 0; x < radius; ++x) {
            const double cx = radius - (x + 0.5);
            const double cy = radius - (y + 0.5);
            const double distance = std::hypot(cx, cy);
            const int px = side == Side::Left ? x : width - 1 - x;
            const int py = top ? y : height - 1 - y;
            if (distance > radius - 0.3) {
                piece.setPixelColor(px, py, kMagenta);
            } else if (distance > radius - 1.5) {
                piece.setPixelColor(px, py, outline);
            }
        }
    }
}

QImage TopPiece(int width, Side side) {
    QImage piece(width, kTopPieceHeight, QImage::Format_RGB32);
    for (int y = 0; y < kTopPieceHeight; ++y) {
        for (int x = 0; x < width; ++x) {
            const int fromOuter = side == Side::Left ? x : width - 1 - x;
            QColor colour = SideColumn(fromOuter, y, true);
            if (y == 0) {
                colour = palette::kBandShadow;
            } else if (y == 1 && fromOuter > 0) {
                colour = palette::kBandTop.lighter(125);
            }
            piece.setPixelColor(x, y, colour);
        }
    }
    RoundCorner(piece, true, side, 5, palette::kBandShadow);
    return piece;
}

QImage TopEdge() {
    QImage piece(2, kTopPieceHeight, QImage::Format_RGB32);
    for (int y = 0; y < kTopPieceHeight; ++y) {
        QColor colour = TopBandColourAt(y);
        if (y == 0) {
            colour = palette::kBandShadow;
        } else if (y == 1) {
            colour = palette::kBandTop.lighter(125);
        }
        piece.setPixelColor(0, y, colour);
        piece.setPixelColor(1, y, colour);
    }
    return piece;
}

QImage SideEdge(Side side) {
    QImage piece(2, 88, QImage::Format_RGB32);
    for (int y = 0; y < piece.height(); ++y) {
        for (int x = 0; x < 2; ++x) {
            const int fromOuter = side == Side::Left ? x : 1 - x;
            piece.setPixelColor(x, y, SideColumn(fromOuter, y, false));
        }
    }
    return piece;
}

QImage BottomCorner(Side side) {
    constexpr int kWidth = 6;
    QImage piece(kWidth, kTopPieceHeight, QImage::Format_RGB32);
    for (int y = 0; y < kTopPieceHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const int fromOuter = side == Side::Left ? x : kWidth - 1 - x;
            const int fromBottom = kTopPieceHeight - 1 - y;
            QColor colour = SideColumn(fromOuter, y, false);
            if (fromBottom == 0) {
                colour = palette::kOutline;
            } else if (fromBottom == 1 && fromOuter > 0) {
                colour = kInnerLine;
            }
            piece.setPixelColor(x, y, colour);
        }
    }
    RoundCorner(piece, false, side, 4, palette::kOutline);
    return piece;
}

QImage Logo() {
    constexpr int kSize = 18;
    QImage canvas = NewCanvas(kSize, kSize);
    QPainter painter(&canvas);
    PaintApplicationMark(painter, QRectF(0, 0, kSize, kSize));
    painter.end();
    return KeyOverTopBand(canvas, 8);
}

}  // namespace

void DrawFramePieces(ArtworkList& out) {
    const QString bitmap = QStringLiteral("bitmap");
    out.push_back(
        {bitmap, QStringLiteral("224"), TopPiece(6, Side::Left), QStringLiteral("top-left")});
    out.push_back({bitmap, QStringLiteral("222"), TopEdge(), QStringLiteral("top edge")});
    out.push_back(
        {bitmap, QStringLiteral("217"), TopPiece(5, Side::Right), QStringLiteral("top-right")});
    out.push_back(
        {bitmap, QStringLiteral("227"), SideEdge(Side::Left), QStringLiteral("left edge")});
    out.push_back(
        {bitmap, QStringLiteral("223"), SideEdge(Side::Right), QStringLiteral("right edge")});
    out.push_back(
        {bitmap, QStringLiteral("218"), BottomCorner(Side::Left), QStringLiteral("bottom-left")});
    out.push_back(
        {bitmap, QStringLiteral("219"), BottomCorner(Side::Right), QStringLiteral("bottom-right")});
    out.push_back({bitmap, QStringLiteral("284"), Logo(), QStringLiteral("logo")});
}
