// IPv4 socket addresses for the engine tests (loopback only), and a peer's blocking send.
#pragma once

#include <errno.h>

#include <cstdint>

#include "net/socket_handle.h"

inline sockaddr_in AddressOf(const char* dotted, std::uint16_t port) {
    sockaddr_in address{};
    MakeAddress(dotted, port, address);
    return address;
}

inline sockaddr_in Loopback(std::uint16_t port) {
    return AddressOf("127.0.0.1", port);
}

// The same as the endpoint records and engines use.
inline Endpoint EndpointOf(const char* dotted, std::uint16_t port) {
    return Endpoint::FromSocketAddress(AddressOf(dotted, port));
}

// Sends the whole buffer as a test's peer does (repeating partial sends): len, or
// SOCKET_ERROR.
inline int SendAll(SOCKET s, const char* data, int len) {
    int total = 0;
    while (total < len) {
        const int sent = SendSocket(s, data + total, len - total);
        if (sent == SOCKET_ERROR) {
            if (errno == EINTR)
                continue;
            return SOCKET_ERROR;
        }
        total += sent;
    }
    return total;
}
