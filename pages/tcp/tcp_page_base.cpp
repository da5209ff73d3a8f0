#include "pages/tcp/tcp_page_base.h"

#include <QApplication>
#include <QDialog>
#include <algorithm>

#include "net/crit_sec.h"
#include "pages/send/file_source.h"
#include "platform/message_box.h"

namespace {
ConnectKey IdKey(const ConnectInfo& record) {
    return record.id;
}
}  // namespace

namespace {
// How often a waiting message's progress is shown anew.
constexpr int kProgressIntervalMs = 250;
}  // namespace

CTcpPage::CTcpPage(int templateId, QWidget* parent)
    : CDialogP(templateId, parent), progressTimer_(new QTimer(this)) {
    progressTimer_->setInterval(kProgressIntervalMs);
    connect(progressTimer_, &QTimer::timeout, this, [this] { ShowProgress(); });
    Views().SetSentWaitingText([this](const ConnectInfo& record) { return WaitingText(record); });
    sendQueue_.onDelivered = [this](ConnectInfo* record, const TcpSendQueue::Message& message) {
        // The stalled message was the front one: the peer took the rest.
        CloseStallBox(record);
        if (message.file)
            LogSentFile(*record, message.file->Path(), message.file->Size(), message.fileWent,
                        message.fileFailed);
        else
            LogSent(*record, message.bytes, message.typed);
    };
    sendQueue_.onStalled = [this](ConnectInfo* record, const TcpSendQueue::Message& message,
                                  std::size_t went) {
        OnSendStalled(record, TcpSendQueue::Size(message), went);
    };
    sendQueue_.onFailed = [this](ConnectInfo* record, SOCKET sock) { OnSendFailed(record, sock); };
    Records().onFreeing = [this](const ConnectInfo* record) {
        CloseStallBox(record);
        OnFreeingRecord(record);
        sendQueue_.Forget(record);
    };
}

CTcpPage::~CTcpPage() {
    sendQueue_.ForgetAll();
    TearDownPage(engine_.Connections());
}

void CTcpPage::SetSendStallTimeoutForTesting(std::chrono::milliseconds timeout) {
    sendQueue_.SetStallTimeoutForTesting(timeout);
}

// ---- commands ------------------------------------------------------------------------------

void CTcpPage::OnDisconnect() {
    UiCritSecGuard lock(g_connectLock);
    const HTREEITEM selected = Records().Selected();
    if (!selected || Records().IsHostNode(selected))
        return;
    ConnectInfo* record = Records().RecordOf(selected);
    if (record && record->sock != INVALID_SOCKET) {
        const std::uint64_t unsent = sendQueue_.WaitingBytes(record);
        if (unsent > 0) {
            record->sendLog.AppendNote(
                QStringLiteral("（未发出 %1 字节：连接已断开）").arg(unsent).toStdU16String());
        }
        CloseStallBox(record);
        // The receive thread wakes with an error and reports the close.
        sendQueue_.Forget(record);
        closesocket(record->sock);
        record->sock = INVALID_SOCKET;
        Records().SetImage(selected, kImageEntryClosed);
    }
    ShowEntry(selected);
}

void CTcpPage::OnDelete() {
    DeleteSelectedEntry(engine_.Connections(), IdKey);
}

// ---- what the page base asks ---------------------------------------------------------------

int CTcpPage::EntryImage(const ConnectInfo& record) const {
    return record.sock != INVALID_SOCKET ? kImageEntryOpen : kImageEntryClosed;
}

bool CTcpPage::CanSendTo(const ConnectInfo* record) {
    if (!record)
        return false;
    SOCKET sock = INVALID_SOCKET;
    {
        UiCritSecGuard lock(g_connectLock);
        sock = record->sock;
    }
    if (sock == INVALID_SOCKET) {
        ShowMessageBox(this, QStringLiteral("未建立链接！"), QStringLiteral("提示!"));
        return false;
    }
    return true;
}

bool CTcpPage::SendBytes(ConnectInfo* record, std::string bytes, QString fromBox) {
    SOCKET sock = INVALID_SOCKET;
    {
        UiCritSecGuard lock(g_connectLock);
        sock = record->sock;
    }
    if (sock == INVALID_SOCKET)
        return false;
    // The sender thread writes it as the peer reads; onDelivered logs it. Socket handles are
    // never reused, so a handle closed meanwhile only makes the send fail.
    if (!sendQueue_.Queue(record, sock, {std::move(bytes), std::move(fromBox)})) {
        // The connection is fine and the box keeps the text: the user may send it again.
        ShowMessageBox(this, QStringLiteral("系统无法启动发送线程，请稍后再试。"),
                       QStringLiteral("提示"));
        return false;
    }
    FollowWaiting(*record);
    return true;
}

void CTcpPage::FollowWaiting(const ConnectInfo& record) {
    // Still waiting for the peer: shown as waiting at once, and followed from now on.
    if (sendQueue_.FrontProgress(&record)) {
        Views().SentWaitingChanged(record);
        if (!progressTimer_->isActive())
            progressTimer_->start();
    }
}

QString CTcpPage::WaitingText(const ConnectInfo& record) const {
    const auto progress = sendQueue_.FrontProgress(&record);
    if (!progress)
        return {};
    return QStringLiteral("（等待发送：已发出 %1 / %2 字节）")
        .arg(progress->went)
        .arg(progress->total);
}

void CTcpPage::ShowProgress() {
    if (const ConnectInfo* shown = Views().ShownRecord())
        Views().SentWaitingChanged(*shown);
    bool waiting = false;
    Records().ForEachRecord([&](HTREEITEM, ConnectInfo& record) {
        waiting = waiting || sendQueue_.FrontProgress(&record).has_value();
    });
    if (!waiting)
        progressTimer_->stop();
}

void CTcpPage::CloseStallBox(const ConnectInfo* record) {
    const auto found = stallBoxes_.find(record);
    if (found == stallBoxes_.end())
        return;
    const QPointer<QWidget> box = found->second;
    stallBoxes_.erase(found);
    if (auto* dialog = qobject_cast<QDialog*>(box.data()))
        dialog->reject();
}

bool CTcpPage::SendBytesWithoutWaiting(ConnectInfo* record, std::string bytes) {
    SOCKET sock = INVALID_SOCKET;
    {
        UiCritSecGuard lock(g_connectLock);
        sock = record->sock;
    }
    if (sock == INVALID_SOCKET ||
        !sendQueue_.QueueWithoutWaiting(record, sock, {std::move(bytes), {}}))
        return false;
    FollowWaiting(*record);
    return true;
}

bool CTcpPage::MessageWaiting(const ConnectInfo* record) const {
    return sendQueue_.HasPending(record);
}

void CTcpPage::OnReceptionEnded(ConnectInfo& record) {
    // Inside the handler (the receive thread holds the lock). The buttons follow the shown
    // entry; another entry's close leaves them.
    if (Views().IsShown(&record)) {
        MutableShown() = {ShownState::What::Entry, true, false};
        ApplyButtons();
    }
}

// ---- the send queue's reports --------------------------------------------------------------

void CTcpPage::OnSendStalled(ConnectInfo* record, std::size_t size, std::size_t went) {
    const auto seconds = std::max<long long>(
        1, std::chrono::duration_cast<std::chrono::seconds>(sendQueue_.StallTimeout()).count());
    const QString note =
        QStringLiteral("（对方 %1 秒未接收数据：本条信息 %2 字节，已发出 %3 字节）")
            .arg(seconds)
            .arg(size)
            .arg(went);
    record->sendLog.AppendNote(note.toStdU16String());
    Views().SentLogChanged(*record);
    // The box is the modal widget once its loop runs; it is closed when the peer takes the
    // rest, or the connection goes.
    QTimer::singleShot(0, this, [this, record] {
        if (QWidget* box = QApplication::activeModalWidget())
            stallBoxes_[record] = box;
    });
    ShowMessageBox(this,
                   QStringLiteral("对方 %1 秒未接收数据。本条信息共 %2 字节，已发出 %3 "
                                  "字节，其余的在对方接收时继续发出。")
                       .arg(seconds)
                       .arg(size)
                       .arg(went),
                   QStringLiteral("提示"));
    stallBoxes_.erase(record);
}

void CTcpPage::OnSendFailed(ConnectInfo* record, SOCKET sock) {
    CloseStallBox(record);
    {
        UiCritSecGuard lock(g_connectLock);
        if (record->sock == sock) {
            // The receive thread wakes with an error and reports the close.
            closesocket(record->sock);
            record->sock = INVALID_SOCKET;
        }
    }
    ShowEntry(Records().Selected());
    ShowMessageBox(this, QStringLiteral("对方已经断开！"), QStringLiteral("提示"));
}
