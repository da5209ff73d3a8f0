#include "net/tls_stream.h"

#include <arpa/inet.h>
#include <errno.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <new>
#include <string>

#include "net/socket_error_text.h"
#include "text/ui_text.h"

namespace {

// Room for ciphertext read from the socket (two full records and more), and plaintext
// encrypted per write.
constexpr int kFeedSize = 40 * 1024;
constexpr int kWriteSize = 64 * 1024;
// How often a writer waiting for the handshake looks whether its socket was closed.
constexpr auto kHandshakeWaitSlice = std::chrono::milliseconds(100);
// The handshake's limit for streams made from now on (tests shorten it).
std::atomic<std::int64_t> g_handshakeLimitMs{
    std::chrono::milliseconds(TlsStream::kHandshakeLimit).count()};

std::u16string operator+(std::u16string_view chinese, const std::string& utf8) {
    return std::u16string(chinese) + TlsText(utf8);
}

bool IsWouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK;
}

// Why a handshake failed, in a short Chinese line, from the library's first error.
std::u16string HandshakeReason(unsigned long error) {
    const int reason = ERR_GET_REASON(error);
    switch (reason) {
        case SSL_R_WRONG_VERSION_NUMBER:
        case SSL_R_HTTP_REQUEST:
        case SSL_R_HTTPS_PROXY_REQUEST:
        case SSL_R_UNKNOWN_PROTOCOL:
        case SSL_R_PACKET_LENGTH_TOO_LONG:
        case SSL_R_RECORD_LENGTH_MISMATCH:
        case SSL_R_UNEXPECTED_MESSAGE:
        case SSL_R_UNEXPECTED_RECORD:
        case SSL_R_LENGTH_MISMATCH:
            return UiText("TlsStream", "对方发来的不是 TLS 握手数据");
        case SSL_R_NO_SHARED_CIPHER:
            return UiText("TlsStream", "双方没有共同的加密套件");
        case SSL_R_UNSUPPORTED_PROTOCOL:
        case SSL_R_NO_PROTOCOLS_AVAILABLE:
        case SSL_R_TLSV1_ALERT_PROTOCOL_VERSION:
            return UiText("TlsStream", "双方没有共同的协议版本");
        case SSL_R_CERTIFICATE_VERIFY_FAILED:
            return UiText("TlsStream", "证书验证失败");
        case SSL_R_UNEXPECTED_EOF_WHILE_READING:
            return UiText("TlsStream", "对方在握手中途关闭了连接");
        default:
            break;
    }
    if (reason >= SSL_AD_REASON_OFFSET)
        return UiText("TlsStream", "对方发来警报，拒绝了握手");
    return UiText("TlsStream", "握手未能完成");
}

std::u16string VerifyReason(long result) {
    switch (result) {
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
            return UiText("TlsStream", "自签名证书");
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
            return UiText("TlsStream", "证书链中有不受信任的自签名证书");
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
            return UiText("TlsStream", "找不到签发者的证书");
        case X509_V_ERR_CERT_HAS_EXPIRED:
            return UiText("TlsStream", "证书已过期");
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return UiText("TlsStream", "证书尚未生效");
        case X509_V_ERR_HOSTNAME_MISMATCH:
            return UiText("TlsStream", "证书与主机名不符");
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return UiText("TlsStream", "证书与 IP 地址不符");
        default:
            return UiText("TlsStream", "证书不受信任");
    }
}

std::string NameText(const X509_NAME* name) {
    BIO* bio = BIO_new(BIO_s_mem());
    if (bio == nullptr)
        return {};
    X509_NAME_print_ex(bio, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    std::string text(data, static_cast<std::size_t>(std::max(0L, length)));
    BIO_free(bio);
    return text;
}

std::string DateText(const ASN1_TIME* time) {
    std::tm moment{};
    if (time == nullptr || ASN1_TIME_to_tm(time, &moment) != 1)
        return "?";
    char text[32];
    std::strftime(text, sizeof(text), "%Y-%m-%d", &moment);
    return text;
}

bool IsAddressText(const std::string& host) {
    unsigned char address[16];
    return inet_pton(AF_INET, host.c_str(), address) == 1 ||
           inet_pton(AF_INET6, host.c_str(), address) == 1;
}

}  // namespace

std::u16string TlsText(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        int extra = byte < 0x80 ? 0 : byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : -1;
        if (extra < 0 || i + static_cast<std::size_t>(extra) >= utf8.size() + (extra == 0)) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        char32_t code = extra == 0 ? byte : byte & (0x3F >> extra);
        bool valid = true;
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
            valid = valid && (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        if (!valid) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

void TlsStream::SetHandshakeLimitForTesting(std::chrono::milliseconds limit) {
    g_handshakeLimitMs = limit.count();
}

TlsStream::TlsStream(SOCKET sock, std::shared_ptr<TlsContext> context)
    : sock_(sock),
      context_(std::move(context)),
      handshakeLimit_(std::chrono::milliseconds(g_handshakeLimitMs.load())) {
    ssl_ = SSL_new(context_->Native());
    // While the pair's buffer is empty, the session's reads say "wait", never "ended".
    BIO* input = nullptr;
    if (ssl_ == nullptr || BIO_new_bio_pair(&input, 0, &arrived_, kFeedSize) != 1) {
        SSL_free(ssl_);
        throw std::bad_alloc();
    }
    output_ = BIO_new(BIO_s_mem());
    if (output_ == nullptr) {
        BIO_free(input);
        BIO_free(arrived_);
        SSL_free(ssl_);
        throw std::bad_alloc();
    }
    SSL_set_bio(ssl_, input, output_);
    SSL_set_app_data(ssl_, this);
    SSL_set_info_callback(ssl_, &TlsStream::OnSessionEvent);
}

// Inside a call of the library, mutex held.
void TlsStream::OnSessionEvent(const ssl_st* ssl, int where, int value) {
    // The session refuses a renegotiation with this alert; the peer usually ends the
    // connection with an alert of its own, which would otherwise be all the entry says.
    if ((where & SSL_CB_WRITE_ALERT) != 0 && (value & 0xFF) == SSL_AD_NO_RENEGOTIATION)
        static_cast<TlsStream*>(SSL_get_app_data(ssl))->refusedRenegotiation_ = true;
}

TlsStream::~TlsStream() {
    SSL_free(ssl_);  // and its end of the pair, and its output buffer
    BIO_free(arrived_);
}

std::shared_ptr<TlsStream> TlsStream::ForServer(SOCKET sock, std::shared_ptr<TlsContext> context) {
    std::shared_ptr<TlsStream> stream(new TlsStream(sock, std::move(context)));
    SSL_set_accept_state(stream->ssl_);
    return stream;
}

std::shared_ptr<TlsStream> TlsStream::ForClient(SOCKET sock, std::shared_ptr<TlsContext> context,
                                                const std::string& host, bool enforceVerify) {
    std::shared_ptr<TlsStream> stream(new TlsStream(sock, std::move(context)));
    stream->client_ = true;
    stream->enforceVerify_ = enforceVerify;
    SSL* ssl = stream->ssl_;
    if (!host.empty()) {
        // SNI carries names only; an address is checked as an address.
        if (IsAddressText(host)) {
            X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str());
        } else {
            SSL_set_tlsext_host_name(ssl, host.c_str());
            SSL_set1_host(ssl, host.c_str());
        }
    }
    SSL_set_connect_state(ssl);
    return stream;
}

// ---- socket side (mutex held) ------------------------------------------------------------

bool TlsStream::Flush() {
    char chunk[16 * 1024];
    for (int n; (n = BIO_read(output_, chunk, sizeof(chunk))) > 0;)
        pending_.append(chunk, static_cast<std::size_t>(n));
    std::size_t sent = 0;
    while (sent < pending_.size()) {
        const int length = static_cast<int>(std::min<std::size_t>(pending_.size() - sent, INT_MAX));
        const int n = SendSocketNow(sock_, pending_.data() + sent, length);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n == SOCKET_ERROR && errno == EINTR)
            continue;
        if (n == SOCKET_ERROR && IsWouldBlock(errno))
            break;
        pending_.erase(0, sent);
        return false;
    }
    pending_.erase(0, sent);
    return true;
}

int TlsStream::Feed() {
    // As much as the pair's buffer has room for in one piece: one call for several records
    // of a flood, and no copy on the way. The session asks for more only when what is there
    // is less than a record, so there is always room.
    char* room = nullptr;
    const int size = BIO_nwrite0(arrived_, &room);
    if (size <= 0) {
        errno = ENOBUFS;
        return SOCKET_ERROR;
    }
    for (;;) {
        const int n = RecvSocketNow(sock_, room, size);
        if (n > 0)
            BIO_nwrite(arrived_, &room, n);
        if (n == SOCKET_ERROR && errno == EINTR)
            continue;
        return n;
    }
}

bool TlsStream::Wait(short events, int timeoutMs) {
    return WaitSocket(sock_, events, timeoutMs) != SOCKET_ERROR;
}

// ---- reading -----------------------------------------------------------------------------

int TlsStream::ReadLocked(char* buffer, int length) {
    if (state_ != State::kOpen) {
        errno = state_ == State::kHandshaking ? EWOULDBLOCK : ECONNRESET;
        return SOCKET_ERROR;
    }
    for (;;) {
        ERR_clear_error();
        const int n = SSL_read(ssl_, buffer, length);
        if (n > 0) {
            Flush();  // whatever the session answered meanwhile (a key update)
            return n;
        }
        const int error = SSL_get_error(ssl_, n);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
            if (!Flush() && !IsSocketOpen(sock_)) {
                errno = EBADF;
                return SOCKET_ERROR;
            }
            const int fed = Feed();
            if (fed > 0)
                continue;
            if (fed == 0) {
                state_ = State::kEnded;
                endNote_ = UiText("TlsStream", "对方没有发送 close_notify 就关闭了连接");
                return 0;
            }
            const int failure = errno;
            if (IsWouldBlock(failure)) {
                errno = EWOULDBLOCK;
                return SOCKET_ERROR;
            }
            state_ = State::kEnded;
            if (IsSocketOpen(sock_))  // our own close needs no note
                endNote_ = UiText("TlsStream", "连接中断：") +
                           SocketErrorReason(SocketOperation::kConnect, failure);
            errno = failure;
            return SOCKET_ERROR;
        }
        state_ = State::kEnded;
        if (error == SSL_ERROR_ZERO_RETURN) {
            endNote_ = UiText("TlsStream", "对方发来 close_notify，TLS 会话结束");
            SSL_shutdown(ssl_);  // our close_notify in return
            Flush();
            return 0;
        }
        const unsigned long first = ERR_peek_error();
        const std::string text = TakeTlsErrorText();
        if (IsSocketOpen(sock_)) {
            endNote_ = WithArgs(UiText("TlsStream", "TLS 出错，连接结束：%1（%2）"),
                                {refusedRenegotiation_ || (first != 0 && ERR_GET_REASON(first) ==
                                                                             SSL_R_NO_RENEGOTIATION)
                                     ? UiText("TlsStream", "对方要求重新协商，本程序不支持")
                                     : HandshakeReason(first),
                                 TlsText(text)});
        }
        errno = ECONNRESET;
        return SOCKET_ERROR;
    }
}

int TlsStream::Read(char* buffer, int length) {
    for (;;) {
        short events = POLLIN;
        {
            std::lock_guard lock(mutex_);
            const int n = ReadLocked(buffer, length);
            if (n != SOCKET_ERROR || !IsWouldBlock(errno) || state_ == State::kHandshaking)
                return n;
            if (!pending_.empty())
                events |= POLLOUT;
        }
        if (!Wait(events, -1)) {
            errno = EBADF;
            return SOCKET_ERROR;
        }
    }
}

int TlsStream::ReadNow(char* buffer, int length) {
    std::lock_guard lock(mutex_);
    return ReadLocked(buffer, length);
}

// ---- writing -----------------------------------------------------------------------------

int TlsStream::WriteLocked(const char* data, int length) {
    if (state_ != State::kOpen) {
        errno = state_ == State::kHandshaking ? EWOULDBLOCK : EPIPE;
        return SOCKET_ERROR;
    }
    if (!Flush())
        return SOCKET_ERROR;
    if (!pending_.empty()) {
        errno = EWOULDBLOCK;
        return SOCKET_ERROR;
    }
    if (length <= 0)
        return 0;
    if (heldBack_ > 0) {
        // Those bytes were encrypted by an earlier call and have gone now.
        const int taken = std::min(heldBack_, length);
        heldBack_ -= taken;
        return taken;
    }
    ERR_clear_error();
    const int taken = SSL_write(ssl_, data, std::min(length, kWriteSize));
    if (taken <= 0) {
        state_ = State::kEnded;
        TakeTlsErrorText();
        errno = EPIPE;
        return SOCKET_ERROR;
    }
    if (!Flush())
        return SOCKET_ERROR;
    if (pending_.empty())
        return taken;
    heldBack_ = taken;  // reported once its ciphertext has gone
    errno = EWOULDBLOCK;
    return SOCKET_ERROR;
}

int TlsStream::WriteNow(const char* data, int length) {
    std::lock_guard lock(mutex_);
    return WriteLocked(data, length);
}

int TlsStream::Write(const char* data, int length) {
    for (;;) {
        bool handshaking = false;
        {
            std::lock_guard lock(mutex_);
            const int n = WriteLocked(data, length);
            if (n != SOCKET_ERROR || !IsWouldBlock(errno))
                return n;
            handshaking = state_ == State::kHandshaking;
        }
        if (handshaking) {
            std::unique_lock lock(mutex_);
            opened_.wait_for(lock, kHandshakeWaitSlice,
                             [this] { return state_ != State::kHandshaking; });
            if (!IsSocketOpen(sock_)) {
                errno = EBADF;
                return SOCKET_ERROR;
            }
        } else if (!Wait(POLLOUT, -1)) {
            errno = EBADF;
            return SOCKET_ERROR;
        }
    }
}

int TlsStream::Shutdown() {
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::kOpen) {
            ERR_clear_error();
            SSL_shutdown(ssl_);
            Flush();
        }
    }
    return ShutdownSocket(sock_, SHUT_WR);
}

int TlsStream::Close() {
    return closesocket(sock_);  // which calls Closing first
}

void TlsStream::Closing() {
    std::lock_guard lock(mutex_);
    if (state_ == State::kOpen) {
        ERR_clear_error();
        SSL_shutdown(ssl_);  // close_notify, as far as the socket takes it now
        Flush();
        TakeTlsErrorText();
    }
    state_ = State::kEnded;
    opened_.notify_all();
}

// ---- the handshake (receive thread) ------------------------------------------------------

bool TlsStream::Begin(std::vector<std::u16string>& notes) {
    const auto deadline = std::chrono::steady_clock::now() + handshakeLimit_;
    std::unique_lock lock(mutex_);
    const auto fail = [&](std::u16string why) {
        state_ = State::kEnded;
        opened_.notify_all();
        if (IsSocketOpen(sock_))  // closed by the page: nothing to explain
            notes.push_back(UiText("TlsStream", "TLS 握手失败：") + why);
        return false;
    };
    for (;;) {
        if (state_ != State::kHandshaking)
            return fail(UiText("TlsStream", "连接已关闭"));
        ERR_clear_error();
        const int result = SSL_do_handshake(ssl_);
        const int error = SSL_get_error(ssl_, result);
        const unsigned long first = ERR_peek_error();
        const std::string text = TakeTlsErrorText();
        if (!Flush() && !IsSocketOpen(sock_))
            return fail(UiText("TlsStream", "连接已关闭"));
        if (result == 1)
            break;
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
            if (error == SSL_ERROR_SYSCALL && first == 0)
                return fail(UiText("TlsStream", "对方在握手中途关闭了连接"));
            return fail(
                WithArgs(UiText("TlsStream", "%1（%2）"), {HandshakeReason(first), TlsText(text)}));
        }
        const int fed = Feed();
        if (fed > 0)
            continue;
        if (fed == 0)
            return fail(UiText("TlsStream", "对方在握手中途关闭了连接"));
        if (!IsWouldBlock(errno))
            return fail(SocketErrorReason(SocketOperation::kConnect, errno));
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            const auto seconds =
                std::chrono::duration_cast<std::chrono::seconds>(handshakeLimit_).count();
            return fail(WithArgs(UiText("TlsStream", "握手超时（%1 秒内未完成）"),
                                 {TlsText(std::to_string(seconds))}));
        }
        const short events = static_cast<short>(POLLIN | (pending_.empty() ? 0 : POLLOUT));
        lock.unlock();
        const bool open = Wait(events, static_cast<int>(left.count()));
        lock.lock();
        if (!open)
            return fail(UiText("TlsStream", "连接已关闭"));
    }
    bool verified = true;
    ComposeNotes(notes, verified);
    if (client_ && enforceVerify_ && !verified) {
        notes.push_back(UiText("TlsStream", "证书验证未通过，已断开连接"));
        state_ = State::kEnded;
        opened_.notify_all();
        return false;
    }
    state_ = State::kOpen;
    opened_.notify_all();
    return true;
}

void TlsStream::ComposeNotes(std::vector<std::u16string>& notes, bool& verified) {
    const std::string protocol = SSL_get_version(ssl_);
    const char* cipher = SSL_get_cipher_name(ssl_);
    std::u16string line = WithArgs(UiText("TlsStream", "TLS 握手完成：%1，%2"),
                                   {TlsText(protocol), TlsText(cipher ? cipher : "?")});
    if (!client_) {
        notes.push_back(line);
        summary_ = WithArgs(UiText("TlsStream", "TLS %1，本端证书 SHA-256 指纹：%2"),
                            {TlsText(protocol), TlsText(context_->Fingerprint())});
        return;
    }
    X509* peer = SSL_get1_peer_certificate(ssl_);
    if (peer == nullptr) {
        verified = false;
        notes.push_back(line +
                        UiText("TlsStream", "；对方没有出示证书；证书验证：失败（没有证书）"));
        summary_ = WithArgs(UiText("TlsStream", "TLS %1，对方没有证书"), {TlsText(protocol)});
        return;
    }
    const std::string fingerprint = CertificateFingerprint(peer);
    line += UiText("TlsStream", "；证书主题：") + NameText(X509_get_subject_name(peer));
    line += UiText("TlsStream", "；签发者：") + NameText(X509_get_issuer_name(peer));
    line += WithArgs(UiText("TlsStream", "；有效期：%1 至 %2"),
                     {TlsText(DateText(X509_get0_notBefore(peer))),
                      TlsText(DateText(X509_get0_notAfter(peer)))});
    line += UiText("TlsStream", "；SHA-256 指纹：") + fingerprint;
    const long result = SSL_get_verify_result(ssl_);
    verified = result == X509_V_OK;
    if (verified) {
        line += UiText("TlsStream", "；证书验证：通过");
    } else {
        line += WithArgs(UiText("TlsStream", "；证书验证：失败（%1：%2）"),
                         {VerifyReason(result), TlsText(X509_verify_cert_error_string(result))});
    }
    X509_free(peer);
    notes.push_back(line);
    summary_ = WithArgs(UiText("TlsStream", "TLS %1，证书 SHA-256 指纹：%2"),
                        {TlsText(protocol), TlsText(fingerprint)});
}

std::u16string TlsStream::EndNote() const {
    std::lock_guard lock(mutex_);
    return endNote_;
}

std::u16string TlsStream::Summary() const {
    std::lock_guard lock(mutex_);
    return summary_;
}
