// Shared drawing helpers of the artwork generator.
#include <QPainter>

#include "tools/artwork/artwork.h"

namespace {

QColor Mix(const QColor& a, const QColor& b, double t) {
    return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t,
                            a.greenF() + (b.greenF() - a.greenF()) * t,
                            a.blueF() + (b.blueF() - a.blueF()) * t);
}

}  // namespace

QColor TopBandColourAt(int row) {
    if (row < kTitleBandHeight - 1) {
        return Mix(palette::kBandTop, palette::kBandBottom, row / double(kTitleBandHeight - 2));
    }
    if (row == kTitleBandHeight - 1) {
        return palette::kBandShadow;
    }
    if (row == kTopPieceHeight - 1) {
        return palette::kTabBarLine;
    }
    const int first = kTitleBandHeight;
    const int last = kTopPieceHeight - 2;
    return Mix(palette::kTabBarTop, palette::kTabBarBottom, (row - first) / double(last - first));
}

QFont ChineseFont(int pixelSize, bool bold) {
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

QFont LatinFont(int pixelSize, bool bold) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

QImage NewCanvas(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

namespace {

template <typename MatteAt>
QImage KeyWith(const QImage& drawing, int minimumAlpha, MatteAt matteAt) {
    const QImage source = drawing.convertToFormat(QImage::Format_ARGB32);
    QImage result(source.size(), QImage::Format_RGB32);
    for (int y = 0; y < source.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        auto* outLine = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < source.width(); ++x) {
            const int alpha = qAlpha(in[x]);
            if (alpha < minimumAlpha) {
                outLine[x] = qRgb(255, 0, 255);
                continue;
            }
            const QColor matte = matteAt(y);
            const double a = alpha / 255.0;
            int r = qRound(qRed(in[x]) * a + matte.red() * (1 - a));
            int g = qRound(qGreen(in[x]) * a + matte.green() * (1 - a));
            int b = qRound(qBlue(in[x]) * a + matte.blue() * (1 - a));
            // Never produce the key colour by accident.
            if (r == 255 && g == 0 && b == 255) {
                g = 1;
            }
            outLine[x] = qRgb(r, g, b);
        }
    }
    return result;
}

}  // namespace

QImage KeyToMagenta(const QImage& drawing, const QColor& matte) {
    return KeyWith(drawing, 128, [&](int) { return matte; });
}

QImage KeyOverTopBand(const QImage& drawing, int frameTop) {
    return KeyWith(drawing, 64, [frameTop](int y) { return TopBandColourAt(frameTop + y); });
}

QImage Opaque(const QImage& drawing, const QColor& background) {
    QImage result(drawing.size(), QImage::Format_RGB32);
    result.fill(background);
    QPainter painter(&result);
    painter.drawImage(0, 0, drawing);
    return result;
}
