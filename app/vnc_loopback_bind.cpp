// Preloaded into the program by tools/run-app.sh when there is no display. Qt's VNC platform
// listens on every address, and its screen, which asks no password, must not be reachable
// from the network: a bind to the any-address on the port in WIRELARK_VNC_PORT becomes a bind
// to the loopback address. Every other bind goes through unchanged.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdlib>
#include <cstring>

namespace {

using BindFunction = int (*)(int, const sockaddr*, socklen_t);

int VncPort() {
    static const int port = [] {
        const char* value = std::getenv("WIRELARK_VNC_PORT");
        return value ? std::atoi(value) : -1;
    }();
    return port;
}

}  // namespace

extern "C" int bind(int fd, const sockaddr* address, socklen_t length) {
    static const auto next = reinterpret_cast<BindFunction>(dlsym(RTLD_NEXT, "bind"));
    const int port = VncPort();
    if (address != nullptr && port > 0) {
        if (address->sa_family == AF_INET && length >= sizeof(sockaddr_in)) {
            sockaddr_in in{};
            std::memcpy(&in, address, sizeof in);
            if (ntohs(in.sin_port) == port && in.sin_addr.s_addr == htonl(INADDR_ANY)) {
                in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                return next(fd, reinterpret_cast<const sockaddr*>(&in), sizeof in);
            }
        } else if (address->sa_family == AF_INET6 && length >= sizeof(sockaddr_in6)) {
            sockaddr_in6 in6{};
            std::memcpy(&in6, address, sizeof in6);
            if (ntohs(in6.sin6_port) == port &&
                std::memcmp(&in6.sin6_addr, &in6addr_any, sizeof in6.sin6_addr) == 0) {
                // A dual-stack socket: the IPv4 loopback address, mapped.
                inet_pton(AF_INET6, "::ffff:127.0.0.1", &in6.sin6_addr);
                return next(fd, reinterpret_cast<const sockaddr*>(&in6), sizeof in6);
            }
        }
    }
    return next(fd, address, length);
}
