#include "pages/udp_server_page.h"

#include "net/crit_sec.h"
#include "pages/tools/all_entries.h"
#include "pages/tools/echo_tool.h"
#include "pages/tools/file_send_tool.h"
#include "pages/tools/reply_rules_tool.h"
#include "pages/tools/timed_send_tool.h"

namespace {
constexpr SkinBitmaps kStartReceivingBitmaps{281, 278, 279, 280};
constexpr SkinBitmaps kStopReceivingBitmaps{277, 274, 275, 276};
}  // namespace

CUdpServerDlg::CUdpServerDlg(QWidget* parent)
    : CUdpPage(kTemplateId, parent),
      server_(*this, kPageColour,
              {[this](std::uint16_t port) { return Engine().BindEndpoint(port); },
               [this](SOCKET s) { Engine().CloseEndpoint(s); },
               [this] {
                   RefreshEntryImages();
                   groups_.SocketChanged();
               },
               [this] { return Engine().Ipv6Error(); },
               {}}),
      groups_(*this, kDialogColour, [this] { return server_.ServerSocket(); }) {
    const HWND window =
        BuildUdpPage(kPageColour, kIds, [](int width) { return (width / 4) / 2 + 4; },
                     {{kSlot.startReceiving, kStartReceivingId, kStartReceivingBitmaps,
                       [this] { server_.Start(); }},
                      // The receive thread ends silently; senders and their records stay.
                      {kSlot.stopReceiving, kStopReceivingId, kStopReceivingBitmaps,
                       [this] { server_.Stop(); }}});
    Engine().SetNotifyWindow(window);
    groups_.AddMenu();
    // Every sender heard can be sent to (from the server socket).
    AddUdpAllEntriesMenu(*this, [](const ConnectInfo&) { return true; });
    new TimedSendTool(*this);
    new FileSendTool(*this);
    new ReplyRulesTool(*this, new EchoTool(*this));
}

void CUdpServerDlg::ShowEntry(HTREEITEM item) {
    // A group's child is shown as the host node is: it has no record and nothing to delete.
    const auto host = GetHostNode();
    if (host && groups_.IsGroupChild(item))
        item = host->item;
    CUdpPage::ShowEntry(item);
}

// ---- commands ------------------------------------------------------------------------------

void CUdpServerDlg::OnCreate() {
    server_.Create();
}

void CUdpServerDlg::RefreshEntryImages() {
    const bool open = server_.IsOpen();
    UiCritSecGuard lock(g_connectLock);
    Records().ForEachRecord([&](HTREEITEM entry, ConnectInfo& record) {
        const int image = open ? (record.unread ? kImageEntryOpenUnread : kImageEntryOpen)
                               : (record.unread ? kImageEntryClosedUnread : kImageEntryClosed);
        Records().SetImage(entry, image);
    });
}

// ---- what the base asks of the page ------------------------------------------------------

SOCKET CUdpServerDlg::SendingSocket(const ConnectInfo&) const {
    // Replies leave from the server socket (INVALID_SOCKET while stopped: the send fails).
    return server_.ServerSocket();
}

const Endpoint& CUdpServerDlg::Destination(const ConnectInfo& record) const {
    return record.clientAddr;
}

ButtonSet CUdpServerDlg::EnabledButtons() const {
    return UdpServerButtons(Shown(), server_.State());
}

// ---- notifications (user-interface thread; the sending worker holds the lock) -------------

LRESULT CUdpServerDlg::OnConnectNew(ConnectInfo* record) {
    // Nothing else changes when a sender's reception ends.
    return server_.AddPeerEntry(record);
}
