#include "pages/tools/echo_tool.h"

#include <QMenu>

#include "net/crit_sec.h"
#include "pages/core/dialog_p.h"
#include "pages/tcp/tcp_page_base.h"

EchoTool::EchoTool(CDialogP& page)
    : QObject(&page), page_(page), tcp_(qobject_cast<CTcpPage*>(&page)) {
    page_.AddTreeMenuFiller([this](QMenu& menu, HTREEITEM item) { FillTreeMenu(menu, item); });
    CDialogP::RecordWatch watch;
    watch.dataAppended = [this](ConnectInfo& record) { OnDataAppended(record); };
    // Inside the handler: only the tool's own state.
    watch.receptionEnded = [this](ConnectInfo& record) {
        paused_.erase(&record);
        record.receivePaused = false;  // the worker holds the lock for the handler
    };
    watch.freeing = [this](const ConnectInfo* record) { Forget(record); };
    page_.AddRecordWatch(std::move(watch));
    if (tcp_) {
        // Follows the page's own report of each message gone (the page logs it first).
        TcpSendQueue& queue = tcp_->SendQueue();
        queue.onDelivered = [this, logged = std::move(queue.onDelivered)](
                                ConnectInfo* record, const TcpSendQueue::Message& message) {
            if (logged)
                logged(record, message);
            OnDelivered(record);
        };
    }
}

void EchoTool::FillTreeMenu(QMenu& menu, HTREEITEM item) {
    if (!page_.Records().IsHostNode(item))
        return;
    QAction* action = menu.addAction(QStringLiteral("回显"));
    action->setCheckable(true);
    action->setChecked(on_);
    connect(action, &QAction::toggled, this, &EchoTool::SetOn);
}

void EchoTool::SetOn(bool on) {
    if (on == on_)
        return;
    on_ = on;
    follow_.clear();
    pending_.clear();
    if (on) {
        // What the entries hold already is not echoed.
        UiCritSecGuard lock(g_connectLock);
        page_.Records().ForEachRecord([this](HTREEITEM, ConnectInfo& record) {
            follow_[&record] = {record.recvLog.LineCount(), record.recvLog.Generation()};
        });
        return;
    }
    const std::set<const ConnectInfo*> paused = std::move(paused_);
    paused_.clear();
    for (const ConnectInfo* record : paused) Resume(const_cast<ConnectInfo*>(record));
}

void EchoTool::OnDataAppended(ConnectInfo& record) {
    if (!on_)
        return;
    const CompactLog& log = record.recvLog;
    // A record met for the first time came after echo was turned on: all of it is new.
    Follow& follow = follow_.try_emplace(&record, Follow{0, log.Generation()}).first->second;
    if (follow.generation != log.Generation())  // cleared since: what it holds now is new
        follow = {0, log.Generation()};
    const std::size_t end = log.LineCount();
    if (follow.lines >= end)
        return;
    if (rulesActive_ && rulesActive_()) {
        follow.lines = end;
        return;
    }
    std::vector<std::string>& out = pending_[&record];
    for (std::size_t line = follow.lines; line < end; ++line) {
        // TCP: the batch's chunks as one message (a stream has no boundaries to keep);
        // UDP: datagram by datagram.
        if (out.empty() || !tcp_)
            out.emplace_back();
        if (!log.AppendLineBytes(line, out.back()) && !tcp_)
            out.pop_back();
    }
    if (!out.empty() && out.back().empty())
        out.pop_back();
    if (out.empty())
        pending_.erase(&record);
    follow.lines = end;
    if (!pending_.empty() && !flushPosted_) {
        flushPosted_ = true;
        QMetaObject::invokeMethod(this, &EchoTool::Flush, Qt::QueuedConnection);
    }
}

void EchoTool::Flush() {
    flushPosted_ = false;
    if (flushing_)  // a send's message box runs the loop: the outer flush goes on
        return;
    flushing_ = true;
    while (on_ && !pending_.empty()) {
        auto next = pending_.begin();
        ConnectInfo* record = next->first;
        std::vector<std::string> messages = std::move(next->second);
        pending_.erase(next);
        if (tcp_) {
            for (std::string& bytes : messages) SendTcp(record, std::move(bytes));
        } else {
            SendUdp(record, std::move(messages));
        }
    }
    flushing_ = false;
}

void EchoTool::SendTcp(ConnectInfo* record, std::string bytes) {
    const std::uint64_t freed = freed_;
    // False when the connection has closed: nothing to echo to.
    if (!page_.SendBytesWithoutWaiting(record, std::move(bytes)) || freed != freed_)
        return;
    if (tcp_->SendQueue().PendingBytes(record) > kMaxWaiting && paused_.insert(record).second)
        tcp_->Engine().SetReceivePaused(record, true);
}

void EchoTool::SendUdp(ConnectInfo* record, std::vector<std::string> datagrams) {
    for (std::string& datagram : datagrams) {
        if (!page_.SendBytes(record, std::move(datagram))) {
            // The page has told why; echo stops rather than repeat the message per datagram.
            SetOn(false);
            return;
        }
    }
}

void EchoTool::OnDelivered(ConnectInfo* record) {
    if (paused_.count(record) && tcp_->SendQueue().PendingBytes(record) <= kResumeAt) {
        paused_.erase(record);
        Resume(record);
    }
}

void EchoTool::Resume(ConnectInfo* record) {
    if (tcp_)
        tcp_->Engine().SetReceivePaused(record, false);
}

void EchoTool::Forget(const ConnectInfo* record) {
    ++freed_;
    follow_.erase(record);
    pending_.erase(const_cast<ConnectInfo*>(record));
    paused_.erase(record);
}
