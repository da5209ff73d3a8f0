#include "pages/tools/reply_rules_tool.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMenu>
#include <QMetaObject>
#include <algorithm>

#include "net/crit_sec.h"
#include "pages/core/dialog_p.h"
#include "pages/core/page_settings.h"
#include "pages/dialogs/reply_rules_dlg.h"
#include "pages/tools/echo_tool.h"
#include "platform/qt_window.h"

namespace {

constexpr std::pair<MatchKind, const char*> kKindNames[] = {{MatchKind::TextEqual, "equal"},
                                                            {MatchKind::TextContains, "contains"},
                                                            {MatchKind::TextStarts, "starts"},
                                                            {MatchKind::Regex, "regex"},
                                                            {MatchKind::Hex, "hex"}};
constexpr std::pair<Framing, const char*> kFramingNames[] = {
    {Framing::Packet, "packet"}, {Framing::Line, "line"}, {Framing::Fixed, "fixed"}};

QString SettingsKey(const CDialogP& page) {
    return QStringLiteral("replyRules/%1").arg(PageSettingsName(page.TemplateId()));
}

std::string StampNow() {
    std::string stamp = FormatTimeStamp();
    while (!stamp.empty() && stamp.back() == ' ') stamp.pop_back();
    return stamp;
}

}  // namespace

QJsonObject ReplyRulesToJson(const ReplyRuleSet& set) {
    QJsonArray rules;
    for (const ReplyRule& rule : set.rules) {
        const char* kind = "equal";
        for (const auto& [value, name] : kKindNames)
            if (value == rule.kind)
                kind = name;
        rules.append(QJsonObject{
            {"enabled", rule.enabled},
            {"match", QString::fromLatin1(kind)},
            {"pattern", QString::fromStdU16String(rule.pattern)},
            {"answerForm", rule.answerForm == AnswerForm::Hex ? "hex" : "text"},
            {"answer", QString::fromStdU16String(rule.answer)},
            {"delayMs", static_cast<qint64>(rule.delayMs)},
        });
    }
    const char* framing = "packet";
    for (const auto& [value, name] : kFramingNames)
        if (value == set.framing.framing)
            framing = name;
    return {{"framing", QString::fromLatin1(framing)},
            {"length", static_cast<qint64>(set.framing.length)},
            {"rules", rules}};
}

ReplyRuleSet ReplyRulesFromJson(const QJsonObject& json) {
    ReplyRuleSet set;
    const QString framing = json.value("framing").toString();
    for (const auto& [value, name] : kFramingNames)
        if (framing == QLatin1String(name))
            set.framing.framing = value;
    set.framing.length = static_cast<std::size_t>(std::clamp<qint64>(
        json.value("length").toInteger(8), 1, static_cast<qint64>(FramingChoice::kMaxLength)));
    for (const QJsonValue& value : json.value("rules").toArray()) {
        const QJsonObject object = value.toObject();
        ReplyRule rule;
        rule.enabled = object.value("enabled").toBool(true);
        const QString kind = object.value("match").toString();
        for (const auto& [match, name] : kKindNames)
            if (kind == QLatin1String(name))
                rule.kind = match;
        rule.pattern = object.value("pattern").toString().toStdU16String();
        rule.answerForm =
            object.value("answerForm").toString() == "hex" ? AnswerForm::Hex : AnswerForm::Text;
        rule.answer = object.value("answer").toString().toStdU16String();
        rule.delayMs = static_cast<std::uint32_t>(
            std::clamp<qint64>(object.value("delayMs").toInteger(0), 0, kMaxReplyDelayMs));
        // A rule kept on that no longer checks (edited by hand) is kept off.
        if (rule.enabled && CheckRule(rule))
            rule.enabled = false;
        set.rules.push_back(std::move(rule));
    }
    return set;
}

ReplyRulesTool::ReplyRulesTool(CDialogP& page, EchoTool* echo)
    : QObject(&page), page_(page), stream_(page.SendsStream()), echo_(echo) {
    page_.AddTool(*this);
    delayTimer_.setSingleShot(true);
    connect(&delayTimer_, &QTimer::timeout, this, &ReplyRulesTool::SendDue);
    if (echo_)
        echo_->LeaveToRules([this] { return Active(); });
    const QByteArray kept = ReadPageText(SettingsKey(page_)).toUtf8();
    if (!kept.isEmpty()) {
        set_ = ReplyRulesFromJson(QJsonDocument::fromJson(kept).object());
        matcher_.SetRules(set_.rules);
    }
}

void ReplyRulesTool::ReceptionEnded(ConnectInfo& record) {
    pause_.ReceptionEnded(record);
}

void ReplyRulesTool::FillTreeMenu(QMenu& menu, HTREEITEM item) {
    if (!page_.Records().IsHostNode(item))
        return;
    QAction* action = menu.addAction(QCoreApplication::translate("ReplyRulesTool", "应答规则…"));
    connect(action, &QAction::triggered, this, &ReplyRulesTool::OpenDialog);
}

void ReplyRulesTool::OpenDialog() {
    ReplyRulesDialog dialog(set_, &page_);
    if (dialog.exec() == QDialog::Accepted)
        SetRuleSet(dialog.Result());
}

void ReplyRulesTool::SetRuleSet(ReplyRuleSet set) {
    set_ = std::move(set);
    matcher_.SetRules(set_.rules);
    // What arrived before is not answered; answers not sent yet are dropped.
    ready_.clear();
    queuedRequestBytes_ = 0;
    delayed_.clear();
    heldBytes_.clear();
    follow_.clear();
    {
        UiCritSecGuard lock(g_connectLock);
        page_.Records().ForEachRecord([this](HTREEITEM, ConnectInfo& record) {
            Follow& follow = follow_[&record];
            follow.lines = record.recvLog.LineCount();
            follow.generation = record.recvLog.Generation();
            if (Active())
                record.pageWillLook = false;  // from now on every batch is heard
        });
    }
    pause_.ResumeAll();
    Keep();
}

void ReplyRulesTool::Keep() {
    keepPosted_ = false;
    WritePageText(
        SettingsKey(page_),
        QString::fromUtf8(QJsonDocument(ReplyRulesToJson(set_)).toJson(QJsonDocument::Compact)));
}

// ---- inside the data handler (the worker holds g_connectLock) ---------------------------------

void ReplyRulesTool::DataAppended(ConnectInfo& record) {
    if (!Active())
        return;
    const CompactLog& log = record.recvLog;
    // A record met for the first time came after the rules were set: all of it is new.
    Follow& follow = follow_.try_emplace(&record, Follow{0, log.Generation(), {}}).first->second;
    if (follow.generation != log.Generation()) {  // cleared since: what it holds now is new
        follow.lines = 0;
        follow.generation = log.Generation();
        follow.framer.Reset();
    }
    const std::size_t end = log.LineCount();
    std::string chunk;
    std::vector<std::string> messages;
    for (std::size_t line = follow.lines; line < end; ++line) {
        chunk.clear();
        if (!log.AppendLineBytes(line, chunk))
            continue;  // a note, not bytes from the peer
        follow.framer.Feed(set_.framing, chunk, !stream_, messages);
    }
    follow.lines = end;
    // Matched from the event loop, so that the receive thread need not wait for the rules;
    // here, in order, should the window fall that far behind a flood of requests.
    for (std::string& message : messages) {
        queuedRequestBytes_ += QueuedSize(message);
        ready_.push_back({&record, std::move(message), true});
    }
    if (queuedRequestBytes_ > kMaxQueuedRequestBytes)
        MatchQueuedRequests(LockHeld::ByWorker);
    if ((!ready_.empty() || !delayed_.empty()) && !flushPosted_) {
        flushPosted_ = true;
        QMetaObject::invokeMethod(this, &ReplyRulesTool::Flush, Qt::QueuedConnection);
        ReturnToEventLoopSoon();  // a peer waits for the answer
    }
}

void ReplyRulesTool::MatchQueuedRequests(LockHeld lock) {
    for (auto answer = ready_.begin(); answer != ready_.end();) {
        if (!answer->request) {
            ++answer;
            continue;
        }
        queuedRequestBytes_ -= QueuedSize(answer->bytes);
        std::optional<std::string> bytes;
        if (Active())
            bytes = Respond(*answer->record, answer->bytes, lock);
        if (!bytes) {
            answer = ready_.erase(answer);
            continue;
        }
        answer->bytes = std::move(*bytes);
        answer->request = false;
        ++answer;
    }
}

std::optional<std::string> ReplyRulesTool::Respond(ConnectInfo& record, const std::string& message,
                                                   LockHeld lock) {
    ReplyMatcher::Result result = matcher_.Match(message);
    using What = ReplyMatcher::Result::What;
    for (std::size_t rule : result.overLimit) SwitchOff(record, rule, lock);
    if (result.what == What::NoMatch) {
        if (echo_ && echo_->IsOn())
            return message;
        return std::nullopt;
    }
    ReplyRule& rule = set_.rules[result.rule];
    ++rule.answered;
    const std::string stamp = StampNow();
    std::string answer = matcher_.Answer(result.rule, {rule.answered, stamp, &result.captures});
    if (answer.empty())
        return std::nullopt;  // matched, answers nothing
    if (rule.delayMs == 0)
        return answer;
    heldBytes_[&record] += answer.size();
    delayed_.emplace(std::chrono::steady_clock::now() + std::chrono::milliseconds(rule.delayMs),
                     Answer{&record, std::move(answer)});
    return std::nullopt;
}

void ReplyRulesTool::SwitchOff(ConnectInfo& record, std::size_t rule, LockHeld lock) {
    set_.rules[rule].enabled = false;
    matcher_.Drop(rule);
    std::optional<UiCritSecGuard> guard;
    if (lock == LockHeld::No)
        guard.emplace(g_connectLock);
    record.recvLog.AppendNote(QCoreApplication::translate(
                                  "ReplyRulesTool", "应答规则 %1 的正则表达式匹配超出限制，已停用")
                                  .arg(rule + 1)
                                  .toStdU16String());
    if (!keepPosted_) {
        keepPosted_ = true;
        QMetaObject::invokeMethod(this, &ReplyRulesTool::Keep, Qt::QueuedConnection);
    }
}

// ---- from the event loop ----------------------------------------------------------------------

void ReplyRulesTool::Flush() {
    flushPosted_ = false;
    if (flushing_)  // a send's message box runs the loop: the outer flush goes on
        return;
    flushing_ = true;
    // One at a time: a record freed meanwhile (a send's message box) has its answers
    // taken out of the queue by Forget.
    while (!ready_.empty()) {
        Answer answer = std::move(ready_.front());
        ready_.pop_front();
        if (answer.request) {
            queuedRequestBytes_ -= QueuedSize(answer.bytes);
            // Switching a rule off takes the lock, whose wait runs handlers: one that frees a
            // record may free this one.
            const std::uint64_t freed = freed_;
            std::optional<std::string> bytes;
            if (Active())
                bytes = Respond(*answer.record, answer.bytes, LockHeld::No);
            if (!bytes || freed != freed_)
                continue;
            answer.bytes = std::move(*bytes);
        }
        Send(answer.record, std::move(answer.bytes));
    }
    for (const auto& [record, bytes] : heldBytes_) CheckPause(const_cast<ConnectInfo*>(record));
    flushing_ = false;
    SendDue();
}

void ReplyRulesTool::SendDue() {
    const auto now = std::chrono::steady_clock::now();
    while (!delayed_.empty() && delayed_.begin()->first <= now) {
        auto due = delayed_.extract(delayed_.begin());
        Answer& answer = due.mapped();
        auto held = heldBytes_.find(answer.record);
        if (held != heldBytes_.end() && (held->second -= answer.bytes.size()) == 0)
            heldBytes_.erase(held);
        Send(answer.record, std::move(answer.bytes));
        OnDelivered(answer.record);
    }
    if (!delayed_.empty()) {
        const auto wait =
            std::chrono::ceil<std::chrono::milliseconds>(delayed_.begin()->first - now);
        delayTimer_.start(std::max<std::chrono::milliseconds>(wait, std::chrono::milliseconds(1)));
    }
}

void ReplyRulesTool::Send(ConnectInfo* record, std::string bytes) {
    const std::uint64_t freed = freed_;
    // False when the connection has closed (nothing to answer to) or a datagram failed
    // (the door has noted it in the entry's sent log).
    if (!page_.Send(record, Outgoing::Bytes(SendOrigin::Rule, std::move(bytes))) || freed != freed_)
        return;
    CheckPause(record);
}

std::uint64_t ReplyRulesTool::Waiting(const ConnectInfo* record) const {
    const auto held = heldBytes_.find(record);
    return page_.WaitingBytes(record).value_or(0) + (held == heldBytes_.end() ? 0 : held->second);
}

void ReplyRulesTool::CheckPause(ConnectInfo* record) {
    if (stream_)
        pause_.Check(record, Waiting(record));
}

void ReplyRulesTool::OnDelivered(ConnectInfo* record) {
    CheckPause(record);
}

void ReplyRulesTool::Forget(const ConnectInfo* record) {
    ++freed_;
    follow_.erase(record);
    pause_.Forget(record);
    heldBytes_.erase(record);
    std::erase_if(ready_, [this, record](const Answer& answer) {
        if (answer.record != record)
            return false;
        if (answer.request)
            queuedRequestBytes_ -= QueuedSize(answer.bytes);
        return true;
    });
    std::erase_if(delayed_, [record](const auto& due) { return due.second.record == record; });
}
