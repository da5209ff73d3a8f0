// Narrow text in the program's code page, as the pages show it.
#pragma once

#include <QString>
#include <string>

#include "text/code_page.h"

inline QString FromAnsi(const std::string& text) {
    return QString::fromStdU16String(AnsiToWide(text));
}
