// Winsock-like socket handles over POSIX sockets.
//
// A SOCKET is a handle, not a descriptor: handle values come from a counter and are never
// reused, and the descriptor behind a handle stays open until the last thread using it has
// left its call. That gives two guarantees the workers rely on:
//  - closesocket wakes every thread blocked in AcceptSocket, RecvSocket or RecvFromSocket
//    on that handle; those calls then return SOCKET_ERROR (never 0), so a receive thread can
//    tell the program's own close from a peer's close or from an empty datagram;
//  - a worker holding an old handle can never read from, or close, a socket that took the
//    place of the one it served: calls on a closed handle fail with SOCKET_ERROR.
// Every function may be called from any thread. Failures return INVALID_SOCKET or
// SOCKET_ERROR and leave the reason in errno (EBADF for a handle that is closed or unknown).
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstddef>
#include <cstdint>

#include "net/endpoint.h"

using SOCKET = std::intptr_t;
constexpr SOCKET INVALID_SOCKET = -1;
constexpr int SOCKET_ERROR = -1;

// Creates a socket of `family`: type is SOCK_STREAM (TCP) or SOCK_DGRAM (UDP). Fails with
// EMFILE when only the descriptors kept for the window are left, EAFNOSUPPORT when the
// machine has no IPv6.
SOCKET OpenSocket(int type, AddressFamily family = AddressFamily::kIpv4);
// Takes over an open socket descriptor (one connected elsewhere) as a new handle.
SOCKET AdoptSocket(int fd);
// The family the handle's socket was made for (IPv4 for a closed handle). An IPv6 socket
// takes IPv4 endpoints too, as ::ffff:a.b.c.d, when it is dual-stack.
AddressFamily SocketFamily(SOCKET s);
// Closes the handle and wakes every thread blocked on it. 0, or SOCKET_ERROR if the handle
// was not open (closing twice is harmless).
int closesocket(SOCKET s);

// Each returns 0 on success, SOCKET_ERROR on failure.
int BindSocket(SOCKET s, const sockaddr_in& address);
int ConnectSocket(SOCKET s, const sockaddr_in& address);  // blocks until connected or refused
// The same for endpoints of either family, as the socket's family takes them (EAFNOSUPPORT
// for an IPv6 endpoint on an IPv4 socket).
int BindSocket(SOCKET s, const Endpoint& address);
int ConnectSocket(SOCKET s, const Endpoint& address);
int ListenSocket(SOCKET s, int backlog);
int GetSocketName(SOCKET s, sockaddr_in& address);
// The same as an endpoint.
int GetSocketEndpoint(SOCKET s, Endpoint& address);
int SetSocketOption(SOCKET s, int level, int option, int value);
// The same for options whose value is a structure (ip_mreq and the like).
int SetSocketOptionBytes(SOCKET s, int level, int option, const void* value, socklen_t length);
// Reads an int-valued option into `value`.
int GetSocketOption(SOCKET s, int level, int option, int& value);

// Blocks until a connection arrives; returns a new handle and fills `peer` (an IPv4 peer of
// a dual-stack socket as IPv4). A connection
// that would take one of the descriptors kept for the window (net/descriptor_reserve.h) is
// closed at once: INVALID_SOCKET, errno EMFILE and `refused` set.
SOCKET AcceptSocket(SOCKET s, Endpoint* peer, bool* refused = nullptr);
// Bytes received (0: the peer closed the stream), or SOCKET_ERROR.
int RecvSocket(SOCKET s, char* buffer, int length);
// The same without waiting: SOCKET_ERROR with errno EWOULDBLOCK when nothing is waiting.
// For a receive thread that takes what arrived meanwhile along with what it just read.
int RecvSocketNow(SOCKET s, char* buffer, int length);
// Bytes of one datagram (0 is a real empty datagram), or SOCKET_ERROR. A datagram longer
// than `length` is cut to it.
int RecvFromSocket(SOCKET s, char* buffer, int length, Endpoint* from);
// One send call; never raises SIGPIPE (a vanished peer gives SOCKET_ERROR).
int SendSocket(SOCKET s, const char* data, int length);
// The same without waiting: what the system takes at once (SOCKET_ERROR with errno
// EWOULDBLOCK when it takes nothing).
int SendSocketNow(SOCKET s, const char* data, int length);
// shutdown(2) on the handle's socket (SHUT_WR: the peer reads the end).
int ShutdownSocket(SOCKET s, int how);
// Waits until the socket is ready for `events` (POLLIN, POLLOUT) or `timeoutMs` passed (-1:
// no limit): the events that came (POLLHUP and POLLERR among them), 0 on time-out, or
// SOCKET_ERROR (EBADF once closesocket ran on the handle, which also wakes the wait).
int WaitSocket(SOCKET s, short events, int timeoutMs);
int SendToSocket(SOCKET s, const char* data, int length, const sockaddr_in& to);
int SendToSocket(SOCKET s, const char* data, int length, const Endpoint& to);

// True until closesocket has run on the handle.
bool IsSocketOpen(SOCKET s);

// Handles currently open, for leak checks in tests.
std::size_t OpenSocketCount();

// An IPv4 address from dotted text and a host-order port; false if the text is no address.
bool MakeAddress(const char* dotted, std::uint16_t port, sockaddr_in& out);
