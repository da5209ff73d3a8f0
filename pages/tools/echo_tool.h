// EchoTool: the "回显" check item of a server page's host-node menu. While checked, every
// chunk (TCP) or datagram (UDP) the page receives is sent back to its sender as it came,
// through the page's door, and logged on that entry's sent log as usual. Off by default;
// not kept.
//
// Where it happens: the page's data handler (inside WM_CONNECT_DATA, on the user-interface
// thread, while the receive thread holds g_connectLock) takes the new lines' bytes out of
// the received log, and a call posted to the event loop sends them, outside the handler
// (sending takes the lock). On TCP one message goes per received batch, queued without
// waiting; a peer that does not read leaves it waiting in the connection's send queue, and
// beyond kMaxWaiting bytes waiting the page stops reading from that peer until the queue is
// down to kResumeAt.
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

#include "platform/win_types.h"

class CDialogP;
class CTcpPage;
class QMenu;
struct ConnectInfo;

class EchoTool : public QObject {
    Q_OBJECT

public:
    static constexpr std::uint64_t kMaxWaiting = 16u << 20;
    static constexpr std::uint64_t kResumeAt = kMaxWaiting / 2;

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

    void FillTreeMenu(QMenu& menu, HTREEITEM item);
    // Inside the data handler (the worker holds the lock).
    void OnDataAppended(ConnectInfo& record);
    void Forget(const ConnectInfo* record);
    // From the event loop: sends what the handler took.
    void Flush();
    void SendTcp(ConnectInfo* record, std::string bytes);
    void SendUdp(ConnectInfo* record, std::vector<std::string> datagrams);
    // A TCP message went: a paused peer whose queue is down is read again.
    void OnDelivered(ConnectInfo* record);
    void Resume(ConnectInfo* record);

    CDialogP& page_;
    CTcpPage* tcp_;  // null on a UDP page
    bool on_ = false;
    bool flushPosted_ = false;
    bool flushing_ = false;
    std::uint64_t freed_ = 0;  // records freed so far (a send's message box may free some)
    std::map<const ConnectInfo*, Follow> follow_;
    std::map<ConnectInfo*, std::vector<std::string>> pending_;
    std::set<const ConnectInfo*> paused_;
    std::function<bool()> rulesActive_;
};
