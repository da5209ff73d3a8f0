// CUdpClientDlg: the UDP client page (the main frame's page 3). Each entry is a client: a
// datagram socket of its own, bound to a chosen local port and aimed at one remote address
// and port (a broadcast address, or a multicast group the client then belongs to). One
// Create makes a run of clients on consecutive local ports. The user sends typed text from
// a client and reads every datagram that reaches its socket; the page's UdpEngine receives
// on each socket and notifies this page's window. User-interface thread only.
#pragma once

#include <QString>
#include <optional>

#include "net/udp_membership.h"
#include "pages/udp/udp_page_base.h"

class CUdpClientDlg : public CUdpPage {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 141;
    static constexpr COLORREF kPageColour = RGB(230, 240, 240);
    // Background of the endpoint dialog the page opens.
    static constexpr COLORREF kDialogColour = RGB(232, 243, 250);

    // Control ids: tree, Create, Delete, Send, Clear received, Clear sent.
    static constexpr PageIds kIds{1051, 1032, 1036, 1039, 1045, 1046};

    explicit CUdpClientDlg(QWidget* parent = nullptr);

    // Create (the button's handler; Send and Delete come with the base).
    void OnCreate() override;

    // The remote address of the last client created, offered by the next Create.
    const QString& LastAddress() const { return lastAddress_; }

    // One client on `localPort` aimed at `remote` (its port as entered), sending to a group
    // with `multicastTtl`, as Create makes it; its entry, or null after telling the user why
    // not.
    HTREEITEM AddClient(const Endpoint& remote, int localPort,
                        int multicastTtl = kDefaultMulticastTtl);

    void ShowEntry(HTREEITEM item) override;

protected:
    SOCKET SendingSocket(const ConnectInfo& record) const override;
    const Endpoint& Destination(const ConnectInfo& record) const override;
    ButtonSet EnabledButtons() const override;
    void OnReceptionEnded(ConnectInfo& record) override;

private:
    // What the endpoint dialog returned.
    struct ClientChoice {
        int remotePort;
        int localPort;
        int count;         // clients on localPort, localPort + 1, ...
        int multicastTtl;  // what they send to a group
        Endpoint remote;
        Endpoint local;
    };
    // Runs the endpoint dialog; nothing when it was cancelled.
    std::optional<ClientChoice> AskForClient();
    // One client on `localPort` as `choice` describes it: its entry, or null after telling
    // the user why not.
    HTREEITEM CreateClient(const ClientChoice& choice, int localPort);
    // A client of the page is bound to `port` already.
    bool LocalPortTaken(int port);
    // A socket bound to `local`; INVALID_SOCKET after telling the user why not.
    SOCKET OpenClientSocket(const Endpoint& local);

    QString lastAddress_;
    // A client's reception ended since an entry was last shown.
    bool endedSinceShown_ = false;
};
