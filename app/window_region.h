// The main frame's window shape: its rectangle with the magenta pixels of the painted skin's
// four corner squares cut out, which gives the window its rounded corners.
#pragma once

#include <QRegion>

class QImage;

// Side of the corner squares that are searched for magenta.
constexpr int kRegionCornerSize = 6;

// The region of a window painted as `skin` (client coordinates).
QRegion WindowRegionFromSkin(const QImage& skin);
