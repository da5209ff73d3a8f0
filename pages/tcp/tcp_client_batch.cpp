#include "pages/tcp/tcp_client_batch.h"

#include <errno.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <vector>

#include "net/crit_sec.h"
#include "net/socket_error_text.h"
#include "pages/core/ansi_text.h"
#include "pages/core/endpoint_text.h"
#include "pages/tcp/tcp_client_entry.h"
#include "pages/tcp/tcp_page_base.h"
#include "platform/message_box.h"
#include "platform/window_messages.h"
#include "skin/tree_ctrl_ex.h"

namespace {
// Posted by the batch's worker whenever outcomes wait to be taken.
constexpr UINT kOutcomesMessage = WM_USER + 312;
constexpr int kPollMs = 250;
}  // namespace

TcpClientBatch::TcpClientBatch(CTcpPage& page) : page_(page) {
    window_ = CreateMessageWindow([this](UINT message, WPARAM wParam, LPARAM lParam) {
        return OnMessage(message, wParam, lParam);
    });
    batch_ = std::make_unique<ConnectBatch>(window_, kOutcomesMessage);
    more_.setSingleShot(true);
    more_.setInterval(0);
    more_.callOnTimeout([this] { AdoptSome(); });
    poll_.setInterval(kPollMs);
    poll_.callOnTimeout([this] {
        if (waiting_.empty())
            TakeOutcomes();
    });
}

TcpClientBatch::~TcpClientBatch() {
    for (const ConnectOutcome& outcome : waiting_) {
        if (outcome.sock != INVALID_SOCKET)
            closesocket(outcome.sock);
    }
    batch_.reset();  // waits for the worker, closes the sockets never taken
    DestroyMessageWindow(window_);
}

void TcpClientBatch::ConnectAll() {
    std::vector<ConnectTarget> targets;
    {
        UiCritSecGuard lock(g_connectLock);
        page_.Records().ForEachRecord([&](HTREEITEM, ConnectInfo& record) {
            if (record.sock == INVALID_SOCKET)
                targets.push_back({record.id, record.serverAddr});
        });
    }
    // A key still connecting from an earlier "全部连接" is connected twice; the later
    // socket finds the entry connected and is closed.
    if (targets.empty())
        return;
    if (!batch_->Running()) {
        unserved_ = 0;
        reasons_.clear();
        reasonFamily_ = AddressFamily::kIpv6;
    }
    // IPv6's own causes are named when the run went to IPv6 only.
    for (const ConnectTarget& target : targets) {
        if (target.address.Family() != AddressFamily::kIpv6)
            reasonFamily_ = AddressFamily::kIpv4;
    }
    if (batch_->Start(std::move(targets))) {
        reportDue_ = true;
        poll_.start();
        return;
    }
    ShowMessageBox(
        &page_, QCoreApplication::translate("TcpClientBatch", "系统无法启动连接线程，请稍后再试。"),
        QCoreApplication::translate("TcpClientBatch", "提示"));
}

void TcpClientBatch::CancelAll() {
    batch_->CancelAll();
    for (const ConnectOutcome& outcome : waiting_) {
        if (outcome.sock != INVALID_SOCKET)
            closesocket(outcome.sock);
    }
    waiting_.clear();
    more_.stop();
    poll_.stop();
    reportDue_ = false;
}

bool TcpClientBatch::Running() const {
    return batch_->Running() || !waiting_.empty();
}

std::size_t TcpClientBatch::PeakInFlight() const {
    return batch_->PeakInFlight();
}

// User-interface thread, from the event loop.
LRESULT TcpClientBatch::OnMessage(UINT message, WPARAM, LPARAM) {
    if (message == kOutcomesMessage)
        TakeOutcomes();
    return 0;
}

void TcpClientBatch::TakeOutcomes() {
    for (ConnectOutcome& outcome : batch_->TakeOutcomes()) {
        if (outcome.error != 0)
            ++reasons_[outcome.error];
        waiting_.push_back(outcome);
    }
    AdoptSome();
}

void TcpClientBatch::AdoptSome() {
    constexpr qint64 kSliceMs = 8;
    QElapsedTimer slice;
    slice.start();
    const HTREEITEM selected = page_.Records().Selected();
    bool selectedChanged = false;
    while (!waiting_.empty() && slice.elapsed() < kSliceMs) {
        const ConnectOutcome outcome = waiting_.front();
        waiting_.pop_front();
        if (outcome.sock == INVALID_SOCKET || !Adopt(outcome.key, outcome.sock))
            continue;  // a failure is counted by the batch; the entry stays closed
        UiCritSecGuard lock(g_connectLock);
        const auto found = page_.Engine().Connections().find(outcome.key);
        if (found != page_.Engine().Connections().end() && found->second->treeItem == selected)
            selectedChanged = true;
    }
    if (selectedChanged)
        page_.ShowEntry(selected);
    if (!waiting_.empty()) {
        more_.start();
        return;
    }
    if (batch_->Running())
        return;
    poll_.stop();
    if (!reportDue_)
        return;
    reportDue_ = false;
    const std::size_t failed = batch_->Failures() + unserved_;
    if (unserved_ != 0)
        reasons_[EAGAIN] += unserved_;  // no receive thread could start
    unserved_ = 0;
    if (failed == 0)
        return;
    // The reason most of them failed for.
    const auto most =
        std::max_element(reasons_.begin(), reasons_.end(),
                         [](const auto& a, const auto& b) { return a.second < b.second; });
    QString text = QCoreApplication::translate("TcpClientBatch", "%1 个连接失败").arg(failed);
    if (most != reasons_.end()) {
        text += u'\n' + QString::fromStdU16String(SocketErrorReason(SocketOperation::kConnect,
                                                                    most->first, reasonFamily_));
    }
    reasons_.clear();
    ShowMessageBox(&page_, text, QCoreApplication::translate("TcpClientBatch", "提示"));
}

bool TcpClientBatch::Adopt(std::uint64_t key, SOCKET sock) {
    ConnectInfo* record = nullptr;
    {
        UiCritSecGuard lock(g_connectLock);
        const auto found = page_.Engine().Connections().find(key);
        if (found == page_.Engine().Connections().end() || !found->second ||
            found->second->sock != INVALID_SOCKET || !found->second->treeItem) {
            closesocket(sock);  // deleted, or connected otherwise meanwhile
            return false;
        }
        record = found->second;
        record->sock = sock;
    }
    // Without a receive thread the connection would look open but never hear the server.
    if (!PrepareClientStream(*record, sock) ||
        page_.Engine().StartReceiving(record, page_.WindowHandle()) != 0) {
        UiCritSecGuard lock(g_connectLock);
        if (record->sock == sock) {
            closesocket(sock);
            record->sock = INVALID_SOCKET;
        }
        ++unserved_;
        return false;
    }
    MarkClientConnected(page_, *record, sock);
    return true;
}
