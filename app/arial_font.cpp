#include "app/arial_font.h"

#include <cmath>

QFont ArialFont(int cellHeight, int weight) {
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    // A positive height is the cell height; Arial's em is the cell height / 1.149.
    font.setPixelSize(static_cast<int>(std::lround(cellHeight / 1.149)));
    font.setWeight(weight >= 700 ? QFont::Bold : QFont::Normal);
    return font;
}
