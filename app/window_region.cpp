#include "app/window_region.h"

#include <QImage>
#include <algorithm>

QRegion WindowRegionFromSkin(const QImage& skin) {
    const int width = skin.width();
    const int height = skin.height();
    QRegion region(0, 0, width, height);
    const QRgb magenta = qRgb(255, 0, 255);
    const int corner = std::min({kRegionCornerSize, width, height});
    const int columns[2] = {0, width - corner};
    const int rows[2] = {0, height - corner};
    for (int left : columns) {
        for (int top : rows) {
            for (int y = top; y < top + corner; ++y) {
                for (int x = left; x < left + corner; ++x) {
                    if ((skin.pixel(x, y) & 0xFFFFFF) == (magenta & 0xFFFFFF))
                        region -= QRegion(x, y, 1, 1);
                }
            }
        }
    }
    return region;
}
