// The skinned child controls draw over a copy of what their parent painted beneath them,
// taken once when they are first shown.
#pragma once

#include <QPixmap>

class QWidget;

// What `widget`'s parent paints (its background and its own painting, without any child
// widgets) in the rectangle the widget covers, at the widget's size. Without a parent, or
// for an empty widget, a pixmap filled with the widget's window colour. UI thread only.
QPixmap CaptureParentBackground(const QWidget* widget);
