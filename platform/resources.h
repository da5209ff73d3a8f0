// The program's embedded resources, loaded by the numeric ids the program uses.
// A missing id yields an empty result, never a crash.
#pragma once

#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <vector>

// Bitmaps with words on them come in the interface's language from now on: "en" takes
// res/bitmap/en/<id>.png where there is one; empty takes the Chinese ones. User-interface
// thread, before the windows are made.
void SetBitmapLanguage(const QString& folder);
// A bitmap resource (skin bitmaps: magenta 0xFF00FF marks the transparent parts).
QPixmap LoadBitmapResource(int id);
QImage LoadBitmapImage(int id);
// An icon resource (the tree icons, the application icon).
QIcon LoadIconResource(int id);
// A menu resource in the binary menu-template format (header, then the items).
QByteArray LoadMenuResource(int id);

struct AcceleratorEntry {
    bool alt = false;
    bool control = false;
    bool shift = false;
    int virtualKey = 0;  // 'S', 'H', ... as on Windows (upper-case letter codes)
    int commandId = 0;
};
// An accelerator table; empty when the id is missing.
std::vector<AcceleratorEntry> LoadAcceleratorTable(int id);
