// The frame's session commands: "打开会话…" and "保存会话…" in its menu (file dialogs on
// ".wirelark" files), opening a file named at start, and "启动时恢复上次会话": the set-up at
// exit kept in a file beside the settings and opened again at the next start.
// User-interface thread only.
#pragma once

#include <QString>
#include <functional>

class CMgrDlg;
class COfficeXPMenu;

// Puts the two items into the frame's popup, before "退出".
void AddSessionMenuItems(COfficeXPMenu& popup, int openId, int saveId);

// The menu's commands: a file dialog, then the file written, or read and opened (after one
// question when something of the current set-up would be closed).
void SaveSessionCommand(CMgrDlg& frame);
void OpenSessionCommand(CMgrDlg& frame);
// Opens `path` on the frame: a refused file is reported and changes nothing; what could
// not start is reported once, in one message. With `ask`, a set-up in place is closed only
// after the user agrees.
void OpenSessionFile(CMgrDlg& frame, const QString& path, bool ask);

// "启动时恢复上次会话" (kept in the settings; off unless the user turned it on).
bool RestoreSessionAtStart();
void SetRestoreSessionAtStart(bool on);
// Where the set-up at exit is kept: beside the settings file, "<its name>.session.wirelark".
QString LastSessionPath();
// At exit: keeps the set-up when restoring at start is on.
void KeepLastSession(CMgrDlg& frame);
// At start: opens the set-up kept at the last exit, when restoring is on and there is one.
void RestoreLastSession(CMgrDlg& frame);

// Answers the file dialogs instead of the user (an empty path cancels).
void SetSessionFileChooserForTesting(std::function<QString(bool saving)> chooser);

// The question before a set-up in place is replaced.
QString ReplaceSetUpQuestion();  // "当前的连接将被关闭，是否继续？"
