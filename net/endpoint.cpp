#include "net/endpoint.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netdb.h>

#include <algorithm>
#include <charconv>
#include <cstring>

namespace {

// ::ffff:a.b.c.d, the form an IPv4 peer takes on a dual-stack socket.
bool IsMappedIpv4(const std::uint8_t* bytes) {
    static constexpr std::uint8_t kPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    return std::memcmp(bytes, kPrefix, sizeof(kPrefix)) == 0;
}

std::string ZoneOf(std::uint32_t scopeId) {
    if (scopeId == 0)
        return {};
    char name[IF_NAMESIZE] = {};
    if (::if_indextoname(scopeId, name) != nullptr)
        return name;
    return std::to_string(scopeId);
}

}  // namespace

Endpoint Endpoint::Ipv4(std::uint32_t address, std::uint16_t port) {
    Endpoint endpoint;
    const std::uint32_t network = htonl(address);
    std::memcpy(endpoint.address_.data(), &network, sizeof(network));
    endpoint.port_ = port;
    return endpoint;
}

Endpoint Endpoint::Ipv6(const std::array<std::uint8_t, 16>& address, std::uint16_t port,
                        std::string zone) {
    Endpoint endpoint;
    endpoint.family_ = AddressFamily::kIpv6;
    endpoint.address_ = address;
    endpoint.port_ = port;
    endpoint.zone_ = std::move(zone);
    return endpoint;
}

Endpoint Endpoint::Any(AddressFamily family, std::uint16_t port) {
    return family == AddressFamily::kIpv6 ? Ipv6({}, port) : Ipv4(INADDR_ANY, port);
}

std::optional<Endpoint> Endpoint::FromText(std::string_view address, std::uint16_t port) {
    if (address.size() >= 2 && address.front() == '[' && address.back() == ']')
        address = address.substr(1, address.size() - 2);
    if (address.find(':') == std::string_view::npos) {
        const std::string text(address);
        in_addr parsed{};
        if (::inet_pton(AF_INET, text.c_str(), &parsed) != 1)
            return std::nullopt;
        return Ipv4(ntohl(parsed.s_addr), port);
    }
    std::string zone;
    if (const auto percent = address.find('%'); percent != std::string_view::npos) {
        zone = std::string(address.substr(percent + 1));
        address = address.substr(0, percent);
        if (zone.empty() || zone.size() >= IF_NAMESIZE ||
            zone.find_first_of(" \t%[]") != std::string::npos) {
            return std::nullopt;
        }
    }
    const std::string text(address);
    in6_addr parsed{};
    if (::inet_pton(AF_INET6, text.c_str(), &parsed) != 1)
        return std::nullopt;
    sockaddr_in6 socketAddress{};
    socketAddress.sin6_family = AF_INET6;
    socketAddress.sin6_addr = parsed;
    socketAddress.sin6_port = htons(port);
    Endpoint endpoint = FromSocketAddress(socketAddress);
    if (endpoint.family_ == AddressFamily::kIpv6)
        endpoint.zone_ = std::move(zone);
    return endpoint;
}

Endpoint Endpoint::FromSocketAddress(const sockaddr_in& address) {
    return Ipv4(ntohl(address.sin_addr.s_addr), ntohs(address.sin_port));
}

Endpoint Endpoint::FromSocketAddress(const sockaddr_in6& address) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&address.sin6_addr);
    if (IsMappedIpv4(bytes)) {
        std::uint32_t network = 0;
        std::memcpy(&network, bytes + 12, sizeof(network));
        return Ipv4(ntohl(network), ntohs(address.sin6_port));
    }
    std::array<std::uint8_t, 16> copy{};
    std::memcpy(copy.data(), bytes, copy.size());
    return Ipv6(copy, ntohs(address.sin6_port), ZoneOf(address.sin6_scope_id));
}

Endpoint Endpoint::FromSocketAddress(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET6)
        return FromSocketAddress(reinterpret_cast<const sockaddr_in6&>(address));
    if (address.ss_family == AF_INET)
        return FromSocketAddress(reinterpret_cast<const sockaddr_in&>(address));
    return Endpoint();
}

sockaddr_in Endpoint::ToSocketAddress() const {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port_);
    address.sin_addr.s_addr = htonl(Ipv4Address());
    return address;
}

socklen_t Endpoint::ToSocketAddress(sockaddr_storage& out, AddressFamily socketFamily) const {
    out = sockaddr_storage{};
    if (socketFamily == AddressFamily::kIpv4) {
        if (family_ != AddressFamily::kIpv4)
            return 0;
        reinterpret_cast<sockaddr_in&>(out) = ToSocketAddress();
        return sizeof(sockaddr_in);
    }
    auto& address = reinterpret_cast<sockaddr_in6&>(out);
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(port_);
    auto* bytes = reinterpret_cast<std::uint8_t*>(&address.sin6_addr);
    if (family_ == AddressFamily::kIpv4) {
        // The any-address stays the any-address (::), which takes IPv4 as well.
        if (Ipv4Address() != INADDR_ANY) {
            bytes[10] = 0xFF;
            bytes[11] = 0xFF;
            std::memcpy(bytes + 12, address_.data(), 4);
        }
    } else {
        std::memcpy(bytes, address_.data(), address_.size());
        address.sin6_scope_id = ZoneIndex();
    }
    return sizeof(sockaddr_in6);
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

bool Endpoint::NeedsZone() const {
    if (family_ != AddressFamily::kIpv6)
        return false;
    return address_[0] == 0xFE && (address_[1] & 0xC0) == 0x80;
}

unsigned Endpoint::ZoneIndex() const {
    if (zone_.empty())
        return 0;
    unsigned number = 0;
    const char* end = zone_.data() + zone_.size();
    if (auto [rest, error] = std::from_chars(zone_.data(), end, number);
        error == std::errc() && rest == end) {
        return number;
    }
    return ::if_nametoindex(zone_.c_str());
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
    // An IPv6 literal (brackets and zone included) needs no name service.
    if (name.find(':') != std::string::npos)
        return Endpoint::FromText(name, 0);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;  // one entry per address, not one per socket type
    addrinfo* found = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &found) == 0 && found != nullptr) {
        // IPv4 first when the name has both, as before IPv6 was spoken; else the first IPv6.
        std::optional<Endpoint> first;
        for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
            if (entry->ai_family != AF_INET && entry->ai_family != AF_INET6)
                continue;
            sockaddr_storage address{};
            std::memcpy(&address, entry->ai_addr,
                        std::min<std::size_t>(entry->ai_addrlen, sizeof(address)));
            const Endpoint endpoint = Endpoint::FromSocketAddress(address).WithPort(0);
            if (endpoint.Family() == AddressFamily::kIpv4) {
                first = endpoint;
                break;
            }
            if (!first)
                first = endpoint;
        }
        ::freeaddrinfo(found);
        if (first)
            return first;
    }
    return Endpoint::FromText(name, 0);
}
