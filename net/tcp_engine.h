// The TCP half of the network engine: listening sockets with one accept thread each, and
// one detached receive thread per connection. Results reach the pages only through
// WM_CONNECT_NEW and WM_CONNECT_DATA (net/connect_info.h).
#pragma once

#include <cstdint>
#include <memory>

#include "net/connect_info.h"

class TcpEngine {
public:
    TcpEngine();
    // Empties the map without freeing records (the page deletes them first). Threads still
    // running keep the engine's registry alive and end when their sockets close.
    ~TcpEngine();
    TcpEngine(const TcpEngine&) = delete;
    TcpEngine& operator=(const TcpEngine&) = delete;

    // The window accepted connections are announced to (the TCP server page).
    void SetNotifyWindow(HWND window);
    HWND NotifyWindow() const;

    // User-interface thread. Opens a listening socket on the any-address and `port`, for IPv4
    // and IPv6 at once where the system allows (else IPv4 only), and starts its accept
    // thread; INVALID_SOCKET on failure (nothing left open), with the reason in errno
    // (EAGAIN: no thread could be started).
    // With `tls`, every connection accepted on it speaks TLS with that context (its
    // receive thread runs the handshake first).
    SOCKET StartListening(std::uint16_t port, std::shared_ptr<TlsContext> tls = nullptr);
    // Why the last StartListening's socket serves no IPv6 peers (an errno), 0 when it does.
    int Ipv6Error() const { return ipv6Error_; }
    // Closes the listening socket; its accept thread ends without a message. Returns 0.
    // Connections already accepted are not affected.
    int StopListening(SOCKET listening);

    // Registers the record under the next id (from 0, never reused) and sets its id.
    // Returns the id after it. Takes g_connectLock.
    std::uint32_t AddConnection(ConnectInfo* record);
    // Starts the receive thread of a connected, registered record; it reports to `window`.
    int StartReceiving(ConnectInfo* record, HWND window);

    // User-interface thread. Stops (true) or resumes reading from the record's peer: its
    // receive thread finishes the batch it reads, then waits until resumed (or until the
    // record is closed, reconnected or deleted). Takes g_connectLock.
    void SetReceivePaused(ConnectInfo* record, bool paused);

    // Peers the accept threads could not take since the engine began, for want of
    // descriptors: `refused` were taken and closed at once (only the descriptors kept for the
    // window were left); `backlogWaiting` while peers wait unaccepted because none at all
    // is left; `error` the errno. User-interface thread, on WM_CONNECT_SHORTAGE: the next
    // shortage posts again.
    struct Shortage {
        std::uint64_t refused = 0;
        bool backlogWaiting = false;
        int error = 0;
    };
    Shortage TakeShortage();

    // The registry; callers hold g_connectLock.
    ConnectMap& Connections();

private:
    std::shared_ptr<EngineRegistry> registry_;
    int ipv6Error_ = 0;
};

// Thread entry points (each takes and frees its ThreadParam).
void AcceptThread(ThreadParam* param);
void TcpReceiveThread(ThreadParam* param);
