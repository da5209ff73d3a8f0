#include "pages/core/page_colour.h"

#include <QPalette>
#include <QWidget>

void PaintWindowBackground(QWidget* widget, COLORREF colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, ToQColor(colour));
    palette.setColor(QPalette::Base, ToQColor(colour));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void PaintPageBackground(QWidget* widget, COLORREF colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, ToQColor(colour));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}
