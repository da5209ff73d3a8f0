// Solid background colours of the pages and the input dialogs.
#pragma once

#include <QColor>

#include "platform/win_types.h"

class QWidget;

inline QColor ToQColor(COLORREF colour) {
    return QColor(GetRValue(colour), GetGValue(colour), GetBValue(colour));
}

// Paints `widget` and the fields inside it (the edit controls' background) in `colour`.
void PaintWindowBackground(QWidget* widget, COLORREF colour);
// Paints `widget` in `colour` but leaves its children's field colour (the log views) alone.
void PaintPageBackground(QWidget* widget, COLORREF colour);
