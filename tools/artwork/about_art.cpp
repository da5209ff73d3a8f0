// The two pictures of the about dialog, 150 x 140 each, drawn on the dialog's white face:
// 290 a TCP connection (a server and a client joined by one two-way stream), 289 UDP
// datagrams (separate packets travelling between two computers).
#include <QPainter>
#include <QPainterPath>

#include "tools/artwork/artwork.h"

namespace {

constexpr int kWidth = 150;
constexpr int kHeight = 140;
const QColor kCard(0xEE, 0xF5, 0xFC);
const QColor kCardBorder(0xC5, 0xD9, 0xEF);

void DrawCard(QPainter& painter) {
    painter.setPen(QPen(kCardBorder, 1));
    painter.setBrush(kCard);
    painter.drawRoundedRect(QRectF(0.5, 0.5, kWidth - 1, kHeight - 1), 10, 10);
}

void DrawServer(QPainter& painter, const QRectF& box) {
    painter.setPen(QPen(palette::kAccentDark, 1.5));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(box, 3, 3);
    const double unit = box.height() / 4;
    for (int i = 0; i < 3; ++i) {
        const QRectF slot(box.left() + 4, box.top() + 4 + i * unit, box.width() - 8, unit - 4);
        painter.setPen(QPen(palette::kAccent, 1));
        painter.setBrush(QColor(0xDC, 0xE9, 0xF8));
        painter.drawRoundedRect(slot, 2, 2);
        painter.setPen(Qt::NoPen);
        painter.setBrush(palette::kGood);
        painter.drawEllipse(QPointF(slot.right() - 5, slot.center().y()), 2, 2);
    }
}

void DrawComputer(QPainter& painter, const QRectF& screen, const QColor& display) {
    painter.setPen(QPen(palette::kAccentDark, 1.5));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(screen, 3, 3);
    painter.setPen(Qt::NoPen);
    painter.setBrush(display);
    painter.drawRect(screen.adjusted(4, 4, -4, -4));
    painter.setBrush(palette::kAccentDark);
    painter.drawRect(QRectF(screen.center().x() - 3, screen.bottom(), 6, 6));
    painter.drawRoundedRect(QRectF(screen.center().x() - 12, screen.bottom() + 6, 24, 4), 2, 2);
}

void DrawArrowHead(QPainter& painter, QPointF tip, double direction, const QColor& colour) {
    QPainterPath head;
    head.moveTo(tip);
    head.lineTo(tip.x() - direction * 8, tip.y() - 5);
    head.lineTo(tip.x() - direction * 8, tip.y() + 5);
    head.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawPath(head);
}

QImage TcpPicture() {
    QImage canvas = NewCanvas(kWidth, kHeight);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    DrawCard(painter);
    DrawServer(painter, QRectF(14, 30, 34, 60));
    DrawComputer(painter, QRectF(94, 36, 44, 34), QColor(0x8F, 0xC1, 0xEC));
    // One stream, both ways: a pipe with arrows at both ends.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xCF, 0xE2, 0xF6));
    painter.drawRoundedRect(QRectF(52, 44, 38, 20), 10, 10);
    painter.setPen(QPen(palette::kAccent, 2.2));
    painter.drawLine(QPointF(56, 50), QPointF(80, 50));
    DrawArrowHead(painter, QPointF(88, 50), 1, palette::kAccent);
    painter.setPen(QPen(palette::kGood, 2.2));
    painter.drawLine(QPointF(86, 58), QPointF(62, 58));
    DrawArrowHead(painter, QPointF(54, 58), -1, palette::kGood);

    painter.setPen(palette::kInk);
    painter.setFont(LatinFont(16, true));
    painter.drawText(QRect(0, 100, kWidth, 22), Qt::AlignCenter, QStringLiteral("TCP"));
    painter.setFont(LatinFont(11));
    painter.setPen(palette::kAccentDark);
    painter.drawText(QRect(0, 118, kWidth, 16), Qt::AlignCenter,
                     QStringLiteral("server  \u2194  client"));
    painter.end();
    return Opaque(canvas, Qt::white);
}

QImage UdpPicture() {
    QImage canvas = NewCanvas(kWidth, kHeight);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    DrawCard(painter);
    DrawComputer(painter, QRectF(10, 36, 40, 32), QColor(0x3D, 0xB8, 0x56));
    DrawComputer(painter, QRectF(100, 36, 40, 32), QColor(0x8F, 0xC1, 0xEC));
    // Separate datagrams along a dashed path.
    painter.setPen(QPen(QColor(0x9C, 0xBB, 0xDF), 1.5, Qt::DashLine));
    painter.drawLine(QPointF(54, 52), QPointF(96, 52));
    const QColor packets[] = {palette::kAccent, palette::kGood, palette::kAccent};
    for (int i = 0; i < 3; ++i) {
        const QRectF packet(57 + i * 13, 46 - (i % 2) * 6, 10, 8);
        painter.setPen(QPen(packets[i].darker(130), 1));
        painter.setBrush(packets[i]);
        painter.drawRoundedRect(packet, 1.5, 1.5);
        painter.setPen(QPen(Qt::white, 1));
        painter.drawLine(packet.topLeft() + QPointF(1, 1), packet.center());
        painter.drawLine(packet.topRight() + QPointF(-1, 1), packet.center());
    }
    DrawArrowHead(painter, QPointF(98, 52), 1, QColor(0x9C, 0xBB, 0xDF));

    painter.setPen(palette::kInk);
    painter.setFont(LatinFont(16, true));
    painter.drawText(QRect(0, 100, kWidth, 22), Qt::AlignCenter, QStringLiteral("UDP"));
    painter.setFont(LatinFont(11));
    painter.setPen(palette::kAccentDark);
    painter.drawText(QRect(0, 118, kWidth, 16), Qt::AlignCenter, QStringLiteral("datagrams"));
    painter.end();
    return Opaque(canvas, Qt::white);
}

}  // namespace

void DrawAboutImages(ArtworkList& out) {
    out.push_back({QStringLiteral("bitmap"), QStringLiteral("290"), TcpPicture(),
                   QStringLiteral("about: TCP")});
    out.push_back({QStringLiteral("bitmap"), QStringLiteral("289"), UdpPicture(),
                   QStringLiteral("about: UDP")});
}
