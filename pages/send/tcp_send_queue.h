// TcpSendQueue: what the pages send on TCP connections, written as each peer takes it.
//
// A send must never stop the window: a peer that does not read would hold a blocking send
// (and everything waiting behind it) for as long as it pleases. So a message to an idle
// connection is first written without waiting, on the caller's thread: what the system
// takes at once has gone, and a message that went whole is reported gone before Queue
// returns, with no thread at all. Only when bytes are left over does the connection get a
// sender thread of its own, which writes them through the connection's stream with blocking
// writes of a few KiB at a time and ends when nothing waits any more; the user-interface
// thread only queues and later hears how it went. The sender never takes g_connectLock: it works on
// the socket handle the message was queued for, and a handle that was closed meanwhile
// (Disconnect, Delete, the peer's close seen by the receive thread) only makes its send
// fail, which also wakes a sender blocked on it.
//
// Threads: every public member runs on the user-interface thread, and so do the three
// callbacks (from the event loop, or from Queue when a message goes at once). Sender
// threads touch only their connection's Channel, under its mutex, and read the file of
// the message they write (FileSource reads are thread-safe) without it.
#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "net/socket_handle.h"

class FileSource;
class QTimer;
struct ConnectInfo;

class TcpSendQueue : public QObject {
    Q_OBJECT

public:
    // One message: its bytes on the wire and the send-box text they came from; or a file,
    // read chunk by chunk as it goes (`bytes` then stays empty).
    struct Message {
        std::string bytes;
        QString typed;
        std::shared_ptr<const FileSource> file = nullptr;
        // The file could not be read to its end: the message ended after the bytes read,
        // and the connection goes on. Set before the message is reported delivered.
        bool fileFailed = false;
        // Bytes of the file that went (all of them unless fileFailed); set with fileFailed.
        std::uint64_t fileWent = 0;
    };
    // Bytes the message puts on the wire.
    static std::uint64_t Size(const Message& message);
    // How far the message being written for a connection has gone.
    struct Progress {
        std::uint64_t went;
        std::uint64_t total;
    };

    // The message's last byte has gone.
    std::function<void(ConnectInfo* record, const Message& message)> onDelivered;
    // The peer has taken nothing for StallTimeout() while bytes of `message` wait; `went`
    // of its bytes are gone. Reported once per stall; the bytes keep waiting for the peer.
    std::function<void(ConnectInfo* record, const Message& message, std::size_t went)> onStalled;
    // A send on `sock` failed (the connection is gone); the messages still queued for it
    // are dropped. Not reported for queues dropped with Forget.
    std::function<void(ConnectInfo* record, SOCKET sock)> onFailed;

    explicit TcpSendQueue(QObject* parent = nullptr);
    // Forgets every queue (see ForgetAll).
    ~TcpSendQueue() override;

    // Queues `message` for `record`'s connection on `sock`, behind what already waits
    // there. A message queued while nothing waits is written at once as far as the system
    // takes it, and reported delivered (or failed) before this returns when it went whole;
    // otherwise the call gives the sender a moment, never the time a peer takes. False when
    // a sender thread was needed and none could be started (the system's thread limit) and
    // nothing of the message went: it was not queued and the connection is untouched. (When
    // part of it went, the rest waits and a sender is tried again shortly.)
    bool Queue(ConnectInfo* record, SOCKET sock, Message message);
    // The same without the moment: for tools that send often or much (a timed send, echo, a
    // file), whose messages are reported from the event loop when they went.
    bool QueueWithoutWaiting(ConnectInfo* record, SOCKET sock, Message message);
    // Bytes still waiting for the record's connection.
    bool HasPending(const ConnectInfo* record) const;
    // How many bytes wait to be written for the record's connection (0 when none).
    std::uint64_t PendingBytes(const ConnectInfo* record) const;
    // The message being written for the record now, or nothing when none waits.
    std::optional<Progress> FrontProgress(const ConnectInfo* record) const;
    // Bytes of every message waiting for the record's connection that have not gone yet.
    std::uint64_t WaitingBytes(const ConnectInfo* record) const;
    // Drops the record's queue without a report (the page closes the connection itself,
    // or the record is about to be freed). A sender blocked in a send ends when the page
    // closes the socket.
    void Forget(const ConnectInfo* record);
    void ForgetAll();

    // How long a peer may take nothing before the user is told (10 s; tests shorten it).
    std::chrono::milliseconds StallTimeout() const { return stallTimeout_; }
    void SetStallTimeoutForTesting(std::chrono::milliseconds timeout);

    struct Channel;

protected:
    bool event(QEvent* event) override;

private:
    struct Entry {
        std::shared_ptr<Channel> channel;
        std::uint64_t progressSeen = 0;  // bytes taken at the last check
        std::chrono::steady_clock::time_point lastProgress;
        bool stallReported = false;
    };

    bool Enqueue(ConnectInfo* record, SOCKET sock, Message message, bool waitBriefly);
    // Runs the reports the sender threads left: deliveries in order, then a failure.
    void Drain();
    // Timer: tells the user about queues that have not moved for StallTimeout().
    void CheckStalls();
    void UpdateTimer();

    std::map<ConnectInfo*, Entry> entries_;
    std::chrono::milliseconds stallTimeout_{10000};
    QTimer* stallTimer_ = nullptr;
};
