#include "net/connect_info.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <mutex>

#include "platform/window_messages.h"

namespace {

std::mutex g_pinnedAddressMutex;
std::optional<std::string> g_pinnedAddress;  // guarded by g_pinnedAddressMutex

bool IsLoopback(in_addr address) {
    return (ntohl(address.s_addr) >> 24) == 127;
}

std::string Dotted(in_addr address) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof(text));
    return text;
}

// What the host name resolves to: nothing when the name cannot be had or resolved;
// otherwise its first IPv4 address, or an empty string when every address it has is a
// loopback address.
std::optional<std::string> HostNameAddress() {
    char name[128] = {};
    if (gethostname(name, sizeof(name) - 1) != 0)
        return std::nullopt;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0)
        return std::nullopt;
    std::string first;
    bool onlyLoopback = true;
    for (addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
        if (first.empty())
            first = Dotted(address->sin_addr);
        onlyLoopback = onlyLoopback && IsLoopback(address->sin_addr);
    }
    freeaddrinfo(found);
    return onlyLoopback ? std::string() : first;
}

// First non-loopback IPv4 address of an interface that is up.
std::optional<std::string> InterfaceAddress() {
    ifaddrs* interfaces = nullptr;
    if (getifaddrs(&interfaces) != 0)
        return std::nullopt;
    std::optional<std::string> first;
    for (ifaddrs* entry = interfaces; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        if ((entry->ifa_flags & IFF_UP) == 0)
            continue;
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if (IsLoopback(address->sin_addr))
            continue;
        first = Dotted(address->sin_addr);
        break;
    }
    freeifaddrs(interfaces);
    return first;
}

}  // namespace

ConnectKey UdpKey(const Endpoint& address) {
    return ConnectKey(address);
}

std::string FormatTimeStamp(std::chrono::system_clock::time_point now) {
    using namespace std::chrono;
    // Receive threads stamp every chunk; most chunks share their second with the last one.
    // Plain data only: a thread-local object with a destructor would have to be registered
    // on a receive thread's first stamp, which takes memory the thread may not get.
    thread_local sys_seconds cachedSecond{};
    thread_local char cachedStamp[64] = {};
    const sys_seconds second = floor<seconds>(now);
    if (cachedStamp[0] != '\0' && second == cachedSecond)
        return cachedStamp;
    // The zone is read from TZ (or the system's setting) once per process.
    const std::time_t time = system_clock::to_time_t(second);
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr)
        gmtime_r(&time, &local);
    std::snprintf(cachedStamp, sizeof(cachedStamp), "%04d-%02d-%02d %02d:%02d:%02d  ",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec);
    cachedSecond = second;
    return cachedStamp;
}

std::string FormatTimeStamp() {
    return FormatTimeStamp(std::chrono::system_clock::now());
}

namespace {

// The caller holds g_connectLock. `logged`: the line went into recvLog; otherwise the log
// has just stopped and its last line says why, which the page is shown all the same.
bool FinishReceivedLine(ConnectInfo* record, int n, bool logged, HWND notifyWnd) {
    record->unread = 1;
    if (logged) {
        record->recvBytes += n;
        ++record->recvLines;
    }
    if (notifyWnd != nullptr && !NotifyAppended(record, notifyWnd))
        return false;
    return logged;
}

}  // namespace

bool AppendReceived(ConnectInfo* record, const char* chunk, int n, HWND notifyWnd) {
    if (record == nullptr || n < 0)
        return record != nullptr;  // n == 0 is an empty datagram: an ordinary line
    if (record->recvLog.Stopped())
        return false;
    const bool logged =
        record->recvLog.AppendReceived(std::string_view(chunk, static_cast<std::size_t>(n)));
    return FinishReceivedLine(record, n, logged, notifyWnd);
}

bool AppendReceivedStream(ConnectInfo* record, SOCKET from, const char* chunk, int n,
                          HWND notifyWnd) {
    if (record == nullptr || n < 0)
        return record != nullptr;
    if (record->recvLog.Stopped())
        return false;
    const bool logged =
        record->recvLog.AppendStream(from, std::string_view(chunk, static_cast<std::size_t>(n)));
    return FinishReceivedLine(record, n, logged, notifyWnd);
}

void FinishReceivedStream(ConnectInfo* record, SOCKET from, HWND notifyWnd) {
    // A line of its own: the bytes were counted with the line they arrived in.
    if (record == nullptr || !record->recvLog.FinishStream(from))
        return;
    record->unread = 1;
    NotifyAppended(record, notifyWnd);
}

bool NotifyAppended(ConnectInfo* record, HWND notifyWnd) {
    if (record->pageWillLook)
        return true;
    LRESULT handled = 0;
    if (TrySendMessageW(notifyWnd, WM_CONNECT_DATA, CONNECT_DATA_APPENDED,
                        reinterpret_cast<LPARAM>(record), handled)) {
        return true;
    }
    record->recvLog.StopForLackOfMemory();
    return false;
}

void CountSent(ConnectInfo* record, std::uint64_t bytes) {
    record->sentBytes += static_cast<std::int64_t>(bytes);
    ++record->sentMessages;
}

void MarkPeerClosed(ConnectInfo* record, HWND notifyWnd) {
    if (record != nullptr && record->sock != INVALID_SOCKET) {
        closesocket(record->sock);
        record->sock = INVALID_SOCKET;
    }
    SendMessageW(notifyWnd, WM_CONNECT_DATA, CONNECT_DATA_CLOSED, reinterpret_cast<LPARAM>(record));
}

bool GetLocalHostAddress(std::string& out) {
    {
        std::lock_guard lock(g_pinnedAddressMutex);
        if (g_pinnedAddress) {
            out = *g_pinnedAddress;
            return true;
        }
    }
    // A host name that cannot be resolved leaves `out` as it was (the page then shows an
    // empty label). Debian maps the host name to 127.0.1.1: when the name has only loopback
    // addresses, an interface address that peers can reach is more useful.
    const std::optional<std::string> address = HostNameAddress();
    if (!address)
        return true;
    if (!address->empty()) {
        out = *address;
    } else if (auto interfaceAddress = InterfaceAddress()) {
        out = *interfaceAddress;
    } else {
        out = "127.0.0.1";
    }
    return true;
}

void PinLocalHostAddressForTesting(std::optional<std::string> pinned) {
    std::lock_guard lock(g_pinnedAddressMutex);
    g_pinnedAddress = std::move(pinned);
}
