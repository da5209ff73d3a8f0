// The modal dialog that asks the TCP client page for the remote address, the remote port
// and a connection count.
#pragma once

#include <QString>

#include "net/endpoint.h"
#include "pages/dialogs/address_input_dialog.h"

class QCheckBox;
class QLineEdit;

class CDlgSetIp : public CAddressInputDialog {
public:
    // `initialAddress` is offered in the address field; when empty the dialog offers the
    // local host's address once it has been looked up (the fields stay empty until then, and
    // for good when there is none).
    CDlgSetIp(QWidget* parent, const QString& initialAddress, COLORREF background);

    // Results, read by the caller after the dialog ended with OK.
    int Port() const { return port_; }
    // Entries to make, 1 to kMaxCount.
    int Count() const { return count_; }
    // Where to connect: IPv4, port in network byte order. The dialog ends with OK only with
    // a usable address.
    const Endpoint& RemoteAddress() const { return remoteAddress_; }
    // "TLS": the entries speak TLS; "验证证书": a certificate that fails verification ends
    // the connection (otherwise it is only shown).
    bool Tls() const { return tls_; }
    bool VerifyCertificate() const { return verify_; }
    // The address as typed (trimmed): the name TLS asks the server for and checks.
    const QString& TypedHost() const { return typedHost_; }

    // Control ids of template 139.
    static constexpr int kTemplateId = 139;
    static constexpr int kAddressFieldId = 1037;
    static constexpr int kPortFieldId = 1010;
    static constexpr int kCountFieldId = 1011;
    static constexpr int kTlsCheckId = 1060;
    static constexpr int kVerifyCheckId = 1061;
    // The address field is read up to this many characters.
    static constexpr int kMaxAddressLength = 39;
    // One Create makes at most this many entries.
    static constexpr int kMaxCount = 10000;

protected:
    // Return means OK in a field and presses a focused button; Escape cancels.

private:
    void FillFields(const QString& address);
    // OK button (id 1): validates, then looks the address up and ends the dialog with it,
    // or stays open when it cannot be used.
    void OnOK() override;

    int port_ = 0;
    int count_ = 0;
    Endpoint remoteAddress_;
    QString initialAddress_;
    QLineEdit* addressField_ = nullptr;
    QLineEdit* portField_ = nullptr;
    QLineEdit* countField_ = nullptr;
    QCheckBox* tlsCheck_ = nullptr;
    QCheckBox* verifyCheck_ = nullptr;
    bool tls_ = false;
    bool verify_ = false;
    QString typedHost_;
};
