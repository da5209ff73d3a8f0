#include "net/tls_context.h"

#include <errno.h>
#include <fcntl.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <mutex>

namespace {

constexpr long kOwnValidityDays = 3652;  // ten years, leap days included

template <typename T, void (*Free)(T*)>
struct Freer {
    void operator()(T* p) const { Free(p); }
};
using BioPtr = std::unique_ptr<BIO, Freer<BIO, BIO_free_all>>;
using KeyPtr = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Freer<X509, X509_free>>;
using CtxPtr = std::unique_ptr<SSL_CTX, Freer<SSL_CTX, SSL_CTX_free>>;

// What every context of ours does alike: no renegotiation (a peer asking for it is refused),
// no session tickets or cache (every connection is a full handshake, as a test wants).
void CommonOptions(SSL_CTX* ctx) {
    SSL_CTX_set_options(ctx, SSL_OP_NO_RENEGOTIATION | SSL_OP_NO_TICKET);
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_OFF);
    // Nothing after the handshake that the peer must read: a peer that closes without reading
    // would otherwise reset the connection and lose what it sent last.
    SSL_CTX_set_num_tickets(ctx, 0);
    SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
}

bool Readable(const std::string& path, std::string& detail) {
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) {
        detail = std::strerror(errno);
        return false;
    }
    fclose(file);
    return true;
}

struct PassphraseAsk {
    const std::string* passphrase;
    bool asked = false;
};

// The library asks for the key's passphrase: none given means "stop".
int GivePassphrase(char* buffer, int size, int /*writing*/, void* context) {
    auto* ask = static_cast<PassphraseAsk*>(context);
    ask->asked = true;
    if (ask->passphrase->empty() || static_cast<int>(ask->passphrase->size()) > size)
        return -1;
    std::memcpy(buffer, ask->passphrase->data(), ask->passphrase->size());
    return static_cast<int>(ask->passphrase->size());
}

TlsServerSetup Problem(TlsCertificateProblem problem, std::string detail) {
    TlsServerSetup setup;
    setup.problem = problem;
    setup.detail = std::move(detail);
    return setup;
}

// Writes `write`'s PEM output to `path` through a temporary file with `mode`, then renames
// it into place, so a file that is there is always whole.
template <typename Write>
bool WritePem(const std::string& path, mode_t mode, Write write, std::string& detail) {
    const std::string temporary = path + ".new";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0 || ::fchmod(fd, mode) != 0) {
        detail = std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
        detail = std::strerror(errno);
        ::close(fd);
        return false;
    }
    const bool written = write(file) == 1;
    const bool closed = fclose(file) == 0;
    if (!written || !closed || ::rename(temporary.c_str(), path.c_str()) != 0) {
        detail = written ? std::strerror(errno) : TakeTlsErrorText();
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace

TlsContext::TlsContext(Role role, ssl_ctx_st* native, std::string fingerprint)
    : role_(role), native_(native), fingerprint_(std::move(fingerprint)) {}

TlsContext::~TlsContext() {
    SSL_CTX_free(native_);
}

std::string TakeTlsErrorText() {
    std::string text;
    for (unsigned long error = ERR_get_error(); error != 0; error = ERR_get_error()) {
        char line[256];
        ERR_error_string_n(error, line, sizeof(line));
        if (!text.empty())
            text += "; ";
        text += line;
    }
    return text;
}

TlsServerSetup LoadServerCertificate(const std::string& chainPath, const std::string& keyPath,
                                     const std::string& passphrase) {
    ERR_clear_error();
    std::string detail;
    if (!Readable(chainPath, detail))
        return Problem(TlsCertificateProblem::kCertificateUnreadable, detail);
    if (!Readable(keyPath, detail))
        return Problem(TlsCertificateProblem::kKeyUnreadable, detail);
    CtxPtr ctx(SSL_CTX_new(TLS_server_method()));
    if (!ctx)
        return Problem(TlsCertificateProblem::kCannotMake, TakeTlsErrorText());
    CommonOptions(ctx.get());
    if (SSL_CTX_use_certificate_chain_file(ctx.get(), chainPath.c_str()) != 1)
        return Problem(TlsCertificateProblem::kCertificateNotPem, TakeTlsErrorText());

    BioPtr keyFile(BIO_new_file(keyPath.c_str(), "rb"));
    if (!keyFile)
        return Problem(TlsCertificateProblem::kKeyUnreadable, TakeTlsErrorText());
    PassphraseAsk ask{&passphrase};
    KeyPtr key(PEM_read_bio_PrivateKey(keyFile.get(), nullptr, GivePassphrase, &ask));
    if (!key) {
        const std::string text = TakeTlsErrorText();
        if (ask.asked) {
            return Problem(passphrase.empty() ? TlsCertificateProblem::kPassphraseNeeded
                                              : TlsCertificateProblem::kWrongPassphrase,
                           text);
        }
        return Problem(TlsCertificateProblem::kKeyNotPem, text);
    }
    if (SSL_CTX_use_PrivateKey(ctx.get(), key.get()) != 1 ||
        SSL_CTX_check_private_key(ctx.get()) != 1) {
        return Problem(TlsCertificateProblem::kKeyMismatch, TakeTlsErrorText());
    }
    const std::string fingerprint = CertificateFingerprint(SSL_CTX_get0_certificate(ctx.get()));
    TlsServerSetup setup;
    setup.context =
        std::make_shared<TlsContext>(TlsContext::Role::kServer, ctx.release(), fingerprint);
    return setup;
}

const char* const kOwnCertificateFile = "tls-certificate.pem";
const char* const kOwnKeyFile = "tls-key.pem";

TlsServerSetup OwnServerCertificate(const std::string& folder) {
    const std::string certPath = folder + "/" + kOwnCertificateFile;
    const std::string keyPath = folder + "/" + kOwnKeyFile;
    if (::access(certPath.c_str(), F_OK) == 0 && ::access(keyPath.c_str(), F_OK) == 0)
        return LoadServerCertificate(certPath, keyPath);

    ERR_clear_error();
    KeyPtr key(EVP_EC_gen("P-256"));
    CertPtr cert(X509_new());
    std::unique_ptr<BIGNUM, Freer<BIGNUM, BN_free>> serial(BN_new());
    const bool made =
        key && cert && serial && X509_set_version(cert.get(), 2) == 1 &&
        BN_rand(serial.get(), 63, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) == 1 &&
        BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(cert.get())) != nullptr &&
        X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0) != nullptr &&
        X509_time_adj_ex(X509_getm_notAfter(cert.get()), kOwnValidityDays, 0, nullptr) != nullptr &&
        X509_set_pubkey(cert.get(), key.get()) == 1 &&
        X509_NAME_add_entry_by_txt(X509_get_subject_name(cert.get()), "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("Wirelark"), -1, -1,
                                   0) == 1 &&
        X509_set_issuer_name(cert.get(), X509_get_subject_name(cert.get())) == 1 &&
        X509_sign(cert.get(), key.get(), EVP_sha256()) > 0;
    if (!made)
        return Problem(TlsCertificateProblem::kCannotMake, TakeTlsErrorText());

    std::string detail;
    const bool saved =
        WritePem(
            keyPath, 0600,
            [&](FILE* file) {
                return PEM_write_PrivateKey(file, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
            },
            detail) &&
        WritePem(
            certPath, 0644, [&](FILE* file) { return PEM_write_X509(file, cert.get()); }, detail);
    if (!saved)
        return Problem(TlsCertificateProblem::kCannotSave, detail);
    return LoadServerCertificate(certPath, keyPath);
}

std::shared_ptr<TlsContext> ClientTlsContext() {
    static std::mutex mutex;
    static std::shared_ptr<TlsContext> context;
    std::lock_guard lock(mutex);
    if (context)
        return context;
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (ctx == nullptr)
        return nullptr;
    CommonOptions(ctx);
    // Verified against the system's trust store; whether a failure ends the connection is
    // each entry's choice, so the handshake itself never refuses.
    SSL_CTX_set_default_verify_paths(ctx);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
    ERR_clear_error();
    context = std::make_shared<TlsContext>(TlsContext::Role::kClient, ctx, std::string());
    return context;
}

std::string CertificateFingerprint(x509_st* cert) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (cert == nullptr || X509_digest(cert, EVP_sha256(), digest, &length) != 1)
        return {};
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        if (i > 0)
            text += ':';
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 15];
    }
    return text;
}
