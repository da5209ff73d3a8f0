#include "net/connection_stream.h"

#include <sys/socket.h>

#include <mutex>
#include <unordered_map>

namespace {

// The socket itself: each call is the socket call of the same name.
class PlainStream final : public ConnectionStream {
public:
    explicit PlainStream(SOCKET sock) : sock_(sock) {}

    int Read(char* buffer, int length) override { return RecvSocket(sock_, buffer, length); }
    int ReadNow(char* buffer, int length) override { return RecvSocketNow(sock_, buffer, length); }
    int Write(const char* data, int length) override { return SendSocket(sock_, data, length); }
    int WriteNow(const char* data, int length) override {
        return SendSocketNow(sock_, data, length);
    }
    int Shutdown() override { return ShutdownSocket(sock_, SHUT_WR); }
    int Close() override { return closesocket(sock_); }
    SOCKET Socket() const override { return sock_; }

private:
    const SOCKET sock_;
};

std::mutex g_attachedMutex;
// Streams other than the plain socket, by handle; guarded by g_attachedMutex.
std::unordered_map<SOCKET, std::shared_ptr<ConnectionStream>>& Attached() {
    // Never destroyed: detached workers may still look up streams while the process exits.
    static auto& attached = *new std::unordered_map<SOCKET, std::shared_ptr<ConnectionStream>>;
    return attached;
}

}  // namespace

std::shared_ptr<ConnectionStream> StreamOf(SOCKET sock) {
    {
        std::lock_guard lock(g_attachedMutex);
        const auto found = Attached().find(sock);
        if (found != Attached().end())
            return found->second;
    }
    return std::make_shared<PlainStream>(sock);
}

void AttachStream(SOCKET sock, std::shared_ptr<ConnectionStream> stream) {
    std::lock_guard lock(g_attachedMutex);
    Attached()[sock] = std::move(stream);
}

void DetachStream(SOCKET sock) {
    std::shared_ptr<ConnectionStream> detached;
    {
        std::lock_guard lock(g_attachedMutex);
        const auto found = Attached().find(sock);
        if (found == Attached().end())
            return;
        detached = std::move(found->second);
        Attached().erase(found);
    }
    detached->Closing();  // without the table's mutex: it writes to the socket
}
