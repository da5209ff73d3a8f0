#include "app/encoding_setting.h"

#include <QString>
#include <memory>
#include <string>

#include "pages/core/page_settings.h"
#include "text/code_page.h"

namespace {

constexpr auto kKey = "encoding";

// The choice in force, and the name typed for a Named one. User-interface thread only.
EncodingChoice g_choice = EncodingChoice::Ansi;
std::string g_typedName;

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
        case EncodingChoice::Named:
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
    g_typedName.clear();
    return true;
}

constexpr EncodingChoice kNamedItems[] = {EncodingChoice::Gbk, EncodingChoice::Utf16Le,
                                          EncodingChoice::Utf8, EncodingChoice::Utf16Be};

bool SameName(const std::string& a, const std::string& b) {
    return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

// Makes the code page typed as `name` the one in force: the item it stands for when there
// is one, so that the dialog opens on that item. Conversion options ("GBK//IGNORE") are
// refused: they would change how invalid bytes show.
bool InstallName(const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos)
        return false;
    for (EncodingChoice choice : kNamedItems) {
        if (SameName(name, CodePageOf(choice)))
            return Install(choice);
    }
    if (!SetAnsiCodePage(name))
        return false;
    g_choice = EncodingChoice::Named;
    g_typedName = name;
    return true;
}

void Keep(const QString& value) {
    KeepSetting(QLatin1String(kKey), value);
}

}  // namespace

void LoadEncodingSetting() {
    const QString name = ReadKeptSetting(QLatin1String(kKey)).toString();
    for (EncodingChoice choice : kNamedItems) {
        if (name == SettingName(choice)) {
            Install(choice);
            return;
        }
    }
    // A code page typed by name; nothing kept, or a name this system cannot convert: the
    // locale's own code page.
    if (name == SettingName(EncodingChoice::Ansi) || !InstallName(name.toStdString()))
        Install(EncodingChoice::Ansi);
}

EncodingChoice CurrentEncodingChoice() {
    return g_choice;
}

std::string CurrentEncodingName() {
    return g_typedName;
}

void ApplyEncodingChoice(EncodingChoice choice) {
    if (choice == EncodingChoice::Keep || choice == EncodingChoice::Named || !Install(choice))
        return;
    Keep(SettingName(choice));
}

QString CurrentEncodingSettingName() {
    return g_choice == EncodingChoice::Named ? QString::fromStdString(g_typedName)
                                             : SettingName(g_choice);
}

bool ApplyEncodingName(const std::string& name) {
    if (!InstallName(name))
        return false;
    Keep(CurrentEncodingSettingName());
    return true;
}
