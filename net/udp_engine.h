// The UDP half of the network engine: per UDP socket one detached receive thread, which
// reads every datagram as it comes, and one delivering thread, which logs what was read on
// the records and notifies the page, in server mode (one record per sender, keyed by
// UdpKey of the sender's endpoint) or client mode (everything received belongs to the endpoint's
// one record, keyed by UdpKey of its own address). Datagrams that arrive while the page is busy
// wait between the two threads and are then reported together: one line each, one notification per
// record and batch.
#pragma once

#include <cstdint>
#include <memory>

#include "net/connect_info.h"

class UdpEngine {
public:
    UdpEngine();
    // Empties the map without freeing records (the page deletes them first).
    ~UdpEngine();
    UdpEngine(const UdpEngine&) = delete;
    UdpEngine& operator=(const UdpEngine&) = delete;

    // The UDP server page: server sockets and their peers report here.
    void SetNotifyWindow(HWND window);
    // The UDP client page: client endpoints report here.
    void SetClientNotifyWindow(HWND window);
    HWND NotifyWindow() const;
    HWND ClientNotifyWindow() const;

    // User-interface thread. Binds a datagram socket on the any-address and `port`, for
    // IPv4 and IPv6 at once where the system allows (else IPv4 only), and starts receiving in
    // server mode; INVALID_SOCKET on failure (nothing left open), with the reason in errno
    // (EAGAIN: no thread could be started).
    SOCKET BindEndpoint(std::uint16_t port);
    // Why the last BindEndpoint's socket serves no IPv6 peers (an errno), 0 when it does.
    int Ipv6Error() const { return ipv6Error_; }
    // Closes the socket; its receive thread ends without a message. Returns 0.
    int CloseEndpoint(SOCKET s);
    // Starts client-mode reception on a bound endpoint the page has registered itself
    // (under UdpKey of its bound address). Returns true when the thread started.
    bool StartClientReceiving(ConnectInfo* record);
    // One datagram of `len` bytes to `to`: bytes sent, or SOCKET_ERROR. Any thread.
    int SendDatagram(SOCKET s, const char* data, const Endpoint& to, int len);

    // The registry; callers hold g_connectLock.
    ConnectMap& Peers();

private:
    std::shared_ptr<EngineRegistry> registry_;
    int ipv6Error_ = 0;
};

// Thread entry point (takes and frees its ThreadParam); starts the delivering thread.
void UdpReceiveThread(ThreadParam* param);
