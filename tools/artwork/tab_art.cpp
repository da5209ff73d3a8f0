// The tab items of the frame, 70 x 45: normal and hover show the page's name in English
// (protocol above role, the hover one with the role in red); selected shows the protocol above
// the Chinese role on a blue ground (the English face's selected item keeps the English role).
#include <QPainter>
#include <QPainterPath>

#include "tools/artwork/artwork.h"

namespace {

constexpr int kWidth = 70;
constexpr int kHeight = 45;
constexpr int kFrameRowOfItemTop = 30;  // the items sit on the tab bar, rows 30..75

enum class TabState { Normal, Hover, Selected };

QPainterPath TopRoundedRect(const QRectF& rect, double radius) {
    QPainterPath path;
    path.moveTo(rect.left(), rect.bottom());
    path.lineTo(rect.left(), rect.top() + radius);
    path.quadTo(rect.left(), rect.top(), rect.left() + radius, rect.top());
    path.lineTo(rect.right() - radius, rect.top());
    path.quadTo(rect.right(), rect.top(), rect.right(), rect.top() + radius);
    path.lineTo(rect.right(), rect.bottom());
    path.closeSubpath();
    return path;
}

QImage TabItem(const QString& protocol, const QString& englishRole, const QString& chineseRole,
               TabState state) {
    QImage canvas = NewCanvas(kWidth, kHeight);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    const QRectF ground(2.5, 4.5, kWidth - 5, kHeight - 4.5);
    QColor protocolColour = palette::kInk;
    QColor roleColour = palette::kInk;
    if (state == TabState::Hover) {
        painter.setPen(QPen(palette::kTabBarLine, 1));
        painter.setBrush(QColor(255, 255, 255, 235));
        painter.drawPath(TopRoundedRect(ground, 5));
        roleColour = palette::kAlert;
    } else if (state == TabState::Selected) {
        QLinearGradient fill(0, ground.top(), 0, ground.bottom());
        fill.setColorAt(0, palette::kAccent.lighter(115));
        fill.setColorAt(1, palette::kAccentDark);
        painter.setPen(QPen(palette::kBandShadow, 1));
        painter.setBrush(fill);
        painter.drawPath(TopRoundedRect(ground, 5));
        protocolColour = Qt::white;
        roleColour = Qt::white;
    }

    painter.setPen(protocolColour);
    painter.setFont(LatinFont(14, true));
    painter.drawText(QRect(0, 6, kWidth, 18), Qt::AlignHCenter | Qt::AlignBottom, protocol);
    painter.setPen(roleColour);
    if (state == TabState::Selected && !chineseRole.isEmpty()) {
        painter.setFont(ChineseFont(12));
        painter.drawText(QRect(0, 25, kWidth, 16), Qt::AlignHCenter | Qt::AlignVCenter,
                         chineseRole);
    } else {
        painter.setFont(LatinFont(12));
        painter.drawText(QRect(0, 25, kWidth, 16), Qt::AlignHCenter | Qt::AlignVCenter,
                         englishRole);
    }
    painter.end();
    return KeyOverTopBand(canvas, kFrameRowOfItemTop);
}

struct TabIds {
    const char* protocol;
    const char* englishRole;
    const char* chineseRole;
    int normal, hover, selected;
};

const TabIds kTabs[] = {
    {"TCP", "Server", "服务器", 306, 305, 307},
    {"TCP", "Client", "客户端", 302, 304, 303},
    {"UDP", "Server", "服务器", 296, 297, 298},
    {"UDP", "Client", "客户端", 301, 300, 299},
};

}  // namespace

void DrawTabItems(ArtworkList& out) {
    for (const TabIds& tab : kTabs) {
        const QString protocol = QString::fromLatin1(tab.protocol);
        const QString english = QString::fromLatin1(tab.englishRole);
        const QString chinese = QString::fromUtf8(tab.chineseRole);
        const QString name = protocol + QLatin1Char(' ') + english;
        out.push_back({QStringLiteral("bitmap"), QString::number(tab.normal),
                       TabItem(protocol, english, chinese, TabState::Normal),
                       name + QStringLiteral(" normal")});
        out.push_back({QStringLiteral("bitmap"), QString::number(tab.hover),
                       TabItem(protocol, english, chinese, TabState::Hover),
                       name + QStringLiteral(" hover")});
        out.push_back({QStringLiteral("bitmap"), QString::number(tab.selected),
                       TabItem(protocol, english, chinese, TabState::Selected),
                       name + QStringLiteral(" selected")});
        // The English face shows the English role when selected too.
        out.push_back({QStringLiteral("bitmap/en"), QString::number(tab.selected),
                       TabItem(protocol, english, QString(), TabState::Selected),
                       name + QStringLiteral(" selected (en)")});
    }
}
