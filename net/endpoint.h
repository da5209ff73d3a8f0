// Endpoint: where a peer or a socket is, as a value (address family, address, port and,
// for a link-local IPv6 address, its zone). Records, registry keys, the engines, the
// dialogs' results and the labels all speak it; only net/ turns it into a socket address.
// Today every endpoint the program makes is IPv4; the type holds IPv6 already, so that the
// keys and texts built from it stay right when it comes. Free of Qt; a plain value.
#pragma once

#include <netinet/in.h>

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

enum class AddressFamily : std::uint8_t { kIpv4, kIpv6 };

class Endpoint {
public:
    // 0.0.0.0, port 0.
    Endpoint() = default;
    // An IPv4 address in host order (0x7F000001 is 127.0.0.1) and a port.
    static Endpoint Ipv4(std::uint32_t address, std::uint16_t port);
    // Dotted IPv4 text (every address, 255.255.255.255 too) and a port; nothing when the
    // text is no address.
    static std::optional<Endpoint> FromText(std::string_view address, std::uint16_t port);
    static Endpoint FromSocketAddress(const sockaddr_in& address);
    sockaddr_in ToSocketAddress() const;  // IPv4 endpoints only

    AddressFamily Family() const { return family_; }
    std::uint16_t Port() const { return port_; }
    Endpoint WithPort(std::uint16_t port) const;
    const std::string& Zone() const { return zone_; }
    // The IPv4 address in host order (0 for an IPv6 endpoint).
    std::uint32_t Ipv4Address() const;
    bool IsMulticast() const;

    // "127.0.0.1"; an IPv6 address as "::1" (with "%zone" when it has one).
    std::string AddressText() const;
    // "127.0.0.1:8888"; IPv6 in brackets, "[::1]:8888".
    std::string Text() const;

    // Every field takes part: distinct endpoints compare unequal, which keeps the keys
    // made of them apart.
    auto operator<=>(const Endpoint&) const = default;

private:
    AddressFamily family_ = AddressFamily::kIpv4;
    std::array<std::uint8_t, 16> address_{};  // network order; IPv4 in the first four bytes
    std::uint16_t port_ = 0;
    std::string zone_;
};

// The first IPv4 address of a host name or of an address's text (port 0); nothing when the
// name does not resolve. Blocks for as long as the name service takes: never on the
// user-interface thread.
std::optional<Endpoint> ResolveName(const std::string& name);

// The key a record is registered under in an engine's map: TCP records under their id,
// UDP records under an endpoint (the sender's, or the client's own). The two never share a
// map, and an endpoint key is the endpoint itself, so distinct endpoints never meet.
class ConnectKey {
public:
    ConnectKey() = default;
    ConnectKey(std::uint64_t id) : key_(id) {}                    // NOLINT: a TCP id is a key
    ConnectKey(Endpoint endpoint) : key_(std::move(endpoint)) {}  // NOLINT: so is an endpoint

    auto operator<=>(const ConnectKey&) const = default;
    bool operator==(const ConnectKey&) const = default;

private:
    std::variant<std::uint64_t, Endpoint> key_;
};
