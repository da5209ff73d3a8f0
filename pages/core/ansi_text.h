// Narrow text the program makes itself (addresses, ports, labels), as the pages show it.
// It never went on the wire, so the encoding chosen for payloads does not apply to it.
#pragma once

#include <QString>
#include <string>

#include "text/code_page.h"

inline QString FromAnsi(const std::string& text) {
    return QString::fromStdU16String(LocaleTextToWide(text));
}
