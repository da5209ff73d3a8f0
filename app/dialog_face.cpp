#include "app/dialog_face.h"

#include <QPainter>
#include <QPixmap>
#include <QWidget>

#include "app/arial_font.h"

namespace {
const QColor kCaptionColour(0x00, 0x80, 0x00);
constexpr int kCaptionCellHeight = 15;
}  // namespace

void DrawWhiteFace(QPainter& painter, const QRect& rect) {
    painter.setPen(QPen(Qt::black, 0));
    painter.setBrush(Qt::white);
    // A one-pixel stroke adds one pixel to the right and bottom: stay inside `rect`.
    painter.drawRect(rect.adjusted(0, 0, -1, -1));
}

void PaintCaptionedFace(QWidget* dialog, const QString& caption,
                        const std::function<void(QPainter&)>& beneath) {
    QPixmap buffer(dialog->size());
    {
        QPainter painter(&buffer);
        DrawWhiteFace(painter, dialog->rect());
        if (beneath)
            beneath(painter);
        painter.setFont(ArialFont(kCaptionCellHeight, 400));
        painter.setPen(kCaptionColour);
        painter.drawText(QRect(QPoint(50, 20), QPoint(399, 35)),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, caption);
    }
    QPainter(dialog).drawPixmap(0, 0, buffer);
}
