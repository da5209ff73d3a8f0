// Reading the remote address of an address dialog (TCP client and UDP client pages) and
// the local address such a dialog offers. User-interface thread only: name resolution is
// the system's blocking one.
#pragma once

#include <netinet/in.h>

#include <QString>

// The local host's address as dotted text, empty when the host name does not resolve.
QString LocalAddressToOffer();

// The IPv4 socket address of the text typed into an address field and `port`. The text is
// read up to its first 39 characters as local text (an address is no payload, whatever
// code page the payloads are in) and resolved as a host name
// (the first IPv4 address; an empty name is the local host), else read as a dotted
// address. When that gives nothing usable, or the broadcast address, "Ip 地址有错!" is
// shown in the application's message box and the port becomes 65535.
sockaddr_in ReadRemoteAddress(const QString& typed, int port);
