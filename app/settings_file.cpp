#include "app/settings_file.h"

#include <QCoreApplication>
#include <QSettings>

namespace {

// The file named on the command line, or empty. User-interface thread only.
QString g_path;

// The application's own names (tests give their own).
QString Application() {
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("Wirelark") : name;
}
QString Organisation() {
    const QString name = QCoreApplication::organizationName();
    return name.isEmpty() ? Application() : name;
}

}  // namespace

void UseSettingsFile(const QString& path) {
    g_path = path;
}

std::unique_ptr<QSettings> OpenSettings() {
    if (!g_path.isEmpty())
        return std::make_unique<QSettings>(g_path, QSettings::IniFormat);
    return std::make_unique<QSettings>(Organisation(), Application());
}
