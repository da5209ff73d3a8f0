#include "net/udp_engine.h"

#include <errno.h>

#include <chrono>
#include <thread>
#include <vector>

#include "net/engine_registry.h"
#include "net/worker_thread.h"
#include "platform/window_messages.h"

namespace {

// Room for the largest datagram IPv4 can carry, plus the NUL after it: a datagram is
// never cut.
constexpr int kLargestDatagram = 65535;
// Socket receive buffer asked for on every UDP socket the engine serves.
constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;

ConnectInfo* FindPeer(EngineRegistry& registry, std::uint64_t key) {
    auto it = registry.map.find(key);
    return it == registry.map.end() ? nullptr : it->second;
}

// Receive thread, holding g_connectLock: makes, registers and announces the record of a
// sender heard for the first time.
void OnNewPeer(EngineRegistry& registry, const sockaddr_in& sender, const ThreadParam& own) {
    auto* record = new ConnectInfo;
    registry.currentPeerPort = ntohs(sender.sin_port);
    record->clientAddr = sender;
    record->serverAddr = own.serverAddr;
    AddPeer(registry, record);
    SendMessageW(own.notifyWnd, WM_CONNECT_NEW, 0, reinterpret_cast<LPARAM>(record));
}

// Receive errors the program did not cause: a refused-port report from an earlier send,
// an interrupted call. Reception goes on.
bool IsPassingReceiveError(int error) {
    return error == EINTR || error == ECONNREFUSED || error == EHOSTUNREACH ||
           error == ENETUNREACH || error == EAGAIN;
}

}  // namespace

std::uint32_t AddPeer(EngineRegistry& registry, ConnectInfo* record) {
    CritSecGuard lock(g_connectLock);
    registry.map[UdpKey(record->clientAddr)] = record;
    record->id = registry.currentPeerPort;
    return registry.currentPeerPort;
}

// Receive thread of one UDP socket; reports to own.notifyWnd. Ends only when the program
// closes the socket. Holds g_connectLock from its lookup until the page has handled the
// messages it sends for a datagram.
void UdpReceiveThread(ThreadParam* param) {
    const ThreadParam own = *param;
    delete param;
    std::vector<char> buffer(kLargestDatagram + 1);

    sockaddr_in local{};
    GetSocketName(own.sock, local);
    const std::uint64_t localKey = UdpKey(local);
    const bool serverMode = own.serverMode != 0;

    for (;;) {
        sockaddr_in sender{};
        const int n = RecvFromSocket(own.sock, buffer.data(), kLargestDatagram, &sender);
        if (n == SOCKET_ERROR) {
            const int error = errno;
            if (error == EBADF)
                return;  // the program closed the socket
            if (!IsPassingReceiveError(error)) {
                // A shortage of buffers or memory: give it time instead of spinning.
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            continue;
        }
        // n == 0 is an empty datagram, logged like any other.
        buffer[static_cast<std::size_t>(n)] = '\0';
        const std::uint64_t key = serverMode ? UdpKey(sender) : localKey;

        CritSecGuard lock(g_connectLock);
        // Closed while this datagram was on its way in: the page is stopping or tearing
        // down and has deleted (or is about to delete) the records; make no new one.
        if (!IsSocketOpen(own.sock))
            return;
        ConnectInfo* record = FindPeer(*own.registry, key);
        if (record == nullptr && serverMode) {
            OnNewPeer(*own.registry, sender, own);
            record = FindPeer(*own.registry, key);
        }
        // A client endpoint the page has replaced (same address, another socket) is not ours.
        if (record == nullptr || (!serverMode && record->sock != own.sock))
            continue;
        AppendReceived(record, buffer.data(), n, own.notifyWnd);
    }
}

UdpEngine::UdpEngine() : registry_(std::make_shared<EngineRegistry>()) {}

UdpEngine::~UdpEngine() {
    // Threads still running keep the registry; they must not find records the page is
    // about to free, or has freed.
    UiCritSecGuard lock(g_connectLock);
    registry_->map.clear();
}

void UdpEngine::SetNotifyWindow(HWND window) {
    registry_->notifyWnd = window;
}
void UdpEngine::SetClientNotifyWindow(HWND window) {
    registry_->clientNotifyWnd = window;
}
HWND UdpEngine::NotifyWindow() const {
    return registry_->notifyWnd;
}
HWND UdpEngine::ClientNotifyWindow() const {
    return registry_->clientNotifyWnd;
}

SOCKET UdpEngine::BindEndpoint(std::uint16_t port) {
    const SOCKET s = OpenSocket(SOCK_DGRAM);
    if (s == INVALID_SOCKET)
        return INVALID_SOCKET;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    // Room for bursts while the page handles earlier datagrams (the system caps the size).
    SetSocketOption(s, SOL_SOCKET, SO_RCVBUF, kReceiveBufferBytes);
    if (BindSocket(s, address) == SOCKET_ERROR || GetSocketName(s, address) == SOCKET_ERROR) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    auto* param = new ThreadParam;
    param->sock = s;
    param->udpEngine = this;
    param->notifyWnd = registry_->notifyWnd;
    param->serverAddr = address;
    param->serverMode = 1;
    param->registry = registry_;
    if (StartWorkerThread(UdpReceiveThread, param) == 0) {
        delete param;
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

int UdpEngine::CloseEndpoint(SOCKET s) {
    closesocket(s);
    return 0;
}

bool UdpEngine::StartClientReceiving(ConnectInfo* record) {
    SetSocketOption(record->sock, SOL_SOCKET, SO_RCVBUF, kReceiveBufferBytes);
    auto* param = new ThreadParam;
    param->sock = record->sock;
    param->udpEngine = this;
    param->notifyWnd = registry_->clientNotifyWnd;
    param->serverAddr = record->serverAddr;
    param->serverMode = 0;
    param->registry = registry_;
    if (StartWorkerThread(UdpReceiveThread, param) == 0) {
        delete param;
        return false;
    }
    return true;
}

std::uint32_t UdpEngine::AddPeer(ConnectInfo* record) {
    UiCritSecGuard lock(g_connectLock);  // entered again, without waiting, inside
    return ::AddPeer(*registry_, record);
}

int UdpEngine::SendDatagram(SOCKET s, const char* data, const sockaddr_in& to, int len) {
    int sent;
    do {
        sent = SendToSocket(s, data, len, to);
    } while (sent == SOCKET_ERROR && errno == EINTR);
    return sent;
}

ConnectMap& UdpEngine::Peers() {
    return registry_->map;
}
