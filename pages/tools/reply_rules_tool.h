// ReplyRulesTool: a page's reply rules. "应答规则…" on the host node's menu opens the rules
// dialog; while a rule is enabled, what each peer sends is cut into messages (按包 / 按行 /
// 定长 N, text/message_framer.h) and the first enabled rule that matches a message answers
// it through the page's door, logged and counted like any send (text/reply_rules.h).
// On a server page with "回显" on, a message no rule matched is echoed as it came (rules
// first); a rule that matches and answers nothing stops both.
//
// Where it happens: matching runs in the page's data handler (inside WM_CONNECT_DATA, on
// the user-interface thread, while the receive thread holds g_connectLock), under PCRE2's
// limits; a rule that reaches them is switched off with a note in that entry's received
// log. The answers go from a call posted to the event loop, or from a timer when the rule
// has a delay. A TCP peer that does not read has its answers wait in the connection's send
// queue; beyond kMaxWaiting bytes waiting (queued or delayed), the page stops reading from
// it until they are down to kResumeAt, as echo does.
//
// The rules and the framing are kept per page in the settings (key "replyRules/<page>", a
// JSON object, see ReplyRulesToJson). One per page, a child of the page. User-interface
// thread only.
#pragma once

#include <QJsonObject>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "pages/core/page_tool.h"
#include "pages/tools/reading_pause.h"
#include "platform/win_types.h"
#include "text/message_framer.h"
#include "text/reply_rules.h"

class CDialogP;
class EchoTool;
class QMenu;
struct ConnectInfo;

// A page's rules and how its messages are framed; what the settings and sessions keep.
struct ReplyRuleSet {
    FramingChoice framing;
    std::vector<ReplyRule> rules;
};
// {"framing": "packet" | "line" | "fixed", "length": N, "rules": [{"enabled", "match":
// "equal" | "contains" | "starts" | "regex" | "hex", "pattern", "answerForm": "text" | "hex",
// "answer", "delayMs"}, ...]}. Answer counts are not kept. Reading takes what it
// understands: unknown kinds read as 文本相同, a missing framing as 按包.
QJsonObject ReplyRulesToJson(const ReplyRuleSet& set);
ReplyRuleSet ReplyRulesFromJson(const QJsonObject& json);

class ReplyRulesTool : public QObject, public PageTool {
    Q_OBJECT

public:
    static constexpr std::uint64_t kMaxWaiting = ReadingPause::kMaxWaiting;
    static constexpr std::uint64_t kResumeAt = ReadingPause::kResumeAt;

    // Adds the item to `page`'s host-node menu, follows its records, and takes the rules
    // kept for the page. `echo` (server pages) answers what no rule matched while it is on.
    ReplyRulesTool(CDialogP& page, EchoTool* echo);

    const ReplyRuleSet& RuleSet() const { return set_; }
    // Takes `set` from now on (what peers sent before is not answered), and keeps it.
    void SetRuleSet(ReplyRuleSet set);
    // True while an enabled rule can answer: echo leaves the messages to the rules then.
    bool Active() const { return !matcher_.Empty(); }
    // Rules answer each message as it comes: the workers tell the page of every batch.
    bool WantsEveryBatch() const override { return Active(); }

    // Opens the rules dialog (the menu item's command).
    void OpenDialog();

private:
    struct Follow {
        std::size_t lines = 0;
        std::uint64_t generation = 0;
        MessageFramer framer;
    };
    struct Answer {
        ConnectInfo* record;
        std::string bytes;
        bool request = false;  // a message not matched yet: the answer is found when it goes
    };

    void FillTreeMenu(QMenu& menu, HTREEITEM item) override;
    // Inside the data handler (the worker holds the lock).
    void DataAppended(ConnectInfo& record) override;
    void ReceptionEnded(ConnectInfo& record) override;
    void RecordFreeing(const ConnectInfo* record) override { Forget(record); }
    // A message went: a paused peer whose waiting bytes are down is read again.
    void MessageWent(ConnectInfo& record) override { OnDelivered(&record); }
    // Who holds g_connectLock for the matching: the worker whose notification is being
    // handled, or nobody (the event loop; switching a rule off takes it then).
    enum class LockHeld : std::uint8_t { ByWorker, No };
    // The answer to `message`, or nothing; a delayed answer is held instead.
    std::optional<std::string> Respond(ConnectInfo& record, const std::string& message,
                                       LockHeld lock);
    // Every queued request becomes its answer in place (or goes), keeping the order.
    void MatchQueuedRequests(LockHeld lock);
    void SwitchOff(ConnectInfo& record, std::size_t rule, LockHeld lock);
    // What a queued request costs in memory.
    static std::uint64_t QueuedSize(const std::string& request) {
        return request.size() + sizeof(Answer);
    }
    // Beyond this much, requests are matched inside the handler, holding the receive thread
    // back as long as the rules take.
    static constexpr std::uint64_t kMaxQueuedRequestBytes = 4u << 20;
    // From the event loop.
    void Flush();
    void SendDue();
    void Send(ConnectInfo* record, std::string bytes);
    void OnDelivered(ConnectInfo* record);
    void CheckPause(ConnectInfo* record);
    // Bytes waiting for the record's peer: queued, and held for a rule's delay.
    std::uint64_t Waiting(const ConnectInfo* record) const;
    void Forget(const ConnectInfo* record);
    void Keep();

    CDialogP& page_;
    bool stream_;  // the page's transport is a stream (TCP): answers may wait, reading pauses
    EchoTool* echo_;
    ReplyRuleSet set_;
    ReplyMatcher matcher_;
    std::map<const ConnectInfo*, Follow> follow_;
    std::deque<Answer> ready_;  // answers (and requests) to send from the event loop, in order
    std::uint64_t queuedRequestBytes_ = 0;  // QueuedSize of the requests in ready_
    std::multimap<std::chrono::steady_clock::time_point, Answer> delayed_;
    std::map<const ConnectInfo*, std::uint64_t> heldBytes_;  // delayed answers' bytes
    ReadingPause pause_{page_};
    QTimer delayTimer_;
    bool flushPosted_ = false;
    bool flushing_ = false;
    bool keepPosted_ = false;
    std::uint64_t freed_ = 0;
};
