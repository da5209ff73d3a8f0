// Endpoint: where a peer or a socket is, as a value (address family, address, port and,
// for a link-local IPv6 address, its zone). Records, registry keys, the engines, the
// dialogs' results and the labels all speak it; only net/ turns it into a socket address.
// An IPv4 address that reaches a dual-stack socket as ::ffff:a.b.c.d is made an IPv4
// endpoint, so a peer is the same endpoint whichever socket heard it. Free of Qt; a plain
// value.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

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
    // An IPv6 address (16 bytes, network order) with its zone (an interface name or
    // number, empty for none) and a port.
    static Endpoint Ipv6(const std::array<std::uint8_t, 16>& address, std::uint16_t port,
                         std::string zone = {});
    // The any-address of a family (0.0.0.0 or ::) and a port.
    static Endpoint Any(AddressFamily family, std::uint16_t port);
    // Dotted IPv4 text (every address, 255.255.255.255 too), or IPv6 text ("::1",
    // "fe80::1%eth0", in brackets or not; ::ffff:a.b.c.d is the IPv4 address), and a port;
    // nothing when the text is no address.
    static std::optional<Endpoint> FromText(std::string_view address, std::uint16_t port);
    static Endpoint FromSocketAddress(const sockaddr_in& address);
    static Endpoint FromSocketAddress(const sockaddr_in6& address);
    // Either family (what accept and recvfrom fill in); 0.0.0.0 for any other.
    static Endpoint FromSocketAddress(const sockaddr_storage& address);
    sockaddr_in ToSocketAddress() const;  // IPv4 endpoints only
    // The socket address for a socket of `socketFamily`: on an IPv6 socket an IPv4 endpoint
    // is ::ffff:a.b.c.d. Returns its length (0 when an IPv6 endpoint meets an IPv4 socket).
    // The zone becomes the scope id (0 when no interface has that name).
    socklen_t ToSocketAddress(sockaddr_storage& out, AddressFamily socketFamily) const;

    AddressFamily Family() const { return family_; }
    std::uint16_t Port() const { return port_; }
    Endpoint WithPort(std::uint16_t port) const;
    const std::string& Zone() const { return zone_; }
    // The IPv4 address in host order (0 for an IPv6 endpoint).
    std::uint32_t Ipv4Address() const;
    // 224.0.0.0/4, or ff00::/8.
    bool IsMulticast() const;
    // fe80::/10: an address that means something only with an interface (its zone). A
    // group of link scope takes a zone too, but goes out on the system's choice without.
    bool NeedsZone() const;
    // The interface index the zone names (0 for none, or no such interface).
    unsigned ZoneIndex() const;
    // The 16 bytes of the address (IPv4 in the first four).
    const std::array<std::uint8_t, 16>& Bytes() const { return address_; }

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

// The address of a host name or of an address's text (port 0): an IPv6 literal as it is,
// else the name's first IPv4 address, else its first IPv6 one; nothing when the name does
// not resolve. Blocks for as long as the name service takes: never on the user-interface
// thread.
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
