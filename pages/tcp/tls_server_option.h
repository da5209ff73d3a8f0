// TlsServerOption: TLS on the TCP server page. "TLS" (a check item) and "选择证书…" on the
// host node's menu. While checked, the next 开始监听 listens with TLS: every connection
// accepted then handshakes (on its receive thread) before its bytes are logged, and the host
// node's label ends in " (TLS)" while the server listens so. The certificate is the one the
// user chose (a PEM chain and its key; a protected key asks for its passphrase), else the
// program's own self-signed one, made at the first use in the user's data folder. The
// switch and the chosen files are kept in the page's settings; the passphrase never is.
//
// One per TCP server page, a child of the page. User-interface thread only.
#pragma once

#include <QObject>
#include <QString>
#include <memory>

#include "pages/core/page_tool.h"

class CDialogP;
class ServerHost;
class QMenu;
class TlsContext;

class TlsServerOption : public QObject, public PageTool {
    Q_OBJECT

public:
    // `server` is the page's server, whose host node label shows " (TLS)".
    TlsServerOption(CDialogP& page, ServerHost& server);

    bool IsOn() const { return on_; }
    // Applies from the next start of the server.
    void SetOn(bool on);

    // The certificate chain and key to listen with (both PEM; the same file may hold
    // both). Read at once: a file that is not PEM, a key that does not match, a wrong
    // passphrase are told in a message naming which, and the choice is not taken. A
    // protected key asks for its passphrase when `passphrase` is empty. True when taken.
    bool ChooseCertificate(const QString& chainPath, const QString& keyPath,
                           const QString& passphrase = {});
    // Back to the program's own certificate.
    void ForgetCertificate();
    // The files to listen with, read at the next start (a session's); empty: the own one.
    void UseCertificateFiles(const QString& chainPath, const QString& keyPath);
    QString ChainPath() const { return chainPath_; }
    QString KeyPath() const { return keyPath_; }

    // Before the server starts: the context to listen with when TLS is on (null while
    // off). False when it cannot be had: the user was told why, the server stays stopped.
    bool PrepareListening(std::shared_ptr<TlsContext>& context);
    // The server's socket was opened (with `context`) or closed: the host node's label.
    void ServerChanged(bool listening, bool withTls);

    // The program's own certificate's folder (the user's data folder).
    static QString OwnCertificateFolder();

private:
    void FillTreeMenu(QMenu& menu, HTREEITEM item) override;
    void OnChooseCertificate();
    // The context for the chosen files (asking for the passphrase when needed), or the own
    // one; null after telling the user why not.
    std::shared_ptr<TlsContext> LoadChosen(const QString& passphrase, bool askPassphrase);
    void UpdateLabel();

    CDialogP& page_;
    ServerHost& server_;
    bool on_ = false;
    bool listeningTls_ = false;
    bool listening_ = false;
    QString chainPath_;
    QString keyPath_;
    std::shared_ptr<TlsContext> context_;  // made once per choice
};
