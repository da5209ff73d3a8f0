// CTcpPage: what the TCP server page and the TCP client page share. Each entry is one TCP
// connection whose record lives in the page's TcpEngine map under its id; one receive
// thread per open connection reports data and the peer's close to the page. Both pages
// show an entry the same way, disconnect and delete the selected entry alike and handle the
// engine's notifications alike; they differ in how connections come to be and in their
// other buttons.
//
// Threads: user-interface thread only. Outside the notification handlers the page takes
// g_connectLock (UiCritSecGuard) around its map and the records' worker-owned fields.
#pragma once

#include <netinet/in.h>

#include <string>

#include "net/tcp_engine.h"
#include "pages/page_endpoint.h"

// "address:port" of an IPv4 end point, port in host order.
std::string EndpointLabel(const sockaddr_in& address);

class CTcpPage : public CEndpointPage {
    Q_OBJECT

public:
    // Disconnect has the same slot on both pages (Delete is every page's, kSlot.remove).
    static constexpr int kDisconnectSlot = 4;

    TcpEngine& Engine() { return engine_; }

    // Host node: empties the views. Entry with a record: clears its unseen mark, gives it
    // image 3 (open) or 2 (closed) and shows its logs. The buttons follow (ShowButtonsFor).
    void ShowEntry(HTREEITEM item) override;
    // Closes the selected entry's connection (its receive thread then reports the close)
    // and shows the entry again.
    void OnDisconnect();
    // Closes and frees the selected entry's record, removes the entry and shows the item
    // the tree selects instead.
    void OnDelete();

protected:
    CTcpPage(int templateId, QWidget* parent);

    // First thing in a page's destructor (while its overrides still run the notifications
    // that arrive meanwhile): no notification reaches the page any more, every connection is
    // closed and every record freed.
    void TearDownTcpPage();

    // What the views show, for the buttons.
    enum class Shown { Host, EntryWithoutRecord, OpenEntry, ClosedEntry };
    // Disconnect while an open entry is shown, Delete while any entry is, and the page's
    // own buttons (ShowCommandButtons).
    void ShowButtonsFor(Shown shown);
    virtual void ShowCommandButtons(Shown shown) = 0;

    LRESULT OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    // WM_CONNECT_NEW; inside the handler. The record may be null.
    virtual LRESULT OnConnectNew(ConnectInfo* record);
    // WM_CONNECT_DATA, wParam 1, after the entry got its closed image (4 with unseen data,
    // else 2) and before the buttons show the entry closed if it is the shown one: the
    // record's socket is already closed and -1. Inside the handler (the receive thread
    // holds the lock).
    virtual void OnPeerClosed(ConnectInfo& record);

private:
    TcpEngine engine_;
};
