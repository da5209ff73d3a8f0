#include "net/endpoint.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <cstring>

Endpoint Endpoint::Ipv4(std::uint32_t address, std::uint16_t port) {
    Endpoint endpoint;
    const std::uint32_t network = htonl(address);
    std::memcpy(endpoint.address_.data(), &network, sizeof(network));
    endpoint.port_ = port;
    return endpoint;
}

std::optional<Endpoint> Endpoint::FromText(std::string_view address, std::uint16_t port) {
    const std::string text(address);
    in_addr parsed{};
    if (::inet_pton(AF_INET, text.c_str(), &parsed) != 1)
        return std::nullopt;
    return Ipv4(ntohl(parsed.s_addr), port);
}

Endpoint Endpoint::FromSocketAddress(const sockaddr_in& address) {
    return Ipv4(ntohl(address.sin_addr.s_addr), ntohs(address.sin_port));
}

sockaddr_in Endpoint::ToSocketAddress() const {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port_);
    address.sin_addr.s_addr = htonl(Ipv4Address());
    return address;
}

Endpoint Endpoint::WithPort(std::uint16_t port) const {
    Endpoint endpoint = *this;
    endpoint.port_ = port;
    return endpoint;
}

std::uint32_t Endpoint::Ipv4Address() const {
    if (family_ != AddressFamily::kIpv4)
        return 0;
    std::uint32_t network = 0;
    std::memcpy(&network, address_.data(), sizeof(network));
    return ntohl(network);
}

bool Endpoint::IsMulticast() const {
    if (family_ == AddressFamily::kIpv6)
        return address_[0] == 0xFF;
    return (Ipv4Address() >> 28) == 0xE;
}

std::string Endpoint::AddressText() const {
    char text[INET6_ADDRSTRLEN] = {};
    if (family_ == AddressFamily::kIpv4) {
        ::inet_ntop(AF_INET, address_.data(), text, sizeof(text));
        return text;
    }
    ::inet_ntop(AF_INET6, address_.data(), text, sizeof(text));
    return zone_.empty() ? std::string(text) : std::string(text) + "%" + zone_;
}

std::string Endpoint::Text() const {
    const std::string port = std::to_string(port_);
    if (family_ == AddressFamily::kIpv6)
        return "[" + AddressText() + "]:" + port;
    return AddressText() + ":" + port;
}

std::optional<Endpoint> ResolveName(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &found) == 0 && found != nullptr) {
        const Endpoint first =
            Endpoint::FromSocketAddress(*reinterpret_cast<const sockaddr_in*>(found->ai_addr));
        ::freeaddrinfo(found);
        return first.WithPort(0);
    }
    return Endpoint::FromText(name, 0);
}
