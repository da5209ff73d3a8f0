// The page buttons (51 x 24 and 91 x 24, four states each) and the frame's close and menu
// buttons.
#include <QPainter>
#include <QPainterPath>
#include <utility>

#include "tools/artwork/artwork.h"

namespace {

enum class ButtonState { Normal, Hover, Pressed, Disabled };

struct StateLook {
    QColor top;
    QColor bottom;
    QColor border;
    QColor text;
    QColor highlight;  // the one-pixel inner line under the top border
};

StateLook LookOf(ButtonState state) {
    switch (state) {
        case ButtonState::Normal:
            return {QColor(0xFD, 0xFE, 0xFF), QColor(0xD9, 0xE7, 0xF6), QColor(0x6F, 0x95, 0xC4),
                    palette::kInk, QColor(255, 255, 255, 200)};
        case ButtonState::Hover:
            return {QColor(0xFF, 0xFF, 0xFF), QColor(0xEA, 0xF3, 0xFD), QColor(0x3F, 0x84, 0xD4),
                    palette::kAccentDark, QColor(255, 255, 255, 255)};
        case ButtonState::Pressed:
            return {QColor(0xB9, 0xD0, 0xEA), QColor(0xCF, 0xE0, 0xF2), QColor(0x2D, 0x5F, 0x9A),
                    palette::kInk, QColor(0, 0, 0, 0)};
        case ButtonState::Disabled:
            return {QColor(0xF4, 0xF4, 0xF4), QColor(0xE3, 0xE3, 0xE3), QColor(0xB9, 0xB9, 0xB9),
                    QColor(0xA3, 0xA3, 0xA3), QColor(255, 255, 255, 160)};
    }
    return {};
}

QImage PageButton(int width, int height, const QString& caption, ButtonState state) {
    const StateLook look = LookOf(state);
    QImage canvas = NewCanvas(width, height);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF body(0.5, 0.5, width - 1.0, height - 1.0);
    QLinearGradient fill(0, 0, 0, height);
    fill.setColorAt(0, look.top);
    fill.setColorAt(1, look.bottom);
    painter.setPen(QPen(look.border, 1));
    painter.setBrush(fill);
    painter.drawRoundedRect(body, 4, 4);
    if (look.highlight.alpha() > 0) {
        painter.setPen(QPen(look.highlight, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(body.adjusted(1, 1, -1, -1), 3, 3);
    }

    // The caption, as large as fits: 12 px, 11 px for the longer ones (Latin captions in the
    // Latin face).
    const bool latin = caption.toLatin1() == caption.toUtf8();
    QFont font = latin ? LatinFont(12) : ChineseFont(12);
    if (QFontMetrics(font).horizontalAdvance(caption) > width - 6) {
        font = latin ? LatinFont(11) : ChineseFont(11);
    }
    painter.setFont(font);
    painter.setPen(look.text);
    QRect textRect(0, 0, width, height);
    if (state == ButtonState::Pressed) {
        textRect.translate(1, 1);
    }
    painter.drawText(textRect, Qt::AlignCenter, caption);
    painter.end();
    return KeyToMagenta(canvas, palette::kPageMatte);
}

struct PageButtonIds {
    const char* caption;
    const char* english;  // the English face's caption (res/bitmap/en/), as short as the button
    int width;
    int normal, hover, pressed, disabled;
};

const PageButtonIds kPageButtons[] = {
    {"创建", "Create", 51, 236, 241, 237, 240},
    {"监听", "Listen", 51, 273, 270, 271, 272},
    {"停止监听", "Stop", 51, 269, 266, 267, 268},
    {"连接", "Connect", 51, 245, 242, 243, 244},
    {"断开", "Close", 51, 265, 262, 263, 264},
    {"删除", "Delete", 51, 261, 258, 259, 260},
    {"发送", "Send", 51, 257, 254, 255, 256},
    {"启动接收", "Receive", 51, 281, 278, 279, 280},
    {"停止接收", "Stop", 51, 277, 274, 275, 276},
    {"清除已接收信息", "Clear received", 91, 253, 250, 251, 252},
    {"清除已发送信息", "Clear sent", 91, 249, 246, 247, 248},
};

QImage CloseButton(ButtonState state) {
    constexpr int kSize = 16;
    QImage canvas = NewCanvas(kSize, kSize);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    if (state == ButtonState::Hover || state == ButtonState::Pressed) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(state == ButtonState::Hover ? QColor(0xE0, 0x3A, 0x3E)
                                                     : QColor(0xA8, 0x1E, 0x24));
        painter.drawRoundedRect(QRectF(0, 0, kSize, kSize), 3, 3);
    }
    const double shift = state == ButtonState::Pressed ? 0.5 : 0.0;
    painter.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(4.5 + shift, 4.5 + shift), QPointF(11.5 + shift, 11.5 + shift));
    painter.drawLine(QPointF(11.5 + shift, 4.5 + shift), QPointF(4.5 + shift, 11.5 + shift));
    painter.end();
    return KeyOverTopBand(canvas, 5);
}

QImage MenuButton(ButtonState state, const QString& caption) {
    constexpr int kWidth = 50;
    constexpr int kHeight = 18;
    QImage canvas = NewCanvas(kWidth, kHeight);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    if (state == ButtonState::Hover || state == ButtonState::Pressed) {
        painter.setPen(QPen(QColor(255, 255, 255, state == ButtonState::Hover ? 150 : 90), 1));
        painter.setBrush(state == ButtonState::Hover ? QColor(255, 255, 255, 60)
                                                     : QColor(0x0E, 0x2C, 0x55, 140));
        painter.drawRoundedRect(QRectF(0.5, 0.5, kWidth - 1, kHeight - 1), 3, 3);
    }
    const int shift = state == ButtonState::Pressed ? 1 : 0;
    painter.setPen(Qt::white);
    // The Latin caption is a little wider: it starts nearer the edge.
    const bool chinese = caption == QStringLiteral("菜单");
    painter.setFont(chinese ? ChineseFont(12) : LatinFont(12));
    painter.drawText(
        chinese ? QRect(5 + shift, shift, 30, kHeight) : QRect(3 + shift, shift, 33, kHeight),
        Qt::AlignVCenter | Qt::AlignLeft, caption);
    // A small down-pointing triangle after the text.
    QPainterPath arrow;
    arrow.moveTo(36 + shift, 7 + shift);
    arrow.lineTo(44 + shift, 7 + shift);
    arrow.lineTo(40 + shift, 11.5 + shift);
    arrow.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawPath(arrow);
    painter.end();
    return KeyOverTopBand(canvas, 8);
}

}  // namespace

void DrawPageButtons(ArtworkList& out) {
    for (const PageButtonIds& button : kPageButtons) {
        const QString caption = QString::fromUtf8(button.caption);
        const std::pair<int, ButtonState> states[] = {{button.normal, ButtonState::Normal},
                                                      {button.hover, ButtonState::Hover},
                                                      {button.pressed, ButtonState::Pressed},
                                                      {button.disabled, ButtonState::Disabled}};
        const char* stateNames[] = {"normal", "hover", "pressed", "disabled"};
        int index = 0;
        const QString english = QString::fromLatin1(button.english);
        for (const auto& [id, state] : states) {
            const QString stateName = QLatin1String(stateNames[index++]);
            out.push_back({QStringLiteral("bitmap"), QString::number(id),
                           PageButton(button.width, 24, caption, state),
                           caption + QLatin1Char(' ') + stateName});
            out.push_back({QStringLiteral("bitmap/en"), QString::number(id),
                           PageButton(button.width, 24, english, state),
                           english + QLatin1Char(' ') + stateName});
        }
    }
    // 238 and 239: a spare pair (normal, pressed) without caption, for a button that
    // carries its text elsewhere.
    out.push_back({QStringLiteral("bitmap"), QStringLiteral("238"),
                   PageButton(51, 24, QString(), ButtonState::Normal),
                   QStringLiteral("blank normal")});
    out.push_back({QStringLiteral("bitmap"), QStringLiteral("239"),
                   PageButton(51, 24, QString(), ButtonState::Pressed),
                   QStringLiteral("blank pressed")});
}

void DrawFrameButtons(ArtworkList& out) {
    out.push_back({QStringLiteral("bitmap"), QStringLiteral("210"),
                   CloseButton(ButtonState::Normal), QStringLiteral("close normal")});
    out.push_back({QStringLiteral("bitmap"), QStringLiteral("209"), CloseButton(ButtonState::Hover),
                   QStringLiteral("close hover")});
    out.push_back({QStringLiteral("bitmap"), QStringLiteral("211"),
                   CloseButton(ButtonState::Pressed), QStringLiteral("close pressed")});
    const std::pair<const char*, ButtonState> menuStates[] = {
        {"288", ButtonState::Normal}, {"286", ButtonState::Hover}, {"287", ButtonState::Pressed}};
    const char* menuStateNames[] = {"normal", "hover", "pressed"};
    int index = 0;
    for (const auto& [id, state] : menuStates) {
        const QString stateName = QLatin1String(menuStateNames[index++]);
        out.push_back({QStringLiteral("bitmap"), QLatin1String(id),
                       MenuButton(state, QStringLiteral("菜单")),
                       QStringLiteral("menu ") + stateName});
        out.push_back({QStringLiteral("bitmap/en"), QLatin1String(id),
                       MenuButton(state, QStringLiteral("Menu")),
                       QStringLiteral("Menu (en) ") + stateName});
    }
}
