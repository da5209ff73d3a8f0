// CSetUdpServerIp: the modal dialog in which the user describes a new client of the UDP
// client page: remote address and port, local port and a client count. It refuses a local
// port that a client of the page already uses, resolves the remote address (the limited
// broadcast address 255.255.255.255 is taken as typed) and hands the page two IPv4 socket
// addresses, and the time-to-live of what the clients send when they talk to a multicast
// group. User-interface thread only.
#pragma once

#include <QString>

#include "net/endpoint.h"
#include "pages/dialogs/address_input_dialog.h"

class CUdpClientDlg;
class QLineEdit;

class CSetUdpServerIp : public CAddressInputDialog {
public:
    // Opened by `page` (also its parent), offering `offeredAddress` (the local host's
    // address, once looked up, when empty).
    CSetUdpServerIp(CUdpClientDlg* page, const QString& offeredAddress, COLORREF background);

    // Results, read by the page after the dialog ended with OK.
    int RemotePort() const { return remotePort_; }
    int LocalPort() const { return localPort_; }
    // Clients to make on consecutive local ports, 1 to kMaxCount.
    int ClientCount() const { return clientCount_; }
    // Time-to-live of the clients' datagrams to a group, 1 to kMaxTtl (used only when the
    // remote address is a group).
    int MulticastTtl() const { return multicastTtl_; }
    // IPv4, the remote port in network order; the dialog ends with OK only with a usable
    // address.
    const Endpoint& RemoteAddress() const { return remoteAddress_; }
    // IPv4, the any-address, the local port in network order.
    const Endpoint& LocalAddress() const { return localAddress_; }

    // Control ids of template 142.
    static constexpr int kTemplateId = 142;
    static constexpr int kAddressFieldId = 1037;
    static constexpr int kRemotePortFieldId = 1052;
    static constexpr int kLocalPortFieldId = 1012;
    static constexpr int kCountFieldId = 1011;
    static constexpr int kTtlFieldId = 1059;
    // One Create makes at most this many clients.
    static constexpr int kMaxCount = 10000;
    static constexpr int kMaxTtl = 255;

private:
    void FillFields(const QString& address);
    // Checks the ports, looks the address up and ends the dialog, or stays open.
    void OnOK() override;
    // A client of the page is bound to this local port already.
    bool LocalPortInUse(int port) const;

    int remotePort_ = 0;
    int localPort_ = 0;
    int clientCount_ = 0;
    int multicastTtl_ = 0;
    Endpoint remoteAddress_;
    Endpoint localAddress_;
    QString offeredAddress_;
    CUdpClientDlg* page_;
    QLineEdit* addressField_ = nullptr;
    QLineEdit* remotePortField_ = nullptr;
    QLineEdit* localPortField_ = nullptr;
    QLineEdit* countField_ = nullptr;
    QLineEdit* ttlField_ = nullptr;
};
