#include "pages/tools/echo_tool.h"

#include <QCoreApplication>
#include <QMenu>

#include "net/crit_sec.h"
#include "pages/core/dialog_p.h"

EchoTool::EchoTool(CDialogP& page)
    : QObject(&page), page_(page), stream_(page.SendsStream()), pause_(page) {
    page_.AddTool(*this);
}

void EchoTool::ReceptionEnded(ConnectInfo& record) {
    pause_.ReceptionEnded(record);
}

void EchoTool::FillTreeMenu(QMenu& menu, HTREEITEM item) {
    if (!page_.Records().IsHostNode(item))
        return;
    QAction* action = menu.addAction(QCoreApplication::translate("EchoTool", "回显"));
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
            record.pageWillLook = false;  // from now on every batch is heard
        });
        return;
    }
    pause_.ResumeAll();
}

void EchoTool::DataAppended(ConnectInfo& record) {
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
        if (out.empty() || !stream_)
            out.emplace_back();
        if (!log.AppendLineBytes(line, out.back()) && !stream_)
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
        if (stream_) {
            for (std::string& bytes : messages) SendStream(record, std::move(bytes));
        } else {
            SendDatagrams(record, std::move(messages));
        }
    }
    flushing_ = false;
}

void EchoTool::SendStream(ConnectInfo* record, std::string bytes) {
    const std::uint64_t freed = freed_;
    // False when the connection has closed: nothing to echo to.
    if (!page_.Send(record, Outgoing::Bytes(SendOrigin::Echo, std::move(bytes))) || freed != freed_)
        return;
    pause_.Check(record, page_.WaitingBytes(record).value_or(0));
}

void EchoTool::SendDatagrams(ConnectInfo* record, std::vector<std::string> datagrams) {
    const std::uint64_t freed = freed_;
    for (std::string& datagram : datagrams) {
        // A failed reply is noted in the entry's log by the door; the rest of this peer's
        // batch is dropped, and echo goes on for the others.
        if (!page_.Send(record, Outgoing::Bytes(SendOrigin::Echo, std::move(datagram))) ||
            freed != freed_)
            return;
    }
}

void EchoTool::MessageWent(ConnectInfo& record) {
    pause_.Check(&record, page_.WaitingBytes(&record).value_or(0));
}

void EchoTool::RecordFreeing(const ConnectInfo* record) {
    ++freed_;
    follow_.erase(record);
    pending_.erase(const_cast<ConnectInfo*>(record));
    pause_.Forget(record);
}
