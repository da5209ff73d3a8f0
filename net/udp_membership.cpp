#include "net/udp_membership.h"

#include <errno.h>
#include <ifaddrs.h>
#include <net/if.h>

#include <string>

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
    return ResultOf(SetSocketOption(s, IPPROTO_IP, IP_MULTICAST_ALL, 0));
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
            return UiText("UdpMembership", "不是组播地址（224.0.0.0～239.255.255.255）");
        case EADDRINUSE:
            return UiText("UdpMembership", "已加入该组播组");
        case EADDRNOTAVAIL:
            return UiText("UdpMembership", "未加入该组播组");
        case ENODEV:
        case ENETUNREACH:
            return UiText("UdpMembership", "没有可用于组播的网络接口");
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
    return address.Family() == AddressFamily::kIpv4 &&
           IsMulticastGroup(address.ToSocketAddress().sin_addr);
}

int JoinMulticastGroup(SOCKET s, const Endpoint& group) {
    return JoinMulticastGroup(s, group.ToSocketAddress().sin_addr);
}

int LeaveMulticastGroup(SOCKET s, const Endpoint& group) {
    return LeaveMulticastGroup(s, group.ToSocketAddress().sin_addr);
}

int AimClientSocket(SOCKET s, const Endpoint& remote, int ttl) {
    return AimClientSocket(s, remote.ToSocketAddress().sin_addr, ttl);
}

Endpoint ClientBindAddress(const Endpoint& local, const Endpoint& remote) {
    sockaddr_in bound = local.ToSocketAddress();
    bound.sin_addr = ClientBindAddress(bound.sin_addr, remote.ToSocketAddress().sin_addr);
    return Endpoint::FromSocketAddress(bound);
}
