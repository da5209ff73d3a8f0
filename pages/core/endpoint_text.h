// "address:port" as the pages label entries and host nodes. Narrow text the program makes
// itself; FromAnsi (pages/core/ansi_text.h) turns it into a label.
#pragma once

#include <netinet/in.h>

#include <string>

// Dotted text of an IPv4 address (network order).
std::string DottedAddress(const in_addr& address);
// "address:port" with the port as given (entered ports are shown as entered).
std::string EndpointText(const std::string& address, int port);
std::string EndpointText(const in_addr& address, int port);
// "address:port" of a socket address, port in host order.
std::string EndpointText(const sockaddr_in& address);
