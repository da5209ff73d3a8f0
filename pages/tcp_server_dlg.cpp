#include "pages/tcp_server_dlg.h"

namespace {
// The page's own slots; Disconnect's is the TCP pages' and the others are every page's.
constexpr int kListenSlot = 2;
constexpr int kStopListeningSlot = 3;
}  // namespace

CTcpServerDlg::CTcpServerDlg(QWidget* parent)
    : CTcpPage(kTemplateId, parent),
      server_(*this, kPageColour, kListenSlot, kStopListeningSlot,
              {[this](std::uint16_t port) { return Engine().StartListening(port); },
               [this](SOCKET s) { Engine().StopListening(s); },
               {}}) {
    const HWND window = BuildPage(kIds.tree, kPageColour, [this](const PageControls& controls) {
        return LayoutButtons(
            {{kSlot.create, kIds.create, kCreateBitmaps, [this] { OnCreate(); }},
             {kListenSlot, kListenId, kListenBitmaps, [this] { OnListen(); }, false},
             {kStopListeningSlot, kStopListeningId, kStopListeningBitmaps,
              [this] { OnStopListening(); }, false},
             {kDisconnectSlot, kDisconnectId, kDisconnectBitmaps, [this] { OnDisconnect(); },
              false},
             {kSlot.remove, kIds.remove, kDeleteBitmaps, [this] { OnDelete(); }, false}},
            (TreeClientWidth(controls) / 5 - 24) / 2, kIds, [this] { SendTypedTextTcp(); });
    });
    // Accepted connections are announced to this page.
    Engine().SetNotifyWindow(window);
}

CTcpServerDlg::~CTcpServerDlg() {
    // The listening socket closes first, so no connection accepted meanwhile is missed.
    TearDownTcpPage();
}

// ---- commands ------------------------------------------------------------------------------

void CTcpServerDlg::OnCreate() {
    server_.Create();
}

void CTcpServerDlg::OnListen() {
    server_.Start();
}

void CTcpServerDlg::OnStopListening() {
    // Connections already accepted stay open and keep working.
    server_.Stop();
}

// ---- what the TCP page base asks of the page ---------------------------------------------

void CTcpServerDlg::ShowCommandButtons(Shown shown) {
    if (shown == Shown::Host)
        server_.ShowHostButtons();
    else
        server_.DisableStartStop();
}

LRESULT CTcpServerDlg::OnConnectNew(ConnectInfo* record) {
    // Inside the handler; the accept thread does not hold the lock.
    return server_.AddPeerEntry(record);
}
