// CTcpClientDlg: the TCP client page (the main frame's page 1). Create asks for a server's
// address and port and adds an entry for it; Connect opens the entry's connection, after
// which the user reads what the server sends, sends typed text, disconnects (and may connect
// the same entry again) or deletes the entry. The page opens the sockets itself; its
// TcpEngine numbers the records and runs a receive thread per connected entry, which
// notifies this page's window.
//
// A connect runs on a helper thread (CTcpClientConnect) and is given up after a while, so
// that the window, the other pages and their engines never wait for it. Only the entry
// connecting is busy meanwhile: it shows closed, refuses Send, and Disconnect or Delete on it
// cancel the connect at once; every other entry and command works as ever.
// User-interface thread only.
#pragma once

#include <QString>
#include <functional>
#include <map>

#include "pages/tcp/tcp_client_batch.h"
#include "pages/tcp/tcp_client_connect.h"
#include "pages/tcp/tcp_client_entry.h"
#include "pages/tcp/tcp_page_base.h"

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
    // Some entry is connecting; `record` is.
    bool ConnectPending() const { return !connecting_.empty(); }
    bool IsConnecting(const ConnectInfo* record) const;
    // "全部连接" (the host node's menu).
    TcpClientBatch& Batch() { return batch_; }

    // Commands (the buttons' handlers; Delete is the shared one, which also cancels a
    // connect through the freeing of the record).
    void OnCreate();
    void OnConnect();
    // Cancels the selected entry's connect, if any, then disconnects as every TCP page does.
    void OnDisconnect();

    // What Create does once the dialog was answered: `count` unconnected entries for the
    // server at `remote` (its port as entered), the last one selected and shown. The last
    // entry made, or null.
    HTREEITEM AddEntries(const Endpoint& remote, int count, const ClientTls& tls = {});
    // What Connect does for `record`'s entry. With `outcome`, the connect's end is reported
    // to it (true: connected) instead of by a message box on failure.
    void ConnectEntry(ConnectInfo* record, std::function<void(bool connected)> outcome = {});

protected:
    ButtonSet EnabledButtons() const override;
    int EntryImage(const ConnectInfo& record) const override;
    bool CanSendTo(const ConnectInfo* record) override;
    // Delete (or the tear-down) of an entry connecting cancels its connect; the socket
    // closes with the record.
    void RecordFreeing(const ConnectInfo* record) override;
    void OnReceptionEnded(ConnectInfo& record) override;

private:
    // A connect ended (on the user-interface thread, from the event loop).
    void OnConnectDone(SOCKET sock, bool connected);
    // Closes the record's socket if it is still `sock` and tells the user.
    void FailConnect(ConnectInfo* record, SOCKET sock);
    // Forgets the record's connect; the caller closes its socket.
    void CancelConnect(const ConnectInfo* record);
    // The outcome waiting for `record`'s connect, taken away (empty when none).
    std::function<void(bool connected)> TakeOutcome(const ConnectInfo* record);

    QString lastAddress_;
    CTcpClientConnect connect_;
    // The records whose connects are pending, with the sockets connecting.
    std::map<const ConnectInfo*, SOCKET> connecting_;
    // Who waits for a connect's end instead of the user (ConnectEntry's outcome).
    std::map<const ConnectInfo*, std::function<void(bool connected)>> outcomes_;
    TcpClientBatch batch_;
};
