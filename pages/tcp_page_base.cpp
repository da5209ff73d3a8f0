#include "pages/tcp_page_base.h"

#include <arpa/inet.h>

#include "net/crit_sec.h"
#include "skin/tree_ctrl_ex.h"

std::string EndpointLabel(const sockaddr_in& address) {
    char dotted[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, dotted, sizeof dotted);
    return std::string(dotted) + ":" + std::to_string(ntohs(address.sin_port));
}

CTcpPage::CTcpPage(int templateId, QWidget* parent) : CEndpointPage(templateId, parent) {}

void CTcpPage::TearDownTcpPage() {
    TearDownPage(engine_.Connections());
}

// ---- commands ------------------------------------------------------------------------------

void CTcpPage::OnDisconnect() {
    UiCritSecGuard lock(g_connectLock);
    const HTREEITEM selected = Tree() ? Tree()->GetSelectedItem() : nullptr;
    if (!selected || IsHostNode(selected))
        return;
    ConnectInfo* record = RecordOf(selected);
    if (record && record->sock != INVALID_SOCKET) {
        // The receive thread wakes with an error and reports the close; messages still
        // waiting to go are dropped without a report.
        DropPendingSends(record);
        closesocket(record->sock);
        record->sock = INVALID_SOCKET;
        Tree()->SetItemImage(selected, kImageEntryClosed, kImageEntryClosed);
    }
    ShowEntry(selected);
}

void CTcpPage::OnDelete() {
    DeleteSelectedEntry(engine_.Connections(),
                        [](const ConnectInfo& record) { return std::uint64_t{record.id}; });
}

// ---- views ---------------------------------------------------------------------------------

void CTcpPage::ShowEntry(HTREEITEM item) {
    if (!item || !Tree())
        return;
    if (IsHostNode(item)) {
        ShowButtonsFor(Shown::Host);
        ClearViews();
        return;
    }
    ConnectInfo* record = RecordOf(item);
    if (!record) {
        ShowButtonsFor(Shown::EntryWithoutRecord);
        return;
    }
    UiCritSecGuard lock(g_connectLock);
    record->unread = 0;
    const bool open = record->sock != INVALID_SOCKET;
    const int image = open ? kImageEntryOpen : kImageEntryClosed;
    Tree()->SetItemImage(item, image, image);
    ShowButtonsFor(open ? Shown::OpenEntry : Shown::ClosedEntry);
    ShowRecordLogs(*record);
}

void CTcpPage::ShowButtonsFor(Shown shown) {
    ButtonSlot(kDisconnectSlot).setEnabled(shown == Shown::OpenEntry);
    ButtonSlot(kSlot.remove).setEnabled(shown != Shown::Host);
    ShowCommandButtons(shown);
}

// ---- notifications (user-interface thread; the sending worker holds the lock, if any) ------

LRESULT CTcpPage::OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    auto* record = reinterpret_cast<ConnectInfo*>(lParam);
    switch (message) {
        case WM_CONNECT_NEW:
            return OnConnectNew(record);
        case WM_CONNECT_DATA:
            return OnConnectData(wParam, record, [this](ConnectInfo& closed) {
                OnPeerClosed(closed);
                // The buttons follow the shown entry; another entry's close leaves them.
                if (IsShownRecord(&closed))
                    ShowButtonsFor(Shown::ClosedEntry);
            });
        default:
            return 0;
    }
}

LRESULT CTcpPage::OnConnectNew(ConnectInfo*) {
    return 1;
}

void CTcpPage::OnPeerClosed(ConnectInfo&) {}
