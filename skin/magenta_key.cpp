#include "skin/magenta_key.h"

#include <QImage>

QPixmap MagentaKeyed(const QPixmap& bitmap) {
    if (bitmap.isNull()) {
        return {};
    }
    // The key applies to the colour only: a bitmap that already carries alpha is made
    // opaque first so that it behaves like a plain bitmap.
    QImage image = bitmap.toImage().convertToFormat(QImage::Format_ARGB32);
    const QRgb key = kSkinTransparentColor.rgb() & 0x00FFFFFF;
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb colour = line[x] & 0x00FFFFFF;
            line[x] = colour == key ? 0u : (colour | 0xFF000000u);
        }
    }
    QPixmap keyed = QPixmap::fromImage(image.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    keyed.setDevicePixelRatio(bitmap.devicePixelRatio());
    return keyed;
}
