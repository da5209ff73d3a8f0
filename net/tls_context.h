// TLS on OpenSSL 3: the contexts connections make their sessions from. A server context
// holds the certificate chain and key a TLS server page listens with (the program's own
// self-signed certificate, or one the user chose); the client context holds the system's
// trust store. Free of Qt.
//
// Threads: contexts are made on the user-interface thread and are read-only afterwards, so
// any number of connection threads may make sessions from one at once.
#pragma once

#include <memory>
#include <string>

struct ssl_ctx_st;
struct x509_st;

// A certificate's SHA-256 fingerprint, "AB:CD:…" (empty for none).
std::string CertificateFingerprint(x509_st* cert);

class TlsContext {
public:
    enum class Role { kServer, kClient };

    // Takes over `native` (one reference).
    TlsContext(Role role, ssl_ctx_st* native, std::string fingerprint);
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    Role GetRole() const { return role_; }
    ssl_ctx_st* Native() const { return native_; }
    // A server's certificate's SHA-256 fingerprint, "AB:CD:…" (empty for the client).
    const std::string& Fingerprint() const { return fingerprint_; }

private:
    Role role_;
    ssl_ctx_st* native_;
    std::string fingerprint_;
};

// Why a server's certificate and key could not be used.
enum class TlsCertificateProblem {
    kNone,
    kCertificateUnreadable,  // the file cannot be opened
    kCertificateNotPem,      // no PEM certificate in it
    kKeyUnreadable,
    kKeyNotPem,         // no PEM private key in it
    kPassphraseNeeded,  // the key is protected and no passphrase was given
    kWrongPassphrase,
    kKeyMismatch,  // the key is not the certificate's
    kCannotMake,   // the own certificate could not be made
    kCannotSave,   // ... or not kept in its folder
};

struct TlsServerSetup {
    std::shared_ptr<TlsContext> context;  // null when `problem` says why
    TlsCertificateProblem problem = TlsCertificateProblem::kNone;
    std::string detail;  // the library's (or the system's) own words
};

// A server context from a PEM certificate chain (the server's own certificate first) and a
// PEM private key (the same file may hold both); `passphrase` opens a protected key.
TlsServerSetup LoadServerCertificate(const std::string& chainPath, const std::string& keyPath,
                                     const std::string& passphrase = {});

// File names of the program's own certificate and key within their folder.
extern const char* const kOwnCertificateFile;
extern const char* const kOwnKeyFile;
// A server context with the program's own self-signed certificate (P-256, CN=Wirelark,
// valid ten years), kept in `folder` (which must exist) with its key (mode 0600): made at
// the first use, read again afterwards.
TlsServerSetup OwnServerCertificate(const std::string& folder);

// The client context, made at the first call: the system's trust store, peers verified
// but not refused (each entry decides). Any thread.
std::shared_ptr<TlsContext> ClientTlsContext();

// The library's last error queue, as one line of its own words (empties the queue).
std::string TakeTlsErrorText();
