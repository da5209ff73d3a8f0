#include "net/udp_membership.h"

#include <errno.h>
#include <ifaddrs.h>
#include <net/if.h>

#include <cstring>
#include <string>

// Older C library headers lack it (Linux 4.20 and later have it).
#ifndef IPV6_MULTICAST_ALL
#define IPV6_MULTICAST_ALL 29
#endif

#include "text/ui_text.h"

namespace {

// 0 after a socket call that succeeded, else its errno.
int ResultOf(int callResult) {
    return callResult == SOCKET_ERROR ? (errno != 0 ? errno : EINVAL) : 0;
}

int ChangeMembership(SOCKET s, const in_addr& group, int option) {
    if (!IsMulticastGroup(group))
        return EINVAL;
    if (option == IP_ADD_MEMBERSHIP) {
        if (const int error = ReceiveOwnGroupsOnly(s))
            return error;
    }
    ip_mreq request{};
    request.imr_multiaddr = group;
    request.imr_interface.s_addr = htonl(INADDR_ANY);
    return ResultOf(SetSocketOptionBytes(s, IPPROTO_IP, option, &request, sizeof(request)));
}

int ChangeIpv6Membership(SOCKET s, const Endpoint& group, int option) {
    if (!group.IsMulticast())
        return EINVAL;
    if (SocketFamily(s) != AddressFamily::kIpv6)
        return EAFNOSUPPORT;  // an IPv4-only socket (a server without IPv6)
    if (option == IPV6_JOIN_GROUP) {
        if (const int error = ReceiveOwnGroupsOnly(s))
            return error;
    }
    ipv6_mreq request{};
    std::memcpy(&request.ipv6mr_multiaddr, group.Bytes().data(), sizeof(request.ipv6mr_multiaddr));
    request.ipv6mr_interface = group.ZoneIndex();  // 0: the system's choice by its routes
    if (!group.Zone().empty() && request.ipv6mr_interface == 0)
        return ENODEV;
    return ResultOf(SetSocketOptionBytes(s, IPPROTO_IPV6, option, &request, sizeof(request)));
}

}  // namespace

bool IsMulticastGroup(const in_addr& address) {
    return (ntohl(address.s_addr) & 0xF0000000u) == 0xE0000000u;
}

bool IsBroadcastAddress(const in_addr& address) {
    if (address.s_addr == htonl(INADDR_BROADCAST))
        return true;
    ifaddrs* interfaces = nullptr;
    if (::getifaddrs(&interfaces) != 0)
        return false;
    bool found = false;
    for (const ifaddrs* i = interfaces; i != nullptr && !found; i = i->ifa_next) {
        if ((i->ifa_flags & IFF_BROADCAST) == 0 || i->ifa_broadaddr == nullptr ||
            i->ifa_broadaddr->sa_family != AF_INET) {
            continue;
        }
        const auto* broadcast = reinterpret_cast<const sockaddr_in*>(i->ifa_broadaddr);
        found = broadcast->sin_addr.s_addr == address.s_addr;
    }
    ::freeifaddrs(interfaces);
    return found;
}

int ReceiveOwnGroupsOnly(SOCKET s) {
    // A dual-stack socket takes IPv4 groups too: both switches.
    if (const int error = ResultOf(SetSocketOption(s, IPPROTO_IP, IP_MULTICAST_ALL, 0)))
        return error;
    if (SocketFamily(s) != AddressFamily::kIpv6)
        return 0;
    const int error = ResultOf(SetSocketOption(s, IPPROTO_IPV6, IPV6_MULTICAST_ALL, 0));
    return error == ENOPROTOOPT ? 0 : error;  // a kernel too old for it hears every group
}

int EnableBroadcast(SOCKET s) {
    return ResultOf(SetSocketOption(s, SOL_SOCKET, SO_BROADCAST, 1));
}

int JoinMulticastGroup(SOCKET s, const in_addr& group) {
    return ChangeMembership(s, group, IP_ADD_MEMBERSHIP);
}

int LeaveMulticastGroup(SOCKET s, const in_addr& group) {
    return ChangeMembership(s, group, IP_DROP_MEMBERSHIP);
}

int SetMulticastSending(SOCKET s, int ttl) {
    if (ttl < 1 || ttl > 255)
        return EINVAL;
    if (SocketFamily(s) == AddressFamily::kIpv6) {
        if (const int error =
                ResultOf(SetSocketOption(s, IPPROTO_IPV6, IPV6_MULTICAST_HOPS, ttl))) {
            return error;
        }
        return ResultOf(SetSocketOption(s, IPPROTO_IPV6, IPV6_MULTICAST_LOOP, 1));
    }
    if (const int error = ResultOf(SetSocketOption(s, IPPROTO_IP, IP_MULTICAST_TTL, ttl)))
        return error;
    return ResultOf(SetSocketOption(s, IPPROTO_IP, IP_MULTICAST_LOOP, 1));
}

int AimClientSocket(SOCKET s, const in_addr& remote, int ttl) {
    if (const int error = EnableBroadcast(s))
        return error;
    if (!IsMulticastGroup(remote))
        return 0;
    if (const int error = SetMulticastSending(s, ttl))
        return error;
    const int error = JoinMulticastGroup(s, remote);
    return error == EADDRINUSE ? 0 : error;  // already a member: what was asked for
}

in_addr ClientBindAddress(const in_addr& local, const in_addr& remote) {
    if (!IsMulticastGroup(remote))
        return local;
    in_addr any{};
    any.s_addr = htonl(INADDR_ANY);
    return any;
}

std::u16string MembershipErrorText(int error) {
    switch (error) {
        case 0:
            return u"";
        case EINVAL:
            return UiText("UdpMembership",
                          "不是组播地址（224.0.0.0～239.255.255.255 或 ff00::/8）");
        case EAFNOSUPPORT:
            return UiText("UdpMembership", "套接字只有 IPv4（本机的 IPv6 不可用）");
        case EADDRINUSE:
            return UiText("UdpMembership", "已加入该组播组");
        case EADDRNOTAVAIL:
            return UiText("UdpMembership", "未加入该组播组");
        case ENODEV:
        case ENETUNREACH:
            return UiText("UdpMembership",
                          "没有可用于组播的网络接口（IPv6 组播可用 %接口 指明，如 ff02::1%eth0）");
        case ENOBUFS:
        case ENOMEM:
            return UiText("UdpMembership", "加入的组播组已达系统上限");
        case EACCES:
        case EPERM:
            return UiText("UdpMembership", "系统不允许此操作");
        case EBADF:
        case ENOTSOCK:
            return UiText("UdpMembership", "套接字已关闭");
        default:
            break;
    }
    return WithArgs(UiText("UdpMembership", "系统错误（错误码 %1）"),
                    {AsciiText(std::to_string(error))});
}

bool IsMulticastGroup(const Endpoint& address) {
    return address.IsMulticast();
}

int JoinMulticastGroup(SOCKET s, const Endpoint& group) {
    if (group.Family() == AddressFamily::kIpv6)
        return ChangeIpv6Membership(s, group, IPV6_JOIN_GROUP);
    return JoinMulticastGroup(s, group.ToSocketAddress().sin_addr);
}

int LeaveMulticastGroup(SOCKET s, const Endpoint& group) {
    if (group.Family() == AddressFamily::kIpv6)
        return ChangeIpv6Membership(s, group, IPV6_LEAVE_GROUP);
    return LeaveMulticastGroup(s, group.ToSocketAddress().sin_addr);
}

int AimClientSocket(SOCKET s, const Endpoint& remote, int ttl) {
    if (remote.Family() == AddressFamily::kIpv4)
        return AimClientSocket(s, remote.ToSocketAddress().sin_addr, ttl);
    if (const int error = EnableBroadcast(s))
        return error;
    if (!remote.IsMulticast())
        return 0;
    if (const int error = SetMulticastSending(s, ttl))
        return error;
    if (const unsigned zone = remote.ZoneIndex(); zone != 0) {
        // Sent out of the interface the zone names, as joined on it.
        if (const int error = ResultOf(
                SetSocketOption(s, IPPROTO_IPV6, IPV6_MULTICAST_IF, static_cast<int>(zone)))) {
            return error;
        }
    }
    const int error = JoinMulticastGroup(s, remote);
    return error == EADDRINUSE ? 0 : error;  // already a member: what was asked for
}

Endpoint ClientBindAddress(const Endpoint& local, const Endpoint& remote) {
    // An IPv6 remote needs an IPv6 socket, bound to ::.
    if (remote.Family() != local.Family() || remote.IsMulticast())
        return Endpoint::Any(remote.Family(), local.Port());
    return local;
}
