// IPv4 socket addresses for the engine tests (loopback only).
#pragma once

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
