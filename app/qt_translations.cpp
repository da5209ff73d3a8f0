#include "app/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

namespace {

// The catalogue installed, if any; owned by the application, so that it lives exactly as
// long as the texts it serves (a guarded pointer: a second application has a fresh one).
QPointer<QTranslator> g_installed;

}  // namespace

bool InstallQtTranslations() {
    if (g_installed)
        return true;
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qtbase_zh_CN"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    g_installed = translator;
    return true;
}

void RemoveQtTranslations() {
    if (!g_installed)
        return;
    QCoreApplication::removeTranslator(g_installed);
    delete g_installed;
}
