// The program's choices kept across runs (the pages' hex switches, the encoding), in the
// program's settings file. The application hands in how its settings are opened at start;
// until it does (tests, tools) nothing is read or kept, so no run touches the user's
// settings by chance.
//
// A change costs the window nothing: it is kept in memory at once (reads see it) and
// written by a writer thread, changes that come close together in one write. The first
// change that cannot be written is told once, in a "提示" box with the file and the reason.
// Every function is for the user-interface thread.
#pragma once

#include <QString>
#include <QVariant>
#include <functional>
#include <memory>

class QSettings;

// Makes a QSettings on the settings file; called on the writer thread as well.
using PageSettingsOpener = std::function<std::unique_ptr<QSettings>()>;
// From now on settings live where `open` says (nullptr: nowhere). What the previous opener
// had still to write is written first.
void SetPageSettingsOpener(PageSettingsOpener open);

// A page's short name in settings keys: "tcpServer", "tcpClient", "udpServer", "udpClient"
// (by the page's template id; another id gives "page<id>").
QString PageSettingsName(int templateId);

QVariant ReadKeptSetting(const QString& key, const QVariant& fallback = {});
void KeepSetting(const QString& key, const QVariant& value);
bool ReadPageSetting(const QString& key, bool fallback);
void WritePageSetting(const QString& key, bool value);

// Waits until every change so far is in the file (or could not be written): at exit, and
// for tests that read the file.
void FlushKeptSettings();

// Text kept under `key` (empty when none).
QString ReadPageText(const QString& key);
void WritePageText(const QString& key, const QString& value);
