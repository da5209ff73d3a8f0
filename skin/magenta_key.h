// Skin bitmaps use magenta (0xFF00FF) as their transparent colour.
#pragma once

#include <QColor>
#include <QPixmap>

inline const QColor kSkinTransparentColor(255, 0, 255);

// A copy of `bitmap` in which exactly-magenta pixels are fully transparent; every other
// pixel keeps its colour and is opaque. A null bitmap gives a null pixmap.
QPixmap MagentaKeyed(const QPixmap& bitmap);
