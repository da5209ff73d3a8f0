// TlsStream: a TCP connection's stream through TLS (OpenSSL 3). Attached to the socket's
// handle as soon as the connection exists (AttachStream), so the receive thread and the
// sender find it; the receive thread runs the handshake (Begin) before its first read, with
// a time limit, and writes wait until it is done. Free of Qt.
//
// Threads: the receive thread reads, a sender (or the user-interface thread, without
// waiting) writes, at the same time. One mutex guards the session; it is held only for
// calls that never wait (the session's bytes pass through memory buffers and the socket is
// read and written without waiting), and every wait for the socket happens without it, so
// neither side can hold up the other, and closesocket wakes both.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "net/connection_stream.h"
#include "net/tls_context.h"

struct ssl_st;
struct bio_st;

class TlsStream final : public ConnectionStream {
public:
    static constexpr std::chrono::seconds kHandshakeLimit{10};

    // A server's side of the connection on `sock`.
    static std::shared_ptr<TlsStream> ForServer(SOCKET sock, std::shared_ptr<TlsContext> context);
    // A client's side: `host` is the name typed (sent as SNI unless it is an address, and
    // what the certificate is checked against); `enforceVerify` ends the connection when the
    // certificate fails verification (otherwise the failure is only shown).
    static std::shared_ptr<TlsStream> ForClient(SOCKET sock, std::shared_ptr<TlsContext> context,
                                                const std::string& host, bool enforceVerify);
    ~TlsStream() override;

    int Read(char* buffer, int length) override;
    int ReadNow(char* buffer, int length) override;
    // A write that returns SOCKET_ERROR (EWOULDBLOCK) or fewer bytes than given may already
    // have taken some of them: the next write must start with the bytes not reported taken,
    // as every caller's retry does.
    int Write(const char* data, int length) override;
    int WriteNow(const char* data, int length) override;
    int Shutdown() override;
    int Close() override;
    SOCKET Socket() const override { return sock_; }

    bool Begin(std::vector<std::u16string>& notes) override;
    std::u16string EndNote() const override;
    std::u16string Summary() const override;
    void Closing() override;

    // Tests shorten the handshake's limit of the streams made from then on. Any thread.
    static void SetHandshakeLimitForTesting(std::chrono::milliseconds limit);

private:
    enum class State { kHandshaking, kOpen, kEnded };

    TlsStream(SOCKET sock, std::shared_ptr<TlsContext> context);

    // Mutex held: one read or write without waiting. >0 bytes; 0: the peer ended the
    // session; SOCKET_ERROR with errno EWOULDBLOCK (wait for `waitFor_`) or the failure.
    int ReadLocked(char* buffer, int length);
    int WriteLocked(const char* data, int length);
    // Mutex held: the session's output into `pending_`, and as much of it onto the socket as
    // it takes now. False when the socket failed.
    bool Flush();
    // Mutex held: what the socket holds into the session's input. >0 bytes, 0 at the end of
    // the stream, SOCKET_ERROR (errno).
    int Feed();
    // No mutex: waits until the socket is ready for what the last call lacked, or the
    // handshake is over (writers during it), or `timeoutMs`. False when the socket closed.
    bool Wait(short events, int timeoutMs);
    // Mutex held: the session failed with the library's `error` code; `what` is the end note.
    void Fail(std::u16string what);
    void ComposeNotes(std::vector<std::u16string>& notes, bool& verifiedOk);
    static void OnSessionEvent(const ssl_st* ssl, int where, int value);

    const SOCKET sock_;
    const std::shared_ptr<TlsContext> context_;
    const std::chrono::milliseconds handshakeLimit_;
    bool client_ = false;
    bool enforceVerify_ = false;

    mutable std::mutex mutex_;
    std::condition_variable opened_;  // the handshake ended (either way)
    ssl_st* ssl_ = nullptr;
    // Ciphertext from the socket lands straight in the buffer of `arrived_`, our end of a pair
    // whose other end the session reads.
    bio_st* arrived_ = nullptr;
    bio_st* output_ = nullptr;  // ciphertext the session made
    std::string pending_;       // ciphertext not yet on the socket
    int heldBack_ = 0;          // plaintext taken by a write whose ciphertext had not all gone
    bool socketEnded_ = false;
    bool refusedRenegotiation_ = false;  // the session told the peer it does not renegotiate
    State state_ = State::kHandshaking;
    std::u16string endNote_;
    std::u16string summary_;
};

// UTF-8 (the library's texts, names in certificates) to the interface's UTF-16.
std::u16string TlsText(std::string_view utf8);
