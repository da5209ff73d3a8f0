// CUdpPage: what the UDP server page and the UDP client page share. Each entry is one
// datagram partner (a sender heard by the server, or one of the page's clients) whose
// record lives in the page's UdpEngine map under UdpKey(clientAddr). Both pages build the
// same way, show entries the same way, send a datagram for the selected entry, delete
// entries and handle the engine's data notification alike; they differ in where a datagram
// leaves from and goes to, and in their command buttons.
//
// Threads: user-interface thread only. Outside the notification handlers the page takes
// g_connectLock (UiCritSecGuard) around its map and the records' worker-owned fields.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "net/udp_engine.h"
#include "pages/page_endpoint.h"

class CUdpPage : public CEndpointPage {
    Q_OBJECT

public:
    UdpEngine& Engine() { return engine_; }

    // Host node: empties the views; an entry: shows its logs and clears its unseen mark.
    void ShowEntry(HTREEITEM item) override;
    // Sends the send box's text as one datagram for the selected entry and logs it.
    void OnSend();
    // Deletes the selected entry with its record.
    void OnDelete();
    // Makes what the host node offers: the server, or a client.
    virtual void OnCreate() = 0;

protected:
    CUdpPage(int templateId, QWidget* parent);
    // No notification reaches the page any more; every socket is closed, every record freed.
    ~CUdpPage() override;

    // Builds the page in `colour` with the top row Create, `ownButtons`, Delete (only Create
    // enabled at first) with `gapFor(tree client width)` between them, and Send and the two
    // clears. Returns the window the page's engine notifies.
    HWND BuildUdpPage(COLORREF colour, const PageIds& ids, int (*gapFor)(int treeClientWidth),
                      std::vector<PageButton> ownButtons);

    // Where the selected entry's datagram leaves from and goes to. The socket is read under
    // g_connectLock (the caller holds it); INVALID_SOCKET makes the send fail.
    virtual SOCKET SendingSocket(const ConnectInfo& record) const = 0;
    virtual const sockaddr_in& Destination(const ConnectInfo& record) const = 0;
    // The page's own buttons while the host node (true) or an entry (false) is shown.
    virtual void ShowCommandButtons(bool /*hostShown*/) {}
    // WM_CONNECT_NEW: a sender heard for the first time (server pages). Inside the handler.
    virtual LRESULT OnNewPeer(ConnectInfo* /*record*/) { return 0; }
    // An end notification turned `record`'s entry to its closed image. Inside the handler.
    virtual void OnEndpointEnded(ConnectInfo& /*record*/) {}

    // The engine's notifications, inside their handlers (the worker holds the lock).
    LRESULT OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Image of a shown entry: open while the host node's socket is open.
    int ShownEntryImage() const;

private:
    // The send box's text as bytes for the wire, or nothing to send (spaces only empty the
    // sent view).
    std::optional<std::string> TakeSendText(ConnectInfo* record);
    // A datagram of `sent` bytes went out: counted, logged and shown; the send box emptied.
    void LogSent(ConnectInfo* record, const std::string& bytes, int sent);

    UdpEngine engine_;
};
