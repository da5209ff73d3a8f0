// Why a socket operation failed, in words for the user: one short line in the interface's
// language (text/ui_text.h), shown as the second line of the page's message under its fixed
// text. Free of Qt; the engine leaves the reason in errno and never shows anything itself.
#pragma once

#include <string>
#include <string_view>

#include "net/endpoint.h"

enum class SocketOperation {
    kStartServer,   // a server page's socket (TCP or UDP): bind, listen, its worker thread
    kBindUdp,       // a UDP client's local port
    kSendDatagram,  // one datagram sent from a UDP socket
    kConnect,       // a TCP client's connect
    kAccept,        // a TCP server taking a peer's connection
};

// The reason line for `error` (an errno value) after `operation` failed, towards an address
// of `family` (IPv6 has causes of its own). Never empty: an error without words of its own
// gives its number.
std::u16string SocketErrorReason(SocketOperation operation, int error,
                                 AddressFamily family = AddressFamily::kIpv4);

// `message`, a line feed and the reason line: the text of the page's message box.
std::u16string MessageWithReason(std::u16string_view message, SocketOperation operation, int error,
                                 AddressFamily family = AddressFamily::kIpv4);
