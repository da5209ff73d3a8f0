// CTcpPage: what the TCP server page and the TCP client page share. Each entry is one TCP
// connection whose record lives in the page's TcpEngine map under its id; one receive
// thread per open connection reports data and the peer's close to the page. The page's
// send door is a TcpSendQueue: messages wait there while their peers take them, and are
// logged once their last byte went. Both pages disconnect and delete the selected entry
// alike; they differ in how connections come to be and in their other buttons.
//
// Threads: user-interface thread only. Outside the notification handlers the page takes
// g_connectLock (UiCritSecGuard) around its map and the records' worker-owned fields.
#pragma once

#include <QPointer>
#include <QTimer>
#include <chrono>
#include <optional>
#include <set>
#include <string>

#include "net/tcp_engine.h"
#include "pages/core/dialog_p.h"
#include "pages/send/tcp_send_queue.h"

class CTcpPage : public CDialogP {
    Q_OBJECT

public:
    TcpEngine& Engine() { return engine_; }
    // For tests: what waits on each connection.
    const TcpSendQueue& SendQueue() const { return sendQueue_; }
    // How long a peer may take nothing of a waiting message before the user is told.
    void SetSendStallTimeoutForTesting(std::chrono::milliseconds timeout);

    // What the transport can do for the tools: a stream whose messages may wait, and whose
    // reading can be paused.
    bool SendsStream() const override { return true; }
    bool MessageWaiting(const ConnectInfo* record) const override;
    std::optional<std::uint64_t> WaitingBytes(const ConnectInfo* record) const override;
    bool SetReadingPaused(ConnectInfo* record, bool paused) override;

    // Closes the selected entry's connection (see Disconnect) and shows the entry again.
    void OnDisconnect();
    // Closes `record`'s connection if open: its receive thread then reports the close;
    // messages still waiting are dropped with a line in the sent log saying how many bytes
    // did not go, and the stall box forgets it. The caller holds g_connectLock.
    void Disconnect(ConnectInfo& record);
    void OnDelete();

protected:
    CTcpPage(int templateId, QWidget* parent);
    // Forgets the send queues, then tears the page down before the engine goes.
    ~CTcpPage() override;

    int EntryImage(const ConnectInfo& record) const override;
    bool CanSendTo(const ConnectInfo* record) override;
    // Queues the message on the record's connection; false when it is not connected.
    bool Transmit(ConnectInfo& record, Outgoing& message) override;
    void RecordFreeing(const ConnectInfo* record) override;
    // The peer closed: if the views show this entry, the buttons show it closed.
    void OnReceptionEnded(ConnectInfo& record) override;

private:
    // Reports of the send queue (user-interface thread, outside any notification handler).
    void OnSendStalled(ConnectInfo* record, std::size_t size, std::size_t went);
    void OnSendFailed(ConnectInfo* record, SOCKET sock);
    // Shows the record's front message as waiting while it waits (bytes gone / total), and
    // follows its progress.
    void FollowWaiting(const ConnectInfo& record);
    // The sent view's line for what waits for `record` (empty: nothing waits).
    QString WaitingText(const ConnectInfo& record) const;
    // Timer: the shown entry's waiting line follows its progress.
    void ShowProgress();
    // The page's one stall box: what it says for the connections that wait now (`size` and
    // `went`: of the one message waiting when only one connection does).
    QString StallText(std::size_t size, std::size_t went) const;
    // `record` no longer waits on a stalled peer: the box says so, and goes with the last.
    void CloseStallBox(const ConnectInfo* record);

    TcpEngine engine_;
    TcpSendQueue sendQueue_;
    QTimer* progressTimer_;
    // The stall box, while one is up (one per page), and the connections it speaks of.
    bool stallBoxUp_ = false;
    QPointer<QWidget> stallBox_;
    std::set<const ConnectInfo*> stalled_;
};
