#include "net/dual_stack.h"

#include <errno.h>
#include <ifaddrs.h>
#include <net/if.h>

namespace {

// Opens, prepares and binds one socket of `family`; INVALID_SOCKET with errno on failure.
SOCKET OpenBound(int type, AddressFamily family, std::uint16_t port,
                 const std::function<int(SOCKET)>& prepare) {
    const SOCKET s = OpenSocket(type, family);
    if (s == INVALID_SOCKET)
        return INVALID_SOCKET;
    const bool ready = (family == AddressFamily::kIpv4 ||
                        SetSocketOption(s, IPPROTO_IPV6, IPV6_V6ONLY, 0) != SOCKET_ERROR) &&
                       (!prepare || prepare(s) != SOCKET_ERROR) &&
                       BindSocket(s, Endpoint::Any(family, port)) != SOCKET_ERROR;
    if (!ready) {
        const int error = errno;
        closesocket(s);
        errno = error;
        return INVALID_SOCKET;
    }
    return s;
}

}  // namespace

SOCKET OpenServerSocket(int type, std::uint16_t port, const std::function<int(SOCKET)>& prepare,
                        int& ipv6Error) {
    const SOCKET both = OpenBound(type, AddressFamily::kIpv6, port, prepare);
    if (both != INVALID_SOCKET) {
        // The socket takes IPv6, but a machine with IPv6 switched off has no address to be
        // reached on.
        ipv6Error = LocalIpv6Addresses().empty() ? EADDRNOTAVAIL : 0;
        return both;
    }
    ipv6Error = errno != 0 ? errno : EAFNOSUPPORT;
    // The IPv4 socket's failure is the one reported: it is what the user can act on.
    return OpenBound(type, AddressFamily::kIpv4, port, prepare);
}

std::vector<Endpoint> LocalIpv6Addresses() {
    std::vector<Endpoint> found;
    std::vector<Endpoint> loopback;
    ifaddrs* interfaces = nullptr;
    if (::getifaddrs(&interfaces) != 0)
        return found;
    for (const ifaddrs* entry = interfaces; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET6 ||
            (entry->ifa_flags & IFF_UP) == 0) {
            continue;
        }
        const Endpoint address =
            Endpoint::FromSocketAddress(*reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr));
        ((entry->ifa_flags & IFF_LOOPBACK) != 0 ? loopback : found).push_back(address);
    }
    ::freeifaddrs(interfaces);
    found.insert(found.end(), loopback.begin(), loopback.end());
    return found;
}

int Ipv6Obstacle(const Endpoint& target) {
    if (target.Family() != AddressFamily::kIpv6)
        return 0;
    if (target.NeedsZone() && target.ZoneIndex() == 0)
        return EINVAL;
    return LocalIpv6Addresses().empty() ? EADDRNOTAVAIL : 0;
}
