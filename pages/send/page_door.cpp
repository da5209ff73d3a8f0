// The page's door: CDialogP's members through which every message to a peer goes (Send), and
// the one place where what went is counted and logged and what failed is told. The transport
// behind it (CTcpPage: a send queue; CUdpPage: one datagram) implements Transmit and reports
// back through MessageWent, FileWent and SendFailed.
//
// Threads: user-interface thread only.
#include <QCoreApplication>
#include <QFileInfo>
#include <QPlainTextEdit>

#include "pages/core/dialog_p.h"
#include "pages/send/file_source.h"
#include "platform/message_box.h"

namespace {
// A failed echo reply raises a message box at most this often; each is noted in its log.
constexpr std::chrono::seconds kEchoFailureBoxEvery{5};
}  // namespace

bool CDialogP::Send(ConnectInfo* record, Outgoing message) {
    if (!record)
        return false;
    if (message.file && SendsStream()) {
        // Noted first: a small file may be reported gone before Transmit returns.
        record->sendLog.AppendNote(
            QCoreApplication::translate("PageDoor", "（正在发送文件 %1，共 %2 字节）")
                .arg(QFileInfo(message.file->Path()).fileName())
                .arg(message.file->Size())
                .toStdU16String());
        views_.SentLogChanged(*record);
    }
    return Transmit(*record, message);
}

void CDialogP::OnSend() {
    const HTREEITEM selected = records_.Selected();
    if (!selected || records_.IsHostNode(selected)) {
        ShowMessageBox(this, QCoreApplication::translate("PageDoor", "请选择接收端！"),
                       QCoreApplication::translate("PageDoor", "提示!"));
        return;
    }
    ConnectInfo* record = records_.RecordOf(selected);
    if (!CanSendTo(record))
        return;
    BoxMessage box = ReadBox();
    if (!box.refusal.isEmpty()) {
        ShowMessageBox(this, box.refusal, QCoreApplication::translate("PageDoor", "提示"));
        return;
    }
    if (!box.bytes)
        return;
    if (box.bytes->empty()) {
        // Spaces only: nothing goes out; the log stays and is shown again from the start.
        views_.EmptySentView();
        return;
    }
    Outgoing message = Outgoing::Bytes(SendOrigin::Typed, std::move(*box.bytes));
    message.mayWait = true;
    message.fromBox = std::move(box.text);
    Send(record, std::move(message));
}

void CDialogP::MessageWent(ConnectInfo& record, std::string_view bytes, const QString& fromBox,
                           const FileSource* file) {
    CountSent(&record, bytes.size());
    // Logged as it went on the wire: the bytes read back through the code page, so a
    // character the code page cannot hold shows as "?" here too.
    record.sendLog.AppendSent(bytes);
    if (file)
        record.sendLog.AppendNote(FileSentNote(file->Path(), bytes.size()).toStdU16String());
    views_.SentLogChanged(record);
    // The box keeps its text until the text has gone, unless the user changed it meanwhile.
    if (SendBoxHolds(sendBox_, fromBox))
        sendBox_->clear();
    ForEachTool([&](PageTool& tool) { tool.MessageWent(record); });
}

void CDialogP::FileWent(ConnectInfo& record, const QString& path, std::uint64_t went, bool cut) {
    CountSent(&record, went);
    // What went, not what the file held when it was opened: it may have been cut meanwhile.
    record.sendLog.AppendNote(FileSentNote(path, went).toStdU16String());
    if (cut)
        record.sendLog.AppendNote(FileCutNote(went).toStdU16String());
    views_.SentLogChanged(record);
    ForEachTool([&](PageTool& tool) { tool.MessageWent(record); });
}

void CDialogP::SendFailed(ConnectInfo& record, SendOrigin origin, const QString& why) {
    if (origin == SendOrigin::Echo || origin == SendOrigin::Rule) {
        // One peer that cannot be answered (a forged sender, say) must not stop echo or the
        // reply rules for the others, nor raise a box per datagram.
        const QString note = origin == SendOrigin::Echo
                                 ? QCoreApplication::translate("PageDoor", "（回显失败：%1）")
                                 : QCoreApplication::translate("PageDoor", "（应答失败：%1）");
        record.sendLog.AppendNote(note.arg(why).toStdU16String());
        views_.SentLogChanged(record);
        const auto now = std::chrono::steady_clock::now();
        if (lastEchoFailureBox_ != std::chrono::steady_clock::time_point{} &&
            now - lastEchoFailureBox_ < kEchoFailureBoxEvery)
            return;
        lastEchoFailureBox_ = now;
    }
    ShowMessageBox(this, why, QCoreApplication::translate("PageDoor", "提示"));
}
