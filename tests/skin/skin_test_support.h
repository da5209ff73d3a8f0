// Painted stand-ins for the skin artwork and a parent that paints a known background, so
// the skin tests check the controls rather than the artwork.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QWidget>

namespace skin_test {

inline const QColor kMagenta(255, 0, 255);
inline const QColor kParentColour(20, 120, 40);

// A solid bitmap whose left `magentaColumns` columns are magenta (transparent in skins).
inline QPixmap SolidBitmap(QSize size, QColor colour, int magentaColumns = 0) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QPainter painter(&image);
    painter.fillRect(0, 0, magentaColumns, size.height(), kMagenta);
    painter.end();
    return QPixmap::fromImage(image);
}

// A top-level parent that paints one solid colour, settable before the children are shown.
class PaintedParent : public QWidget {
public:
    PaintedParent() { resize(300, 200); }
    QColor colour = kParentColour;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), colour);
    }
};

inline QColor PixelOf(QWidget* widget, int x, int y) {
    return widget->grab().toImage().pixelColor(x, y);
}

}  // namespace skin_test
