#include "net/socket_handle.h"

#include <arpa/inet.h>
#include <errno.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "net/connection_stream.h"
#include "net/descriptor_reserve.h"

namespace {

// One open socket. The descriptor is closed when the last user lets go of the entry: the
// table's reference goes at closesocket, each call in progress holds its own.
struct SocketEntry {
    explicit SocketEntry(int descriptor) : fd(descriptor) {
        int domain = AF_INET;
        socklen_t length = sizeof(domain);
        if (::getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &domain, &length) == 0 && domain == AF_INET6)
            family = AddressFamily::kIpv6;
    }
    ~SocketEntry() { ::close(fd); }
    SocketEntry(const SocketEntry&) = delete;
    SocketEntry& operator=(const SocketEntry&) = delete;

    const int fd;
    AddressFamily family = AddressFamily::kIpv4;
    std::atomic<bool> closed{false};
};

using EntryPtr = std::shared_ptr<SocketEntry>;

class SocketTable {
public:
    SOCKET Add(int fd) {
        auto entry = std::make_shared<SocketEntry>(fd);
        std::lock_guard lock(mutex_);
        const SOCKET handle = nextHandle_++;
        entries_.emplace(handle, std::move(entry));
        return handle;
    }

    EntryPtr Find(SOCKET handle) {
        std::lock_guard lock(mutex_);
        auto it = entries_.find(handle);
        return it == entries_.end() ? nullptr : it->second;
    }

    EntryPtr Remove(SOCKET handle) {
        std::lock_guard lock(mutex_);
        auto it = entries_.find(handle);
        if (it == entries_.end())
            return nullptr;
        EntryPtr entry = std::move(it->second);
        entries_.erase(it);
        return entry;
    }

    std::size_t Size() {
        std::lock_guard lock(mutex_);
        return entries_.size();
    }

private:
    std::mutex mutex_;
    std::unordered_map<SOCKET, EntryPtr> entries_;
    // Far above descriptor numbers, so a raw descriptor passed by mistake is not a handle.
    SOCKET nextHandle_ = 0x10000;
};

// Never destroyed: detached workers may still close their sockets while the process exits.
SocketTable& Table() {
    static SocketTable& table = *new SocketTable;
    return table;
}

// The entry of an open handle, or null with errno = EBADF.
EntryPtr Use(SOCKET s) {
    EntryPtr entry = Table().Find(s);
    if (!entry)
        errno = EBADF;
    return entry;
}

// A blocking call that returned after closesocket ran on its handle failed because of
// that close, whatever the system said (a UDP receive woken by shutdown returns 0).
template <typename Result>
Result FailIfClosed(const SocketEntry& entry, Result result, Result failure) {
    if (entry.closed.load(std::memory_order_acquire)) {
        errno = EBADF;
        return failure;
    }
    return result;
}

int Checked(int result) {
    return result < 0 ? SOCKET_ERROR : result;
}

}  // namespace

SOCKET OpenSocket(int type, AddressFamily family) {
    const int domain = family == AddressFamily::kIpv6 ? AF_INET6 : AF_INET;
    const int fd = ::socket(domain, type | SOCK_CLOEXEC, 0);
    if (fd < 0 || RefuseIfInReserve(fd))
        return INVALID_SOCKET;
    return Table().Add(fd);
}

SOCKET AdoptSocket(int fd) {
    return fd < 0 ? INVALID_SOCKET : Table().Add(fd);
}

AddressFamily SocketFamily(SOCKET s) {
    EntryPtr entry = Table().Find(s);
    return entry ? entry->family : AddressFamily::kIpv4;
}

int closesocket(SOCKET s) {
    // The stream says goodbye first (TLS sends its close_notify while the socket still works).
    DetachStream(s);
    EntryPtr entry = Table().Remove(s);
    if (!entry) {
        errno = EBADF;
        return SOCKET_ERROR;
    }
    entry->closed.store(true, std::memory_order_release);
    // Wakes accept, recv and recvfrom blocked on the descriptor (on Linux also for
    // listening and unconnected datagram sockets, where it reports ENOTCONN but still
    // wakes). The shutdown state sticks, so a call entered just after returns at once.
    ::shutdown(entry->fd, SHUT_RDWR);
    return 0;  // the descriptor closes when the last call using it returns
}

int BindSocket(SOCKET s, const sockaddr_in& address) {
    EntryPtr entry = Use(s);
    if (!entry)
        return SOCKET_ERROR;
    return Checked(::bind(entry->fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)));
}

int ConnectSocket(SOCKET s, const sockaddr_in& address) {
    EntryPtr entry = Use(s);
    if (!entry)
        return SOCKET_ERROR;
    int result;
    do {
        result = ::connect(entry->fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    } while (result < 0 && errno == EINTR && !entry->closed.load());
    return FailIfClosed(*entry, Checked(result), SOCKET_ERROR);
}

namespace {

// A socket address as the system calls take it.
struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
    const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&storage); }
};

// The endpoint as the entry's socket takes it; nothing (errno EAFNOSUPPORT) when it cannot.
std::optional<SocketAddress> SocketAddressFor(const SocketEntry& entry, const Endpoint& endpoint) {
    SocketAddress address;
    address.length = endpoint.ToSocketAddress(address.storage, entry.family);
    if (address.length == 0) {
        errno = EAFNOSUPPORT;
        return std::nullopt;
    }
    return address;
}

}  // namespace

int BindSocket(SOCKET s, const Endpoint& address) {
    EntryPtr entry = Use(s);
    if (!entry)
        return SOCKET_ERROR;
    const auto name = SocketAddressFor(*entry, address);
    if (!name)
        return SOCKET_ERROR;
    return Checked(::bind(entry->fd, name->Get(), name->length));
}

int ConnectSocket(SOCKET s, const Endpoint& address) {
    EntryPtr entry = Use(s);
    if (!entry)
        return SOCKET_ERROR;
    const auto name = SocketAddressFor(*entry, address);
    if (!name)
        return SOCKET_ERROR;
    int result;
    do {
        result = ::connect(entry->fd, name->Get(), name->length);
    } while (result < 0 && errno == EINTR && !entry->closed.load());
    return FailIfClosed(*entry, Checked(result), SOCKET_ERROR);
}

int ListenSocket(SOCKET s, int backlog) {
    EntryPtr entry = Use(s);
    if (!entry)
        return SOCKET_ERROR;
    return Checked(::listen(entry->fd, backlog));
}

int GetSocketName(SOCKET s, sockaddr_in& address) {
    EntryPtr entry = Use(s);
    if (!entry)
        return SOCKET_ERROR;
    socklen_t length = sizeof(address);
    return Checked(::getsockname(entry->fd, reinterpret_cast<sockaddr*>(&address), &length));
}

int GetSocketEndpoint(SOCKET s, Endpoint& address) {
    EntryPtr entry = Use(s);
    if (!entry)
        return SOCKET_ERROR;
    sockaddr_storage name{};
    socklen_t length = sizeof(name);
    if (::getsockname(entry->fd, reinterpret_cast<sockaddr*>(&name), &length) != 0)
        return SOCKET_ERROR;
    address = Endpoint::FromSocketAddress(name);
    return 0;
}

int SetSocketOption(SOCKET s, int level, int option, int value) {
    EntryPtr entry = Use(s);
    if (!entry)
        return SOCKET_ERROR;
    return Checked(::setsockopt(entry->fd, level, option, &value, sizeof(value)));
}

int GetSocketOption(SOCKET s, int level, int option, int& value) {
    EntryPtr entry = Use(s);
    if (!entry)
        return SOCKET_ERROR;
    socklen_t length = sizeof(value);
    return Checked(::getsockopt(entry->fd, level, option, &value, &length));
}

int SetSocketOptionBytes(SOCKET s, int level, int option, const void* value, socklen_t length) {
    EntryPtr entry = Use(s);
    if (!entry)
        return SOCKET_ERROR;
    return Checked(::setsockopt(entry->fd, level, option, value, length));
}

SOCKET AcceptSocket(SOCKET s, Endpoint* peer, bool* refused) {
    if (refused != nullptr)
        *refused = false;
    EntryPtr entry = Use(s);
    if (!entry)
        return INVALID_SOCKET;
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    const int fd =
        ::accept4(entry->fd, reinterpret_cast<sockaddr*>(&address), &length, SOCK_CLOEXEC);
    if (fd < 0)
        return FailIfClosed(*entry, INVALID_SOCKET, INVALID_SOCKET);
    if (entry->closed.load(std::memory_order_acquire)) {
        ::close(fd);  // arrived together with our own close: nobody will serve it
        errno = EBADF;
        return INVALID_SOCKET;
    }
    if (RefuseIfInReserve(fd)) {
        if (refused != nullptr)
            *refused = true;  // taken and closed: the peer sees the close
        return INVALID_SOCKET;
    }
    if (peer != nullptr)
        *peer = Endpoint::FromSocketAddress(address);
    return Table().Add(fd);
}

int RecvSocket(SOCKET s, char* buffer, int length) {
    EntryPtr entry = Use(s);
    if (!entry)
        return SOCKET_ERROR;
    const ssize_t n = ::recv(entry->fd, buffer, static_cast<std::size_t>(length), 0);
    return FailIfClosed(*entry, Checked(static_cast<int>(n)), SOCKET_ERROR);
}

int RecvSocketNow(SOCKET s, char* buffer, int length) {
    EntryPtr entry = Use(s);
    if (!entry)
        return SOCKET_ERROR;
    const ssize_t n = ::recv(entry->fd, buffer, static_cast<std::size_t>(length), MSG_DONTWAIT);
    return FailIfClosed(*entry, Checked(static_cast<int>(n)), SOCKET_ERROR);
}

int RecvFromSocket(SOCKET s, char* buffer, int length, Endpoint* from) {
    EntryPtr entry = Use(s);
    if (!entry)
        return SOCKET_ERROR;
    sockaddr_storage address{};
    socklen_t addressLength = sizeof(address);
    const ssize_t n = ::recvfrom(entry->fd, buffer, static_cast<std::size_t>(length), 0,
                                 reinterpret_cast<sockaddr*>(&address), &addressLength);
    if (from != nullptr && n >= 0)
        *from = Endpoint::FromSocketAddress(address);
    return FailIfClosed(*entry, Checked(static_cast<int>(n)), SOCKET_ERROR);
}

namespace {

// One send on the handle's descriptor; never raises SIGPIPE.
int SendWithFlags(SOCKET s, const char* data, int length, int flags) {
    EntryPtr entry = Use(s);
    if (!entry)
        return SOCKET_ERROR;
    if (length < 0) {
        errno = EINVAL;
        return SOCKET_ERROR;
    }
    return Checked(static_cast<int>(
        ::send(entry->fd, data, static_cast<std::size_t>(length), MSG_NOSIGNAL | flags)));
}

}  // namespace

int SendSocket(SOCKET s, const char* data, int length) {
    return SendWithFlags(s, data, length, 0);
}

int SendSocketNow(SOCKET s, const char* data, int length) {
    return SendWithFlags(s, data, length, MSG_DONTWAIT);
}

int ShutdownSocket(SOCKET s, int how) {
    EntryPtr entry = Use(s);
    if (!entry)
        return SOCKET_ERROR;
    return Checked(::shutdown(entry->fd, how));
}

int WaitSocket(SOCKET s, short events, int timeoutMs) {
    EntryPtr entry = Use(s);
    if (!entry)
        return SOCKET_ERROR;
    pollfd wait{entry->fd, events, 0};
    int result;
    do {
        result = ::poll(&wait, 1, timeoutMs);
    } while (result < 0 && errno == EINTR && !entry->closed.load());
    if (result > 0)
        result = wait.revents;
    return FailIfClosed(*entry, Checked(result), SOCKET_ERROR);
}

int SendToSocket(SOCKET s, const char* data, int length, const sockaddr_in& to) {
    EntryPtr entry = Use(s);
    if (!entry)
        return SOCKET_ERROR;
    if (length < 0) {
        errno = EINVAL;
        return SOCKET_ERROR;
    }
    return Checked(
        static_cast<int>(::sendto(entry->fd, data, static_cast<std::size_t>(length), MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&to), sizeof(to))));
}

int SendToSocket(SOCKET s, const char* data, int length, const Endpoint& to) {
    EntryPtr entry = Use(s);
    if (!entry)
        return SOCKET_ERROR;
    if (length < 0) {
        errno = EINVAL;
        return SOCKET_ERROR;
    }
    const auto name = SocketAddressFor(*entry, to);
    if (!name)
        return SOCKET_ERROR;
    return Checked(static_cast<int>(::sendto(entry->fd, data, static_cast<std::size_t>(length),
                                             MSG_NOSIGNAL, name->Get(), name->length)));
}

bool IsSocketOpen(SOCKET s) {
    return Table().Find(s) != nullptr;
}

std::size_t OpenSocketCount() {
    return Table().Size();
}

bool MakeAddress(const char* dotted, std::uint16_t port, sockaddr_in& out) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (::inet_pton(AF_INET, dotted, &address.sin_addr) != 1)
        return false;
    out = address;
    return true;
}
