#include "pages/core/endpoint_text.h"

#include <arpa/inet.h>

std::string DottedAddress(const in_addr& address) {
    char dotted[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, dotted, sizeof dotted);
    return dotted;
}

std::string EndpointText(const std::string& address, int port) {
    return address + ":" + std::to_string(port);
}

std::string EndpointText(const in_addr& address, int port) {
    return EndpointText(DottedAddress(address), port);
}

std::string EndpointText(const Endpoint& address) {
    return address.Text();
}

std::string EndpointText(const Endpoint& address, int port) {
    const std::string text = address.AddressText();
    return EndpointText(address.Family() == AddressFamily::kIpv6 ? "[" + text + "]" : text, port);
}
