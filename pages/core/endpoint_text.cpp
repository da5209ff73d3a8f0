#include "pages/core/endpoint_text.h"

std::string EndpointText(const std::string& address, int port) {
    return address + ":" + std::to_string(port);
}

std::string EndpointText(const Endpoint& address) {
    return address.Text();
}

std::string EndpointText(const Endpoint& address, int port) {
    const std::string text = address.AddressText();
    return EndpointText(address.Family() == AddressFamily::kIpv6 ? "[" + text + "]" : text, port);
}
