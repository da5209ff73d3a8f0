// "address:port" as the pages label entries and host nodes. Narrow text the program makes
// itself; FromAnsi (pages/core/ansi_text.h) turns it into a label.
#pragma once

#include <string>

#include "net/endpoint.h"

// "address:port" with the port as given (entered ports are shown as entered).
std::string EndpointText(const std::string& address, int port);
// "address:port" of an endpoint ("[address]:port" for IPv6), and the same with the port
// as entered.
std::string EndpointText(const Endpoint& address);
std::string EndpointText(const Endpoint& address, int port);
