// Loads the embedded resources (compiled in from res/) by numeric id.
//   bitmaps:      :/res/bitmap/<id>.png, or :/res/bitmap/<language>/<id>.png where the
//                 interface's language has its own (the pictures with words on them)
//   icons:        :/res/icon/<id>.png (and <id>-<size>.png for the larger sizes)
//   menus:        :/res/menu/<id>.bin, the binary menu template
//   accelerators: :/res/accelerator/<id>.bin, 8-byte entries (flags, key, command, pad)
#include "platform/resources.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

namespace {

QString ResourcePath(const char* kind, int id, const char* suffix) {
    return QStringLiteral(":/res/%1/%2%3")
        .arg(QLatin1String(kind))
        .arg(id)
        .arg(QLatin1String(suffix));
}

// The folder of the pictures in the interface's language ("en"); empty for the Chinese ones.
QString g_languageFolder;

// The bitmap's path: the language's own picture when there is one.
QString BitmapPath(int id) {
    if (!g_languageFolder.isEmpty()) {
        const QString own = QStringLiteral(":/res/bitmap/%1/%2.png").arg(g_languageFolder).arg(id);
        if (QFile::exists(own)) {
            return own;
        }
    }
    return ResourcePath("bitmap", id, ".png");
}

QByteArray ReadResource(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

// Accelerator entry flags as Windows stores them.
constexpr quint16 kAccelVirtKey = 0x01;
constexpr quint16 kAccelShift = 0x04;
constexpr quint16 kAccelControl = 0x08;
constexpr quint16 kAccelAlt = 0x10;
constexpr quint16 kAccelLastEntry = 0x80;
constexpr int kAccelEntrySize = 8;

}  // namespace

void SetBitmapLanguage(const QString& folder) {
    g_languageFolder = folder;
}

QImage LoadBitmapImage(int id) {
    const QString path = BitmapPath(id);
    if (!QFile::exists(path)) {
        return {};
    }
    return QImage(path);
}

QPixmap LoadBitmapResource(int id) {
    const QString path = BitmapPath(id);
    if (!QFile::exists(path)) {
        return {};
    }
    return QPixmap(path);
}

QIcon LoadIconResource(int id) {
    const QString base = ResourcePath("icon", id, ".png");
    if (!QFile::exists(base)) {
        return {};
    }
    QIcon icon(base);
    // Larger renderings of the same icon, when present (the application icon).
    const QDir iconDir(QStringLiteral(":/res/icon"));
    const QStringList sizes =
        iconDir.entryList({QStringLiteral("%1-*.png").arg(id)}, QDir::Files, QDir::Name);
    for (const QString& name : sizes) {
        icon.addFile(iconDir.filePath(name));
    }
    return icon;
}

QByteArray LoadMenuResource(int id) {
    return ReadResource(ResourcePath("menu", id, ".bin"));
}

std::vector<AcceleratorEntry> LoadAcceleratorTable(int id) {
    const QByteArray data = ReadResource(ResourcePath("accelerator", id, ".bin"));
    std::vector<AcceleratorEntry> table;
    for (qsizetype offset = 0; offset + kAccelEntrySize <= data.size(); offset += kAccelEntrySize) {
        const auto* entry = reinterpret_cast<const uchar*>(data.constData() + offset);
        const quint16 flags = qFromLittleEndian<quint16>(entry);
        AcceleratorEntry accelerator;
        accelerator.alt = (flags & kAccelAlt) != 0;
        accelerator.control = (flags & kAccelControl) != 0;
        accelerator.shift = (flags & kAccelShift) != 0;
        accelerator.virtualKey = qFromLittleEndian<quint16>(entry + 2);
        accelerator.commandId = qFromLittleEndian<quint16>(entry + 4);
        if ((flags & kAccelVirtKey) != 0 || accelerator.virtualKey != 0) {
            table.push_back(accelerator);
        }
        if ((flags & kAccelLastEntry) != 0) {
            break;
        }
    }
    return table;
}
