#include "pages/tcp_server_page.h"

#include "pages/tools/all_entries.h"
#include "pages/tools/echo_tool.h"
#include "pages/tools/file_send_tool.h"
#include "pages/tools/reply_rules_tool.h"
#include "pages/tools/timed_send_tool.h"

CTcpServerDlg::CTcpServerDlg(QWidget* parent)
    : CTcpPage(kTemplateId, parent),
      server_(*this, kPageColour,
              {[this](std::uint16_t port) { return Engine().StartListening(port); },
               [this](SOCKET s) { Engine().StopListening(s); },
               {}}) {
    const HWND window = BuildPage(kIds.tree, kPageColour, [this](const PageControls& controls) {
        return LayoutButtons(
            {{kSlot.create, kIds.create, kCreateBitmaps, [this] { OnCreate(); }},
             {kSlot.listen, kListenId, kListenBitmaps, [this] { OnListen(); }},
             {kSlot.stopListening, kStopListeningId, kStopListeningBitmaps,
              [this] { OnStopListening(); }},
             {kSlot.disconnect, kDisconnectId, kDisconnectBitmaps, [this] { OnDisconnect(); }},
             {kSlot.remove, kIds.remove, kDeleteBitmaps, [this] { OnDelete(); }}},
            (TreeClientWidth(controls) / 5 - 24) / 2, kIds);
    });
    // Accepted connections are announced to this page.
    Engine().SetNotifyWindow(window);
    AddTcpAllEntriesMenu(*this);
    new TimedSendTool(*this);
    new FileSendTool(*this);
    new ReplyRulesTool(*this, new EchoTool(*this));
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

ButtonSet CTcpServerDlg::EnabledButtons() const {
    return TcpServerButtons(Shown(), server_.State());
}

LRESULT CTcpServerDlg::OnConnectNew(ConnectInfo* record) {
    // Inside the handler; the accept thread does not hold the lock.
    return server_.AddPeerEntry(record);
}
