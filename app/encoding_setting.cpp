#include "app/encoding_setting.h"

#include <QSettings>
#include <QString>
#include <string>

#include "app/settings_file.h"
#include "text/code_page.h"

namespace {

constexpr auto kKey = "encoding";

// The choice in force. User-interface thread only.
EncodingChoice g_choice = EncodingChoice::Ansi;

// The code page a choice stands for; empty for Keep.
std::string CodePageOf(EncodingChoice choice) {
    switch (choice) {
        case EncodingChoice::Ansi:
            return LocaleCodePage();
        case EncodingChoice::Gbk:
            return "GBK";
        case EncodingChoice::Utf16Le:
            return "UTF-16LE";
        case EncodingChoice::Utf8:
            return "UTF-8";
        case EncodingChoice::Utf16Be:
            return "UTF-16BE";
        case EncodingChoice::Keep:
            break;
    }
    return {};
}

// Names rather than numbers in the file, so that it reads plainly and survives reordering.
QString SettingName(EncodingChoice choice) {
    switch (choice) {
        case EncodingChoice::Gbk:
            return QStringLiteral("GBK");
        case EncodingChoice::Utf16Le:
            return QStringLiteral("UTF-16LE");
        case EncodingChoice::Utf8:
            return QStringLiteral("UTF-8");
        case EncodingChoice::Utf16Be:
            return QStringLiteral("UTF-16BE");
        default:
            return QStringLiteral("Ansi");
    }
}

// Makes `choice` the code page in force; false (nothing changes) if the system cannot
// convert it.
bool Install(EncodingChoice choice) {
    const std::string codePage = CodePageOf(choice);
    if (codePage.empty() || !SetAnsiCodePage(codePage))
        return false;
    g_choice = choice;
    return true;
}

}  // namespace

void LoadEncodingSetting() {
    const QString name = OpenSettings()->value(QLatin1String(kKey)).toString();
    for (EncodingChoice choice : {EncodingChoice::Gbk, EncodingChoice::Utf16Le,
                                  EncodingChoice::Utf8, EncodingChoice::Utf16Be}) {
        if (name == SettingName(choice)) {
            Install(choice);
            return;
        }
    }
    // Nothing kept, or something this version does not know: the locale's own code page.
    Install(EncodingChoice::Ansi);
}

EncodingChoice CurrentEncodingChoice() {
    return g_choice;
}

void ApplyEncodingChoice(EncodingChoice choice) {
    if (choice == EncodingChoice::Keep || !Install(choice))
        return;
    const std::unique_ptr<QSettings> settings = OpenSettings();
    settings->setValue(QLatin1String(kKey), SettingName(choice));
    settings->sync();
}
