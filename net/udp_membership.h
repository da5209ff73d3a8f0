// Broadcast and multicast on the engine's UDP sockets: what a socket needs before it can
// send to a broadcast address or a multicast group, and joining and leaving groups. Free of
// Qt. Every function may be called from any thread (the pages call them on the user-
// interface thread); each returns 0 or the errno of the failure, which
// MembershipErrorText turns into a short reason for the user.
#pragma once

#include <netinet/in.h>

#include <string>

#include "net/endpoint.h"
#include "net/socket_handle.h"

// Time-to-live of what a socket sends to a group unless the user sets another: the local
// network only.
constexpr int kDefaultMulticastTtl = 1;

// 224.0.0.0 to 239.255.255.255.
bool IsMulticastGroup(const in_addr& address);
// 255.255.255.255, or the broadcast address of one of this machine's interfaces (a
// directed broadcast such as 192.168.1.255 on 192.168.1.0/24).
bool IsBroadcastAddress(const in_addr& address);

// The socket receives datagrams sent to groups only for the groups it joined itself (by
// default Linux hands it those of every group any socket of the machine joined on its port,
// so a page that left a group would go on hearing it).
int ReceiveOwnGroupsOnly(SOCKET s);
// Lets the socket send to broadcast addresses. Harmless for any other destination, so every
// client socket gets it: a directed broadcast of a network that is not this machine's own
// cannot be recognised here, and the system refuses such a send without it (EACCES).
int EnableBroadcast(SOCKET s);
// Joins `group` on every interface the system picks (interface any), and from then on the
// socket hears only its own groups (ReceiveOwnGroupsOnly). EINVAL for an address
// outside 224.0.0.0/4, EADDRINUSE when the socket is already a member.
int JoinMulticastGroup(SOCKET s, const in_addr& group);
// Leaves `group`. EINVAL outside 224.0.0.0/4, EADDRNOTAVAIL when the socket is no member.
int LeaveMulticastGroup(SOCKET s, const in_addr& group);
// What the socket sends to groups: time-to-live `ttl` (1 to 255), and looped back to this
// machine's own members, so that two endpoints of one machine hear each other.
int SetMulticastSending(SOCKET s, int ttl = kDefaultMulticastTtl);

// A UDP client socket about to talk to `remote`: broadcast enabled always; for a group,
// joined to it and set up to send to it with `ttl`. The socket must be bound to the
// any-address (ClientBindAddress) to receive the group's datagrams.
int AimClientSocket(SOCKET s, const in_addr& remote, int ttl = kDefaultMulticastTtl);
// The address a UDP client endpoint binds: the any-address when it talks to a group (a
// socket bound to a unicast address never receives a group's datagrams), else `local`.
in_addr ClientBindAddress(const in_addr& local, const in_addr& remote);

// The same for endpoints of either family (the port is not looked at), for the pages, which
// never handle socket addresses. An IPv6 group (ff00::/8) is joined on the interface its zone
// names, or on the one the system's routes pick; only an IPv6 socket (a dual-stack server
// socket among them) joins one: EAFNOSUPPORT on an IPv4 socket. A client aimed at an IPv6 group
// sends out of its zone's interface, with `ttl` as its hop limit.
bool IsMulticastGroup(const Endpoint& address);
int JoinMulticastGroup(SOCKET s, const Endpoint& group);
int LeaveMulticastGroup(SOCKET s, const Endpoint& group);
int AimClientSocket(SOCKET s, const Endpoint& remote, int ttl = kDefaultMulticastTtl);
// `local` with the address ClientBindAddress gives for `remote`: the any-address of the
// remote's family for a group or an IPv6 remote.
Endpoint ClientBindAddress(const Endpoint& local, const Endpoint& remote);

// A short reason, in the program's language, why a join, a leave or an aim failed (for a
// message such as "加入组播组失败：" followed by it).
std::u16string MembershipErrorText(int error);
