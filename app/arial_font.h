// The Arial fonts that the frame and the dialogs paint their own texts with, given as the
// window system describes them: a cell height in pixels and a weight (400 normal, 700 bold).
#pragma once

#include <QFont>

QFont ArialFont(int cellHeight, int weight);
