// IPv4 and IPv6 side by side. The socket of a server page (TCP listening or UDP): one socket
// for both families where the system allows it, an IPv6 socket on :: that takes IPv4 peers
// as ::ffff:a.b.c.d (IPV6_V6ONLY off); else an IPv4 socket on 0.0.0.0, and the reason IPv6
// could not be had. And what this machine's IPv6 can reach. Any thread; nothing blocks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/endpoint.h"
#include "net/socket_handle.h"

// Opens a socket of `type` (SOCK_STREAM or SOCK_DGRAM) bound to the any-address and `port`.
// `prepare` runs on the socket before it is bound (options; SOCKET_ERROR with errno to give
// up on it). `ipv6Error` becomes 0 when the socket serves IPv6 peers too, else why it does
// not (an errno: EAFNOSUPPORT when the system has no IPv6, EADDRNOTAVAIL when IPv6 is
// switched off). INVALID_SOCKET with the reason in errno when not even IPv4 could be had;
// nothing is left open then.
SOCKET OpenServerSocket(int type, std::uint16_t port, const std::function<int(SOCKET)>& prepare,
                        int& ipv6Error);

// The machine's IPv6 addresses on interfaces that are up, loopback last (empty when IPv6
// is missing or switched off).
std::vector<Endpoint> LocalIpv6Addresses();

// Why a socket of this machine cannot talk to the IPv6 endpoint `target` (an errno), 0 when
// nothing stands in the way (or `target` is IPv4): EADDRNOTAVAIL when the machine has no IPv6
// address (IPv6 missing or switched off), EINVAL for a link-local address without a zone
// that names an interface of this machine.
int Ipv6Obstacle(const Endpoint& target);
