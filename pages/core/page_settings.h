// The pages' own choices kept across runs (the views' hex mode, hex send), in the program's
// settings. The application hands in how its settings are opened at start; until it does
// (tests, tools) nothing is read or kept, so no run touches the user's settings by chance.
// User-interface thread only.
#pragma once

#include <QString>
#include <functional>
#include <memory>

class QSettings;

using PageSettingsOpener = std::function<std::unique_ptr<QSettings>()>;
void SetPageSettingsOpener(PageSettingsOpener open);

// A page's short name in settings keys: "tcpServer", "tcpClient", "udpServer", "udpClient"
// (by the page's template id; another id gives "page<id>").
QString PageSettingsName(int templateId);

bool ReadPageSetting(const QString& key, bool fallback);
void WritePageSetting(const QString& key, bool value);
// Text kept under `key` (empty when none).
QString ReadPageText(const QString& key);
void WritePageText(const QString& key, const QString& value);
