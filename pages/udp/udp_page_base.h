// CUdpPage: what the UDP server page and the UDP client page share. Each entry is one
// datagram partner (a sender heard by the server, or one of the page's clients) whose
// record lives in the page's UdpEngine map under UdpKey(clientAddr). Behind the page's door
// each message is one datagram; the pages differ in where it leaves from and goes to, and in their
// command buttons.
//
// Threads: user-interface thread only. Outside the notification handlers the page takes
// g_connectLock (UiCritSecGuard) around its map and the records' worker-owned fields.
#pragma once

#include <string>
#include <vector>

#include "net/udp_engine.h"
#include "pages/core/dialog_p.h"

// A UDP client of the page is bound to `port` (on 0.0.0.0 or on ::, where each client is
// registered). Takes g_connectLock.
bool LocalPortUsed(UdpEngine& engine, int port);

class CUdpPage : public CDialogP {
    Q_OBJECT

public:
    UdpEngine& Engine() { return engine_; }

    // Datagrams: nothing ever waits, reading is never paused.
    bool SendsStream() const override { return false; }
    void OnDelete();
    // Makes what the host node offers: the server, or a client.
    virtual void OnCreate() = 0;

protected:
    CUdpPage(int templateId, QWidget* parent);
    // Tears the page down before the engine goes.
    ~CUdpPage() override;

    // Builds the page in `colour` with the top row Create, `ownButtons`, Delete with
    // `gapFor(tree client width)` between them, and Send and the two clears. Returns the
    // window the page's engine notifies.
    HWND BuildUdpPage(COLORREF colour, const PageIds& ids, int (*gapFor)(int treeClientWidth),
                      std::vector<PageButton> ownButtons);

    // Where the record's datagram leaves from and goes to. The socket is read under
    // g_connectLock (the caller holds it); INVALID_SOCKET makes the send fail.
    virtual SOCKET SendingSocket(const ConnectInfo& record) const = 0;
    virtual const Endpoint& Destination(const ConnectInfo& record) const = 0;

    // Open while the host node's socket is open.
    int EntryImage(const ConnectInfo& record) const override;
    bool CanSendTo(const ConnectInfo* record) override;
    // Sends the message as one datagram (a file read whole); a failure is told at once.
    bool Transmit(ConnectInfo& record, Outgoing& message) override;

private:
    UdpEngine engine_;
};
