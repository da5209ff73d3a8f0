// The six 16 x 16 tree icons and the application icon (with its larger sizes).
#include <QPainter>
#include <QPainterPath>

#include "tools/artwork/artwork.h"

namespace {

const QColor kFrameDark(0x3A, 0x46, 0x55);
const QColor kFrameGrey(0x80, 0x86, 0x8E);
const QColor kScreenBlue(0x8F, 0xC1, 0xEC);
const QColor kScreenGreen(0x3D, 0xB8, 0x56);
const QColor kScreenGrey(0xB9, 0xBE, 0xC4);
const QColor kCase(0xD9, 0xDE, 0xE5);

// A monitor whose outer box is `box` (pixels), with a stand below it.
void DrawMonitor(QPainter& painter, const QRect& box, const QColor& frame, const QColor& screen) {
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    painter.setBrush(frame);
    painter.drawRect(box);
    painter.setBrush(screen);
    painter.drawRect(box.adjusted(1, 1, -1, -1));
    // A soft highlight line along the top of the screen.
    painter.setBrush(screen.lighter(125));
    painter.drawRect(QRect(box.left() + 1, box.top() + 1, box.width() - 2, 1));
    // Neck and foot.
    painter.setBrush(frame);
    const int middle = box.left() + box.width() / 2;
    painter.drawRect(QRect(middle - 1, box.bottom() + 1, 2, 1));
    painter.drawRect(QRect(middle - 3, box.bottom() + 2, 6, 1));
}

void DrawTower(QPainter& painter, const QRect& box) {
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kFrameDark);
    painter.drawRect(box);
    painter.setBrush(kCase);
    painter.drawRect(box.adjusted(1, 1, -1, -1));
    painter.setBrush(kFrameDark);
    painter.drawRect(QRect(box.left() + 1, box.top() + 2, box.width() - 2, 1));
    painter.setBrush(kScreenGreen);
    painter.drawRect(QRect(box.left() + 1, box.bottom() - 2, 1, 1));
}

void DrawQuestionMark(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing, true);
    QPainterPath mark;
    QFont font = LatinFont(11, true);
    mark.addText(QPointF(9.2, 15.2), font, QStringLiteral("?"));
    painter.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(mark);
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette::kAlert);
    painter.drawPath(mark);
}

void DrawNetwork(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette::kAccentDark);
    painter.drawRect(QRect(0, 14, 16, 1));
    painter.drawRect(QRect(7, 13, 2, 1));
    painter.setBrush(palette::kAccent);
    painter.drawRect(QRect(1, 13, 2, 3));
    painter.drawRect(QRect(13, 13, 2, 3));
}

void DrawArrow(QPainter& painter, const QRect& screen) {
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    const int y = screen.top() + screen.height() / 2;
    painter.drawRect(QRect(screen.left() + 1, y, screen.width() - 4, 1));
    painter.drawRect(QRect(screen.right() - 3, y - 1, 1, 3));
    painter.drawRect(QRect(screen.right() - 4, y - 2, 1, 5));
}

enum class TreeIcon {
    Computer,
    ComputerOpen,
    MonitorClosed,
    MonitorOpen,
    ClosedUnread,
    OpenUnread
};

QImage DrawTreeIcon(TreeIcon which) {
    QImage canvas = NewCanvas(16, 16);
    QPainter painter(&canvas);
    switch (which) {
        case TreeIcon::Computer:
        case TreeIcon::ComputerOpen: {
            const QRect monitor(0, 2, 11, 9);
            const bool open = which == TreeIcon::ComputerOpen;
            DrawMonitor(painter, monitor, kFrameDark, open ? kScreenGreen : kScreenBlue);
            DrawTower(painter, QRect(12, 3, 4, 12));
            if (open) {
                DrawArrow(painter, monitor.adjusted(1, 1, -1, -1));
            }
            break;
        }
        case TreeIcon::MonitorClosed:
            DrawMonitor(painter, QRect(1, 2, 14, 10), kFrameGrey, kScreenGrey);
            break;
        case TreeIcon::MonitorOpen:
            DrawMonitor(painter, QRect(2, 1, 12, 9), kFrameDark, kScreenGreen);
            DrawNetwork(painter);
            break;
        case TreeIcon::ClosedUnread:
            DrawMonitor(painter, QRect(0, 2, 13, 10), kFrameGrey, kScreenGrey);
            DrawQuestionMark(painter);
            break;
        case TreeIcon::OpenUnread:
            DrawMonitor(painter, QRect(0, 2, 13, 10), kFrameDark, kScreenGreen);
            DrawQuestionMark(painter);
            break;
    }
    painter.end();
    return canvas;
}

}  // namespace

void PaintApplicationMark(QPainter& painter, const QRectF& rect) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    const double s = rect.width();
    painter.translate(rect.topLeft());
    QLinearGradient fill(0, 0, 0, s);
    fill.setColorAt(0, QColor(0x5A, 0x9E, 0xEA));
    fill.setColorAt(1, QColor(0x1D, 0x4F, 0x91));
    painter.setPen(s >= 24 ? QPen(QColor(0x16, 0x3F, 0x75), s / 32.0) : Qt::NoPen);
    painter.setBrush(fill);
    const double inset = s >= 24 ? s / 64.0 : 0.0;
    painter.drawRoundedRect(QRectF(inset, inset, s - 2 * inset, s - 2 * inset), s * 0.22, s * 0.22);

    // Two arrows, one each way: what is sent and what comes back.
    const double stroke = std::max(1.7, s * 0.105);
    const double head = s * 0.2;
    auto arrow = [&](double y, bool right, const QColor& colour) {
        const double from = right ? s * 0.2 : s * 0.8;
        const double to = right ? s * 0.8 : s * 0.2;
        const double tip = right ? to : to;
        const double back = right ? tip - head : tip + head;
        painter.setPen(QPen(colour, stroke, Qt::SolidLine, Qt::FlatCap));
        painter.drawLine(QPointF(from, y), QPointF(back, y));
        QPainterPath arrowHead;
        arrowHead.moveTo(tip, y);
        arrowHead.lineTo(back, y - head * 0.8);
        arrowHead.lineTo(back, y + head * 0.8);
        arrowHead.closeSubpath();
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawPath(arrowHead);
    };
    arrow(s * 0.35, true, Qt::white);
    arrow(s * 0.67, false, QColor(0x9B, 0xEB, 0xA6));
    painter.restore();
}

void DrawTreeIcons(ArtworkList& out) {
    const std::pair<int, TreeIcon> icons[] = {
        {136, TreeIcon::Computer},    {137, TreeIcon::ComputerOpen}, {140, TreeIcon::MonitorClosed},
        {142, TreeIcon::MonitorOpen}, {144, TreeIcon::ClosedUnread}, {143, TreeIcon::OpenUnread},
    };
    const char* labels[] = {"host idle", "host open",      "closed",
                            "open",      "closed, unread", "open, unread"};
    int index = 0;
    for (const auto& [id, which] : icons) {
        out.push_back({QStringLiteral("icon"), QString::number(id), DrawTreeIcon(which),
                       QLatin1String(labels[index++])});
    }
}

void DrawApplicationIcon(ArtworkList& out) {
    for (int size : {32, 16, 24, 48, 64, 128, 256}) {
        QImage canvas = NewCanvas(size, size);
        QPainter painter(&canvas);
        PaintApplicationMark(painter, QRectF(0, 0, size, size));
        painter.end();
        const QString name =
            size == 32 ? QStringLiteral("293") : QStringLiteral("293-%1").arg(size);
        out.push_back(
            {QStringLiteral("icon"), name, canvas, QStringLiteral("application %1px").arg(size)});
    }
}
