// CTcpServerDlg: the TCP server page (the main frame's page 0). The user picks a port, the
// page listens on it on every local address, and every accepted connection becomes an
// entry under the host node: the user reads what it sent, answers it, disconnects or
// deletes it. Listening, accepting and receiving are done by the page's TcpEngine, whose
// threads notify this page's window. User-interface thread only.
#pragma once

#include <memory>

#include "pages/core/page_server_host.h"
#include "pages/tcp/tcp_page_base.h"

class TlsContext;
class TlsServerOption;

class CTcpServerDlg : public CTcpPage {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 129;
    static constexpr COLORREF kPageColour = RGB(232, 243, 250);

    // Control ids: tree, Create, Delete, Send, Clear received, Clear sent.
    static constexpr PageIds kIds{1025, 1030, 1037, 1020, 1021, 1022};
    static constexpr int kTreeId = kIds.tree;
    static constexpr int kReceivedViewId = 1026;
    static constexpr int kSentViewId = 1028;
    static constexpr int kSendBoxId = 1031;
    static constexpr int kCreateId = kIds.create;
    static constexpr int kListenId = 1033;
    static constexpr int kStopListeningId = 1035;
    static constexpr int kDisconnectId = 1036;
    static constexpr int kDeleteId = kIds.remove;
    static constexpr int kSendId = kIds.send;
    static constexpr int kClearReceivedId = kIds.clearReceived;
    static constexpr int kClearSentId = kIds.clearSent;

    explicit CTcpServerDlg(QWidget* parent = nullptr);

    // Commands (the buttons' handlers; Disconnect and Delete are the TCP pages' own).
    void OnCreate();
    void OnListen();
    void OnStopListening();
    // Create with the port given (start-up options).
    void StartOnPort(int port) { server_.StartOnPort(port); }
    // The port and the listening socket (sessions describe and rebuild them).
    ServerHost& Server() { return server_; }
    // "TLS" and "选择证书…" of the host node's menu.
    TlsServerOption& Tls() { return *tls_; }

protected:
    ButtonSet EnabledButtons() const override;
    LRESULT OnConnectNew(ConnectInfo* record) override;
    // WM_CONNECT_SHORTAGE: peers the engine could not take for want of descriptors.
    LRESULT OnPageMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

public:
    // The host node's tooltip: the IPv6 addresses served (or why none), and how many peers
    // could not be taken, and why.
    QString HostNodeNote() const override;

private:
    ServerHost server_;
    TlsServerOption* tls_ = nullptr;  // a child of the page
    // What the server listens with now (null: plain).
    std::shared_ptr<TlsContext> listenContext_;
    QString shortageNote_;
    bool shortageTold_ = false;  // the user has been told once
};
