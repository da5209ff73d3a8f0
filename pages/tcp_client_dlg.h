// CTcpClientDlg: the TCP client page (the main frame's page 1). Create asks for a server's
// address and port and adds an entry for it; Connect opens the entry's connection, after
// which the user reads what the server sends, sends typed text, disconnects (and may connect
// the same entry again) or deletes the entry. The page opens the sockets itself; its
// TcpEngine numbers the records and runs a receive thread per connected entry, which
// notifies this page's window.
//
// A connect runs on a helper thread (CTcpClientConnect) and is given up after a while, so
// that the window, the other pages and their engines never wait for it; until it is over
// this page ignores its own buttons and clicks on its tree. User-interface thread only.
#pragma once

#include <QString>

#include "pages/tcp_client_batch.h"
#include "pages/tcp_client_connect.h"
#include "pages/tcp_page_base.h"

class CTcpClientDlg : public CTcpPage {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 130;
    static constexpr COLORREF kPageColour = RGB(200, 220, 240);
    // Background of the address dialog.
    static constexpr COLORREF kDialogColour = RGB(232, 243, 250);

    // Control ids: tree, Create, Delete, Send, Clear received, Clear sent; Connect, Disconnect.
    static constexpr PageIds kIds{1038, 1032, 1036, 1039, 1045, 1046};
    static constexpr int kConnectId = 1034;
    static constexpr int kDisconnectId = 1035;

    explicit CTcpClientDlg(QWidget* parent = nullptr);
    // A connect still pending is abandoned silently; its socket closes with the records.
    ~CTcpClientDlg() override;

    // Dotted address of the last entry created, offered by the next Create.
    const QString& LastAddress() const { return lastAddress_; }
    // A connect is running: the page's buttons and tree clicks are ignored.
    bool ConnectPending() const { return connect_.Pending(); }
    // "全部连接" (the host node's menu).
    TcpClientBatch& Batch() { return batch_; }

    void ShowEntry(HTREEITEM item) override;

    // Commands (the buttons' handlers; Disconnect and Delete are the shared ones).
    void OnCreate();
    void OnConnect();

protected:
    void OnCommand(int id) override;
    ButtonSet EnabledButtons() const override;
    void OnReceptionEnded(ConnectInfo& record) override;
    // Swallows clicks on the tree while a connect is pending.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The connect of `connecting_` ended (on the user-interface thread, from the event loop).
    void OnConnectDone(SOCKET sock, bool connected);
    // Closes the record's socket if it is still `sock` and tells the user.
    void FailConnect(ConnectInfo* record, SOCKET sock);

    QString lastAddress_;
    CTcpClientConnect connect_;
    TcpClientBatch batch_;
    // The record whose connect is pending; it cannot be deleted meanwhile (Delete is ignored).
    ConnectInfo* connecting_ = nullptr;
};
