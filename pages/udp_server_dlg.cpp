#include "pages/udp_server_dlg.h"

#include "net/crit_sec.h"
#include "skin/tree_ctrl_ex.h"

namespace {
// The page's own slots; the others are every page's (kSlot).
constexpr int kStartReceivingSlot = 7;
constexpr int kStopReceivingSlot = 8;
constexpr SkinBitmaps kStartReceivingBitmaps{281, 278, 279, 280};
constexpr SkinBitmaps kStopReceivingBitmaps{277, 274, 275, 276};
}  // namespace

CUdpServerDlg::CUdpServerDlg(QWidget* parent)
    : CUdpPage(kTemplateId, parent),
      server_(*this, kPageColour, kStartReceivingSlot, kStopReceivingSlot,
              {[this](std::uint16_t port) { return Engine().BindEndpoint(port); },
               [this](SOCKET s) { Engine().CloseEndpoint(s); }, [this] { RefreshEntryImages(); }}) {
    const HWND window =
        BuildUdpPage(kPageColour, kIds, [](int width) { return (width / 4) / 2 + 4; },
                     {{kStartReceivingSlot, kStartReceivingId, kStartReceivingBitmaps,
                       [this] { server_.Start(); }},
                      // The receive thread ends silently; senders and their records stay.
                      {kStopReceivingSlot, kStopReceivingId, kStopReceivingBitmaps,
                       [this] { server_.Stop(); }}});
    Engine().SetNotifyWindow(window);
}

// ---- commands ------------------------------------------------------------------------------

void CUdpServerDlg::OnCreate() {
    server_.Create();
}

void CUdpServerDlg::RefreshEntryImages() {
    const auto host = GetHostNode();
    if (!host)
        return;
    const bool open = server_.IsOpen();
    UiCritSecGuard lock(g_connectLock);
    for (HTREEITEM entry = Tree()->GetChildItem(host->item); entry;
         entry = Tree()->GetNextSiblingItem(entry)) {
        const ConnectInfo* record = RecordOf(entry);
        if (!record)
            continue;
        const int image = open ? (record->unread ? kImageEntryOpenUnread : kImageEntryOpen)
                               : (record->unread ? kImageEntryClosedUnread : kImageEntryClosed);
        Tree()->SetItemImage(entry, image, image);
    }
}

// ---- what the base asks of the page ------------------------------------------------------

SOCKET CUdpServerDlg::SendingSocket(const ConnectInfo&) const {
    // Replies leave from the server socket (INVALID_SOCKET while stopped: the send fails).
    return server_.ServerSocket();
}

const sockaddr_in& CUdpServerDlg::Destination(const ConnectInfo& record) const {
    return record.clientAddr;
}

void CUdpServerDlg::ShowCommandButtons(bool hostShown) {
    if (hostShown)
        server_.ShowHostButtons();
    else
        server_.DisableStartStop();
}

// ---- notifications (user-interface thread; the sending worker holds the lock) -------------

LRESULT CUdpServerDlg::OnNewPeer(ConnectInfo* record) {
    // Nothing else changes when a sender's reception ends.
    return server_.AddPeerEntry(record);
}
