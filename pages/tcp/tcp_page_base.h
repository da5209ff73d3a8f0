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
#include <map>
#include <string>

#include "net/tcp_engine.h"
#include "pages/core/dialog_p.h"
#include "pages/send/tcp_send_queue.h"

class CTcpPage : public CDialogP {
    Q_OBJECT

public:
    TcpEngine& Engine() { return engine_; }
    TcpSendQueue& SendQueue() { return sendQueue_; }
    // How long a peer may take nothing of a waiting message before the user is told.
    void SetSendStallTimeoutForTesting(std::chrono::milliseconds timeout);

    // Queues `bytes` on the record's connection; false when it is not connected.
    bool SendBytes(ConnectInfo* record, std::string bytes, QString fromBox = {}) override;
    // Queued without waiting; false when not connected or no sender thread could start.
    bool SendBytesWithoutWaiting(ConnectInfo* record, std::string bytes) override;
    bool MessageWaiting(const ConnectInfo* record) const override;
    // Shows the record's front message as waiting while it waits (bytes gone / total), and
    // follows its progress; for messages queued straight on SendQueue().
    void FollowWaiting(const ConnectInfo& record);

    // Closes the selected entry's connection (its receive thread then reports the close;
    // messages still waiting are dropped, with a line in the sent log saying how many bytes
    // did not go) and shows the entry again.
    void OnDisconnect();
    void OnDelete();

protected:
    CTcpPage(int templateId, QWidget* parent);
    // Forgets the send queues, then tears the page down before the engine goes.
    ~CTcpPage() override;

    int EntryImage(const ConnectInfo& record) const override;
    bool CanSendTo(const ConnectInfo* record) override;
    // The peer closed: if the views show this entry, the buttons show it closed.
    void OnReceptionEnded(ConnectInfo& record) override;

private:
    // Reports of the send queue (user-interface thread, outside any notification handler).
    void OnSendStalled(ConnectInfo* record, std::size_t size, std::size_t went);
    void OnSendFailed(ConnectInfo* record, SOCKET sock);
    // The sent view's line for what waits for `record` (empty: nothing waits).
    QString WaitingText(const ConnectInfo& record) const;
    // Timer: the shown entry's waiting line follows its progress.
    void ShowProgress();
    // The stall message box about `record`, if one is up, goes: what it said is over.
    void CloseStallBox(const ConnectInfo* record);

    TcpEngine engine_;
    TcpSendQueue sendQueue_;
    QTimer* progressTimer_;
    std::map<const ConnectInfo*, QPointer<QWidget>> stallBoxes_;
};
