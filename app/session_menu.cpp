#include "app/session_menu.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <memory>

#include "app/mgr_dlg.h"
#include "app/session_file.h"
#include "app/session_setup.h"
#include "app/settings_file.h"
#include "platform/message_box.h"
#include "skin/office_xp_menu.h"

namespace {

constexpr auto kRestoreKey = "session/restoreAtStart";
QString Caption() {
    return QCoreApplication::translate("SessionMenu", "提示");
}

std::function<QString(bool saving)> g_chooser;

QString ChooseFile(CMgrDlg& frame, bool saving) {
    if (g_chooser)
        return g_chooser(saving);
    const QString filter =
        QCoreApplication::translate("SessionMenu", "Wirelark 会话 (*.wirelark);;所有文件 (*)");
    if (!saving)
        return QFileDialog::getOpenFileName(
            &frame, QCoreApplication::translate("SessionMenu", "打开会话"), {}, filter);
    QString path =
        QFileDialog::getSaveFileName(&frame, QCoreApplication::translate("SessionMenu", "保存会话"),
                                     QStringLiteral("session.wirelark"), filter);
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".wirelark");
    return path;
}

// "确定" goes on, "取消" (or Escape) keeps everything as it is.
bool AskToReplace(CMgrDlg& frame) {
    QMessageBox box(QMessageBox::NoIcon, Caption(), ReplaceSetUpQuestion(),
                    QMessageBox::Ok | QMessageBox::Cancel, &frame);
    box.button(QMessageBox::Ok)->setText(QCoreApplication::translate("SessionMenu", "确定"));
    box.button(QMessageBox::Cancel)->setText(QCoreApplication::translate("SessionMenu", "取消"));
    box.setDefaultButton(QMessageBox::Cancel);
    box.setWindowIcon(QIcon());
    return box.exec() == QMessageBox::Ok;
}

void ReportFailures(CMgrDlg& frame, const QStringList& failures) {
    if (failures.isEmpty())
        return;
    ShowMessageBox(&frame,
                   QCoreApplication::translate("SessionMenu", "以下各项未能启动：\n") +
                       failures.join(QLatin1Char('\n')),
                   Caption());
}

}  // namespace

QString ReplaceSetUpQuestion() {
    return QCoreApplication::translate("SessionMenu", "当前的连接将被关闭，是否继续？");
}

void AddSessionMenuItems(COfficeXPMenu& popup, int openId, int saveId) {
    // Before the last item, "退出".
    const int exitAt = std::max(0, popup.GetMenuItemCount() - 1);
    popup.InsertMenuItem(exitAt, openId, QCoreApplication::translate("SessionMenu", "打开会话…"));
    popup.InsertMenuItem(exitAt + 1, saveId,
                         QCoreApplication::translate("SessionMenu", "保存会话…"));
}

void SaveSessionCommand(CMgrDlg& frame) {
    const QString path = ChooseFile(frame, true);
    if (path.isEmpty())
        return;
    QString problem;
    if (!WriteSessionFile(path, CaptureSession(frame), &problem))
        ShowMessageBox(&frame,
                       QCoreApplication::translate("SessionMenu", "保存会话失败：%1").arg(problem),
                       Caption());
}

void OpenSessionCommand(CMgrDlg& frame) {
    const QString path = ChooseFile(frame, false);
    if (!path.isEmpty())
        OpenSessionFile(frame, path, true);
}

void OpenSessionFile(CMgrDlg& frame, const QString& path, bool ask) {
    const SessionReading reading = ReadSessionFile(path);
    if (!reading.session) {
        ShowMessageBox(&frame,
                       QCoreApplication::translate("SessionMenu", "无法打开会话“%1”：\n%2")
                           .arg(QFileInfo(path).fileName(), reading.problem),
                       Caption());
        return;
    }
    if (ask && HasSetUp(frame) && !AskToReplace(frame))
        return;
    ApplySession(frame, *reading.session,
                 [&frame](const QStringList& failures) { ReportFailures(frame, failures); });
}

bool RestoreSessionAtStart() {
    return OpenSettings()->value(QLatin1String(kRestoreKey), false).toBool();
}

void SetRestoreSessionAtStart(bool on) {
    const std::unique_ptr<QSettings> settings = OpenSettings();
    settings->setValue(QLatin1String(kRestoreKey), on);
    settings->sync();
}

QString LastSessionPath() {
    const QFileInfo settings(OpenSettings()->fileName());
    return settings.dir().filePath(settings.completeBaseName() +
                                   QStringLiteral(".session.wirelark"));
}

void KeepLastSession(CMgrDlg& frame) {
    if (!RestoreSessionAtStart())
        return;
    // Nothing to tell at exit: a set-up that could not be kept is simply not restored.
    WriteSessionFile(LastSessionPath(), CaptureSession(frame), nullptr);
}

void RestoreLastSession(CMgrDlg& frame) {
    if (RestoreSessionAtStart() && QFileInfo::exists(LastSessionPath()))
        OpenSessionFile(frame, LastSessionPath(), false);
}

void SetSessionFileChooserForTesting(std::function<QString(bool saving)> chooser) {
    g_chooser = std::move(chooser);
}
