#include "skin/background_capture.h"

#include <QPalette>
#include <QRegion>
#include <QWidget>

QPixmap CaptureParentBackground(const QWidget* widget) {
    const qreal ratio = widget->devicePixelRatioF();
    const QSize size = widget->size().expandedTo(QSize(1, 1));
    QPixmap background(size * ratio);
    background.setDevicePixelRatio(ratio);
    background.fill(widget->palette().color(QPalette::Window));

    QWidget* parent = widget->parentWidget();
    if (parent != nullptr && !widget->size().isEmpty()) {
        // Only the parent itself: siblings and this widget are not part of what lay beneath.
        parent->render(&background, QPoint(), QRegion(widget->geometry()),
                       QWidget::DrawWindowBackground);
    }
    return background;
}
