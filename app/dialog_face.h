// The face that the frame and the settings and about dialogs paint themselves: the client
// rectangle drawn white with a one-pixel black outline, and for the dialogs one green
// caption line near the top.
#pragma once

#include <QRect>
#include <QString>
#include <functional>

class QPainter;
class QWidget;

// `rect` drawn as the window system's default rectangle: white fill, black outline, both
// inside `rect`.
void DrawWhiteFace(QPainter& painter, const QRect& rect);

// Paints `dialog`'s whole face (through a back buffer, copied once) with `caption` in green
// Arial in the box (50, 20)-(400, 36), single line, vertically centred, left-aligned.
// `beneath` draws what lies under the caption (images). Call from the dialog's paintEvent.
void PaintCaptionedFace(QWidget* dialog, const QString& caption,
                        const std::function<void(QPainter&)>& beneath = {});
