// The program's embedded resources, loaded by the numeric ids the program uses.
// A missing id yields an empty result, never a crash.
#pragma once

#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <vector>

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
