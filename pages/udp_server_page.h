// CUdpServerDlg: the UDP server page (the main frame's page 2). The user picks a port, the
// page binds a datagram socket on it on every local address, and every address and port
// a datagram comes from becomes an entry under the host node: the user reads what that
// sender sent and answers it from the server socket. The server also joins multicast groups
// (listed under the host node) and hears broadcasts. Receiving is done by the page's
// UdpEngine, whose thread notifies this page's window. User-interface thread only.
#pragma once

#include "pages/core/page_server_host.h"
#include "pages/udp/udp_groups.h"
#include "pages/udp/udp_page_base.h"

class CUdpServerDlg : public CUdpPage {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 140;
    static constexpr COLORREF kPageColour = RGB(170, 220, 250);

    // Control ids: tree, Create, Delete, Send, Clear received, Clear sent.
    static constexpr PageIds kIds{1050, 1047, 1049, 1020, 1021, 1022};
    static constexpr int kStartReceivingId = 1034;
    static constexpr int kStopReceivingId = 1048;
    // Background of the page's dialogs (the port dialog, the group dialog).
    static constexpr COLORREF kDialogColour = kPageColour;

    explicit CUdpServerDlg(QWidget* parent = nullptr);

    // Create: the port dialog, then the server starts (Start receiving, Stop receiving,
    // Send and Delete are the server host's and the base's).
    void OnCreate() override;
    // Create with the port given (start-up options).
    void StartOnPort(int port) { server_.StartOnPort(port); }
    // The multicast groups joined (the host node's menu).
    UdpGroups& Groups() { return groups_; }
    // The port and the server socket (sessions describe and rebuild them).
    ServerHost& Server() { return server_; }

    void ShowEntry(HTREEITEM item) override;
    // The host node's tooltip: the IPv6 addresses served, or why none.
    QString HostNodeNote() const override { return server_.FamilyNote(); }

protected:
    SOCKET SendingSocket(const ConnectInfo& record) const override;
    const Endpoint& Destination(const ConnectInfo& record) const override;
    ButtonSet EnabledButtons() const override;
    LRESULT OnConnectNew(ConnectInfo* record) override;

private:
    // Entry images follow the server socket: open or closed, with or without unseen data.
    void RefreshEntryImages();

    ServerHost server_;
    UdpGroups groups_;
};
