#include "pages/tools/timed_send_tool.h"

#include <QCoreApplication>
#include <QMenu>

#include "pages/core/dialog_p.h"
#include "pages/dialogs/timed_send_dlg.h"
#include "platform/message_box.h"

TimedSendTool::TimedSendTool(CDialogP& page) : QObject(&page), page_(page) {
    connect(&sender_, &TimedSender::finished, this, &TimedSendTool::OnFinished);
    noteTimer_.setInterval(10);
    connect(&noteTimer_, &QTimer::timeout, this, &TimedSendTool::WriteEndNote);
    page_.AddTool(*this);
}

void TimedSendTool::ReceptionEnded(ConnectInfo& record) {
    if (&record == record_)
        sender_.Stop();
}

void TimedSendTool::RecordFreeing(const ConnectInfo* record) {
    if (record == noteRecord_)
        noteRecord_ = nullptr;
    if (record == record_) {
        record_ = nullptr;  // nowhere left to log the end
        sender_.Stop();
    }
}

void TimedSendTool::FillSendBoxMenu(QMenu& menu) {
    QAction* action = menu.addAction(
        sender_.IsRunning() ? QCoreApplication::translate("TimedSendTool", "停止定时发送")
                            : QCoreApplication::translate("TimedSendTool", "定时发送…"));
    connect(action, &QAction::triggered, this, &TimedSendTool::OnCommand);
}

void TimedSendTool::OnCommand() {
    if (sender_.IsRunning())
        sender_.Stop();
    else
        Start();
}

void TimedSendTool::Start() {
    ConnectInfo* record = page_.Records().StillListed(page_.Views().ShownRecord());
    if (!record) {
        ShowMessageBox(&page_, QCoreApplication::translate("TimedSendTool", "请选择接收端！"),
                       QCoreApplication::translate("TimedSendTool", "提示!"));
        return;
    }
    if (!page_.CanSendTo(record))
        return;
    BoxMessage box = page_.ReadBox();
    if (!box.refusal.isEmpty()) {
        ShowMessageBox(&page_, box.refusal, QCoreApplication::translate("TimedSendTool", "提示"));
        return;
    }
    std::optional<std::string>& bytes = box.bytes;
    if (!bytes || bytes->empty()) {
        ShowMessageBox(
            &page_,
            QCoreApplication::translate("TimedSendTool", "请先在发送窗口输入要发送的内容！"),
            QCoreApplication::translate("TimedSendTool", "提示"));
        return;
    }
    const QColor colour = page_.palette().color(QPalette::Window);
    CTimedSendDlg dialog(&page_, RGB(colour.red(), colour.green(), colour.blue()), intervalMs_,
                         count_);
    if (dialog.exec() != QDialog::Accepted)
        return;
    intervalMs_ = dialog.IntervalMs();
    count_ = dialog.Count();
    // The dialog's loop ran the page: the entry may have gone meanwhile.
    record_ = page_.Records().StillListed(record);
    if (!record_)
        return;
    bytes_ = std::move(*bytes);
    sender_.Start(intervalMs_, count_, [this] { return SendOnce(); });
}

SendOutcome TimedSendTool::SendOnce() {
    if (!record_)
        return SendOutcome::Failed({});
    // Never a second message behind one the peer has not taken.
    if (page_.MessageWaiting(record_))
        return SendOutcome::StillWaiting();
    // A failure is told by the page's door itself (or by the connection's end).
    if (!page_.Send(record_, Outgoing::Bytes(SendOrigin::Timed, bytes_)))
        return SendOutcome::Failed({});
    return SendOutcome::Sent();
}

void TimedSendTool::OnFinished(TimedSender::End, const QString& failure) {
    if (noteRecord_)  // an earlier run's line still waits: it goes now
        AppendEndNote();
    noteRecord_ = record_;
    record_ = nullptr;
    note_ = QCoreApplication::translate("TimedSendTool", "（定时发送结束：发送 %1 次，跳过 %2 次）")
                .arg(sender_.SentCount())
                .arg(sender_.SkippedCount());
    WriteEndNote();
    if (!failure.isEmpty())
        ShowMessageBox(&page_, failure, QCoreApplication::translate("TimedSendTool", "提示"));
}

void TimedSendTool::WriteEndNote() {
    // A message the peer has not taken yet is logged when it goes (or dropped with the
    // connection): the line waits for it.
    if (noteRecord_ && page_.MessageWaiting(noteRecord_)) {
        noteTimer_.start();
        return;
    }
    AppendEndNote();
}

void TimedSendTool::AppendEndNote() {
    noteTimer_.stop();
    if (!noteRecord_)
        return;
    noteRecord_->sendLog.AppendNote(note_.toStdU16String());
    page_.Views().SentLogChanged(*noteRecord_);
    noteRecord_ = nullptr;
}
