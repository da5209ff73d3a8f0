// Item data of every page's host node: the page's own server socket or local endpoint.
#pragma once

#include <string>

#include "net/socket_handle.h"

struct HostInfo {
    int port = 0;         // the chosen port; below 1 until one is chosen
    std::string address;  // local IPv4 address text (ANSI), also the node's label
    SOCKET sock = INVALID_SOCKET;
    std::string labelSuffix;  // after the address (and port) in the label: " (TLS)"

    // The host node's socket is open (listening or bound).
    bool IsOpen() const { return sock != INVALID_SOCKET; }
};
