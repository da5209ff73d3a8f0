#include "app/ui_language.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSettings>
#include <QTranslator>
#include <cstdio>
#include <memory>

#include "app/qt_translations.h"
#include "app/settings_file.h"
#include "platform/resources.h"
#include "text/ui_text.h"

namespace {

constexpr auto kLanguageKey = "ui/language";
constexpr auto kEmbeddedEnglish = ":/i18n/wirelark_en.qm";

// The English translator installed by the last InstallInterfaceLanguage; owned by the
// application (a guarded pointer: a second application object starts without one).
QPointer<QTranslator> g_installed;
UiLanguage g_language = UiLanguage::Chinese;

// The engine's texts (net/, text/) through the same translation; Qt's lookup is safe on
// any thread, as the engine's workers need.
std::u16string TranslatedEngineText(const char* context, const char* chinese) {
    return QCoreApplication::translate(context, chinese).toStdU16String();
}

}  // namespace

std::optional<UiLanguage> LanguageFromName(const QString& name) {
    if (name == QLatin1String("zh"))
        return UiLanguage::Chinese;
    if (name == QLatin1String("en"))
        return UiLanguage::English;
    return std::nullopt;
}

QString LanguageName(UiLanguage language) {
    return language == UiLanguage::English ? QStringLiteral("en") : QStringLiteral("zh");
}

UiLanguage KeptLanguage() {
    return LanguageFromName(OpenSettings()->value(QLatin1String(kLanguageKey)).toString())
        .value_or(UiLanguage::Chinese);
}

void KeepLanguage(UiLanguage language) {
    const std::unique_ptr<QSettings> settings = OpenSettings();
    settings->setValue(QLatin1String(kLanguageKey), LanguageName(language));
    settings->sync();
}

UiLanguage InstallInterfaceLanguage(UiLanguage language, const QString& translationFile) {
    if (g_installed) {
        QCoreApplication::removeTranslator(g_installed);
        delete g_installed;
    }
    SetUiTextLookup(nullptr);
    SetBitmapLanguage(QString());
    RemoveQtTranslations();
    g_language = UiLanguage::Chinese;
    auto translator = std::make_unique<QTranslator>(QCoreApplication::instance());
    if (language == UiLanguage::English) {
        const QString file =
            translationFile.isEmpty() ? QString::fromLatin1(kEmbeddedEnglish) : translationFile;
        if (translator->load(file) && QCoreApplication::installTranslator(translator.get())) {
            g_installed = translator.release();
            SetUiTextLookup(&TranslatedEngineText);
            SetBitmapLanguage(QStringLiteral("en"));
            g_language = UiLanguage::English;
            return g_language;
        }
        std::fprintf(stderr,
                     "wirelark: the English translation (%s) is missing or damaged; the "
                     "interface stays in Chinese\n",
                     qUtf8Printable(file));
    }
    // Chinese: the program's texts as written, Qt's own from its Chinese catalogue.
    InstallQtTranslations();
    return g_language;
}

UiLanguage InterfaceLanguage() {
    return g_language;
}
