#include "pages/tcp/tcp_page_base.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
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
        if (message.file) {
            FileWent(*record, message.file->Path(),
                     message.fileFailed ? message.fileWent : message.file->Size(),
                     message.fileFailed);
        } else {
            MessageWent(*record, message.bytes, message.typed);
        }
    };
    sendQueue_.onStalled = [this](ConnectInfo* record, const TcpSendQueue::Message& message,
                                  std::size_t went) {
        OnSendStalled(record, TcpSendQueue::Size(message), went);
    };
    sendQueue_.onFailed = [this](ConnectInfo* record, SOCKET sock) { OnSendFailed(record, sock); };
}

CTcpPage::~CTcpPage() {
    sendQueue_.ForgetAll();
    TearDownPage(engine_.Connections());
}

void CTcpPage::SetSendStallTimeoutForTesting(std::chrono::milliseconds timeout) {
    sendQueue_.SetStallTimeoutForTesting(timeout);
}

void CTcpPage::RecordFreeing(const ConnectInfo* record) {
    CloseStallBox(record);
    CDialogP::RecordFreeing(record);
    sendQueue_.Forget(record);
}

// ---- commands ------------------------------------------------------------------------------

void CTcpPage::OnDisconnect() {
    UiCritSecGuard lock(g_connectLock);
    const HTREEITEM selected = Records().Selected();
    if (!selected || Records().IsHostNode(selected))
        return;
    if (ConnectInfo* record = Records().RecordOf(selected))
        Disconnect(*record);
    ShowEntry(selected);
}

void CTcpPage::Disconnect(ConnectInfo& record) {
    if (record.sock == INVALID_SOCKET)
        return;
    const std::uint64_t unsent = sendQueue_.WaitingBytes(&record);
    if (unsent > 0) {
        record.sendLog.AppendNote(
            QCoreApplication::translate("TcpPageBase", "（未发出 %1 字节：连接已断开）")
                .arg(unsent)
                .toStdU16String());
        Views().SentLogChanged(record);
    }
    CloseStallBox(&record);
    // The receive thread wakes with an error and reports the close.
    sendQueue_.Forget(&record);
    closesocket(record.sock);
    record.sock = INVALID_SOCKET;
    Records().SetImage(record.treeItem, kImageEntryClosed);
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
        ShowMessageBox(this, QCoreApplication::translate("TcpPageBase", "未建立链接！"),
                       QCoreApplication::translate("TcpPageBase", "提示!"));
        return false;
    }
    return true;
}

bool CTcpPage::Transmit(ConnectInfo& record, Outgoing& message) {
    SOCKET sock = INVALID_SOCKET;
    {
        UiCritSecGuard lock(g_connectLock);
        sock = record.sock;
    }
    if (sock == INVALID_SOCKET)
        return false;
    const bool isFile = message.file != nullptr;
    TcpSendQueue::Message queued;
    queued.bytes = std::move(message.bytes);
    queued.typed = std::move(message.fromBox);
    queued.file = std::move(message.file);
    // The sender thread writes it as the peer reads; onDelivered logs it. Socket handles are
    // never reused, so a handle closed meanwhile only makes the send fail. Only Send gives a
    // message that can go at once its moment; nothing else ever waits.
    const bool ok = message.mayWait
                        ? sendQueue_.Queue(&record, sock, std::move(queued))
                        : sendQueue_.QueueWithoutWaiting(&record, sock, std::move(queued));
    if (!ok) {
        // The connection is fine and the box keeps the text: the user may send it again.
        SendFailed(record, message.origin,
                   isFile ? QCoreApplication::translate(
                                "TcpPageBase", "系统无法启动发送线程，请稍后再试。文件没有发出。")
                          : QCoreApplication::translate("TcpPageBase",
                                                        "系统无法启动发送线程，请稍后再试。"));
        return false;
    }
    FollowWaiting(record);
    return true;
}

bool CTcpPage::MessageWaiting(const ConnectInfo* record) const {
    return sendQueue_.HasPending(record);
}

std::optional<std::uint64_t> CTcpPage::WaitingBytes(const ConnectInfo* record) const {
    return sendQueue_.WaitingBytes(record);
}

bool CTcpPage::SetReadingPaused(ConnectInfo* record, bool paused) {
    engine_.SetReceivePaused(record, paused);
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
    return QCoreApplication::translate("TcpPageBase", "（等待发送：已发出 %1 / %2 字节）")
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

void CTcpPage::OnReceptionEnded(ConnectInfo& record) {
    // Inside the handler (the receive thread holds the lock): connected no more. The buttons
    // follow the shown entry; another entry's close leaves them.
    record.knownSince = {};
    if (Views().IsShown(&record)) {
        MutableShown() = {ShownState::What::Entry, true, false};
        ApplyButtons();
    }
}

// ---- the send queue's reports --------------------------------------------------------------

QString CTcpPage::StallText(std::size_t size, std::size_t went) const {
    const auto seconds = std::max<long long>(
        1, std::chrono::duration_cast<std::chrono::seconds>(sendQueue_.StallTimeout()).count());
    if (stalled_.size() <= 1) {
        return QCoreApplication::translate("TcpPageBase",
                                           "对方 %1 秒未接收数据。本条信息共 %2 字节，已发出 %3 "
                                           "字节，其余的在对方接收时继续发出。")
            .arg(seconds)
            .arg(size)
            .arg(went);
    }
    std::uint64_t waiting = 0;
    for (const ConnectInfo* record : stalled_) waiting += sendQueue_.WaitingBytes(record);
    return QCoreApplication::translate("TcpPageBase",
                                       "%1 个连接的对方 %2 秒未接收数据，共 %3 字节等待发出，"
                                       "其余的在对方接收时继续发出。")
        .arg(stalled_.size())
        .arg(seconds)
        .arg(waiting);
}

void CTcpPage::OnSendStalled(ConnectInfo* record, std::size_t size, std::size_t went) {
    const auto seconds = std::max<long long>(
        1, std::chrono::duration_cast<std::chrono::seconds>(sendQueue_.StallTimeout()).count());
    const QString note =
        QCoreApplication::translate("TcpPageBase",
                                    "（对方 %1 秒未接收数据：本条信息 %2 字节，已发出 %3 字节）")
            .arg(seconds)
            .arg(size)
            .arg(went);
    record->sendLog.AppendNote(note.toStdU16String());
    Views().SentLogChanged(*record);
    stalled_.insert(record);
    if (stallBoxUp_) {
        // One box per page: the one up now speaks of this connection too.
        if (auto* box = qobject_cast<QMessageBox*>(stallBox_.data()))
            box->setText(StallText(size, went));
        return;
    }
    stallBoxUp_ = true;
    // The box is the modal widget once its loop runs; it is closed when the peers take the
    // rest, or their connections go.
    QTimer::singleShot(0, this, [this] {
        if (stallBoxUp_)
            stallBox_ = QApplication::activeModalWidget();
    });
    ShowMessageBox(this, StallText(size, went), QCoreApplication::translate("TcpPageBase", "提示"));
    stallBoxUp_ = false;
    stallBox_ = nullptr;
    stalled_.clear();
}

void CTcpPage::CloseStallBox(const ConnectInfo* record) {
    if (!stalled_.erase(record) || !stallBoxUp_)
        return;
    auto* box = qobject_cast<QMessageBox*>(stallBox_.data());
    if (!box)
        return;
    if (stalled_.empty())
        box->reject();
    else if (const auto progress = sendQueue_.FrontProgress(*stalled_.begin()))
        box->setText(StallText(progress->total, progress->went));
    else
        box->setText(StallText(0, 0));
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
    ShowMessageBox(this, QCoreApplication::translate("TcpPageBase", "对方已经断开！"),
                   QCoreApplication::translate("TcpPageBase", "提示"));
}
