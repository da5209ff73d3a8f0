// Menu 132 in the binary menu-template format and accelerator table 132 in the 8-byte entry
// format, both little-endian.
//   menu:        header (version 0, offset 0), then items: flags word, command id word (not
//                for popups), NUL-terminated UTF-16 text; 0x80 ends a level, 0x10 marks a popup
//   accelerator: flags word, key word, command word, padding word; 0x80 marks the last entry
#include <QtEndian>

#include "tools/artwork/artwork.h"

namespace {

constexpr quint16 kPopup = 0x10;
constexpr quint16 kEndOfLevel = 0x80;
constexpr quint16 kAccelVirtKey = 0x01;
constexpr quint16 kAccelAlt = 0x10;

void AppendWord(QByteArray& out, quint16 value) {
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

void AppendText(QByteArray& out, const QString& text) {
    for (QChar c : text) {
        AppendWord(out, c.unicode());
    }
    AppendWord(out, 0);
}

struct MenuCommand {
    const char* text;
    quint16 id;
    char key;
};

const MenuCommand kCommands[] = {
    {"设置        (&Alt+S)", 32777, 'S'},
    {"帮助        (&Alt+H)", 32778, 'H'},
    {"关于        (&Alt+A)", 32779, 'A'},
    {"退出        (&Alt+X)", 32780, 'X'},
};

}  // namespace

QByteArray MenuTemplate132() {
    QByteArray menu;
    AppendWord(menu, 0);  // version
    AppendWord(menu, 0);  // offset of the items after the header
    AppendWord(menu, kPopup | kEndOfLevel);
    AppendText(menu, QStringLiteral("设置(&M)"));
    const int count = static_cast<int>(std::size(kCommands));
    for (int i = 0; i < count; ++i) {
        AppendWord(menu, i == count - 1 ? kEndOfLevel : 0);
        AppendWord(menu, kCommands[i].id);
        AppendText(menu, QString::fromUtf8(kCommands[i].text));
    }
    return menu;
}

QByteArray AcceleratorTable132() {
    QByteArray table;
    const int count = static_cast<int>(std::size(kCommands));
    for (int i = 0; i < count; ++i) {
        const quint16 last = i == count - 1 ? kEndOfLevel : 0;
        AppendWord(table, kAccelVirtKey | kAccelAlt | last);
        AppendWord(table, static_cast<quint16>(kCommands[i].key));
        AppendWord(table, kCommands[i].id);
        AppendWord(table, 0);
    }
    return table;
}
