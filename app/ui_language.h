// The interface's language: Chinese (the program's own texts, and Qt's translated into
// Chinese) or English (the translation compiled into the program; Qt's texts are English
// already). Chosen in the settings dialog and kept for the next start, or for one run with
// --lang; Chinese whatever the locale until the user chooses. User-interface thread only.
#pragma once

#include <QString>
#include <optional>

enum class UiLanguage { Chinese, English };

// "zh" or "en" (as --lang and the settings write them); nothing for any other name.
std::optional<UiLanguage> LanguageFromName(const QString& name);
QString LanguageName(UiLanguage language);

// The language kept in the settings file in use (Chinese when none is kept).
UiLanguage KeptLanguage();
// Keeps `language` for the next start; the running interface stays as it is.
void KeepLanguage(UiLanguage language);

// Installs the texts of `language` into the running application, in place of any installed
// before, and returns the language now in force. English whose translation is missing or
// damaged falls back to Chinese, with a line on standard error. `translationFile` is the
// compiled English translation (the embedded one unless a test names another).
UiLanguage InstallInterfaceLanguage(UiLanguage language,
                                    const QString& translationFile = QString());
// The language installed last (Chinese before any).
UiLanguage InterfaceLanguage();
