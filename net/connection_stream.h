// ConnectionStream: the bytes of one TCP connection, as the receive thread and the sender
// see them. Today every stream is the plain socket; a stream that encrypts (TLS) is another
// implementation of the same calls, attached to the socket's handle once its handshake is
// done, and the two threads keep calling the same functions.
//
// Threads: the connection's receive thread calls Read and ReadNow; its sender (a sender
// thread, or the user-interface thread for a message that goes at once) calls Write and
// WriteNow; Shutdown and Close may come from any thread and wake both. Each call returns
// what the socket call of the same name returns (bytes, 0 for the peer's close on a read,
// SOCKET_ERROR with the reason in errno).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "net/socket_handle.h"

class ConnectionStream {
public:
    virtual ~ConnectionStream() = default;

    // Blocks until bytes arrive (0: the peer closed the stream).
    virtual int Read(char* buffer, int length) = 0;
    // Without waiting: SOCKET_ERROR with errno EWOULDBLOCK when nothing is waiting.
    virtual int ReadNow(char* buffer, int length) = 0;
    // One write; blocks until the system takes some of the bytes. Never raises SIGPIPE.
    virtual int Write(const char* data, int length) = 0;
    // Without waiting: what the system takes at once (SOCKET_ERROR with errno EWOULDBLOCK
    // when it takes nothing).
    virtual int WriteNow(const char* data, int length) = 0;
    // Ends sending (the peer reads the end); reading goes on.
    virtual int Shutdown() = 0;
    // Closes the connection and wakes every thread blocked on it.
    virtual int Close() = 0;

    virtual SOCKET Socket() const = 0;

    // Receive thread, before its first read: what must happen before bytes flow (a TLS
    // handshake, bounded in time). False when the connection cannot go on. Either way,
    // `notes` gets the lines the entry's log should show (the session, or why it failed).
    virtual bool Begin(std::vector<std::u16string>& /*notes*/) { return true; }
    // Receive thread, after a read returned 0 or failed: how the stream ended, for the
    // entry's log (empty: the plain close or failure says it all).
    virtual std::u16string EndNote() const { return {}; }
    // For the entry's tooltip once Begin succeeded (empty for a plain stream).
    virtual std::u16string Summary() const { return {}; }
    // closesocket is about to close the connection: a last word that costs no waiting
    // (TLS: close_notify). Any thread.
    virtual void Closing() {}
};

// The stream of the connection on `sock`: the one attached to the handle, else the plain
// socket. Any thread.
std::shared_ptr<ConnectionStream> StreamOf(SOCKET sock);
// Makes `stream` the stream of `sock` until the handle closes. Any thread.
void AttachStream(SOCKET sock, std::shared_ptr<ConnectionStream> stream);
// Forgets the stream attached to `sock`, after its Closing (closesocket does it). Any thread.
void DetachStream(SOCKET sock);
