// EchoTool: the "回显" check item of a server page's host-node menu. While checked, every
// chunk (TCP) or datagram (UDP) the page receives is sent back to its sender as it came,
// through the page's door, and logged on that entry's sent log as usual. Off by default;
// not kept.
//
// Where it happens: the page's data handler (inside WM_CONNECT_DATA, on the user-interface
// thread, while the receive thread holds g_connectLock) takes the new lines' bytes out of
// the received log, and a call posted to the event loop sends them, outside the handler
// (sending takes the lock). On a stream (TCP) one message goes per received batch, queued
// without waiting; a peer that does not read leaves it waiting in the connection's send
// queue, and beyond kMaxWaiting bytes waiting the page stops reading from that peer until
// the queue is down to kResumeAt. On datagrams a reply that fails is noted in its entry's
// log (the page's door does that) and echo goes on for the others.
//
// One per server page, a child of the page. User-interface thread only.
#pragma once

#include <QObject>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "pages/core/page_tool.h"
#include "pages/tools/reading_pause.h"
#include "platform/win_types.h"

class CDialogP;
class QMenu;
struct ConnectInfo;

class EchoTool : public QObject, public PageTool {
    Q_OBJECT

public:
    static constexpr std::uint64_t kMaxWaiting = ReadingPause::kMaxWaiting;
    static constexpr std::uint64_t kResumeAt = ReadingPause::kResumeAt;

    // Adds the item to `page`'s host-node menu and follows its records.
    explicit EchoTool(CDialogP& page);

    bool IsOn() const { return on_; }
    // On: what arrives from now on is echoed. Off: what was not sent yet is dropped, and
    // every peer is read again.
    void SetOn(bool on);
    // While `active` says so, the page's reply rules read what arrives and echo what no
    // rule matched (rules first); echo itself then only follows the logs.
    void LeaveToRules(std::function<bool()> active) { rulesActive_ = std::move(active); }

private:
    // Where a record's received log had been echoed up to.
    struct Follow {
        std::size_t lines = 0;
        std::uint64_t generation = 0;
    };

    void FillTreeMenu(QMenu& menu, HTREEITEM item) override;
    // Inside the data handler (the worker holds the lock).
    void DataAppended(ConnectInfo& record) override;
    bool WantsEveryBatch() const override { return on_; }
    void ReceptionEnded(ConnectInfo& record) override;
    void RecordFreeing(const ConnectInfo* record) override;
    // A message went: a paused peer whose queue is down is read again.
    void MessageWent(ConnectInfo& record) override;
    // From the event loop: sends what the handler took.
    void Flush();
    void SendStream(ConnectInfo* record, std::string bytes);
    void SendDatagrams(ConnectInfo* record, std::vector<std::string> datagrams);

    CDialogP& page_;
    bool stream_;  // the page's transport is a stream (its batches go as one message)
    bool on_ = false;
    bool flushPosted_ = false;
    bool flushing_ = false;
    std::uint64_t freed_ = 0;  // records freed so far (a send's message box may free some)
    std::map<const ConnectInfo*, Follow> follow_;
    std::map<ConnectInfo*, std::vector<std::string>> pending_;
    ReadingPause pause_;
    std::function<bool()> rulesActive_;
};
