#include "pages/tcp_server_dlg.h"

#include <arpa/inet.h>

#include <QPlainTextEdit>
#include <string>

#include "net/crit_sec.h"
#include "pages/ansi_text.h"
#include "pages/set_listen_dlg.h"
#include "platform/dialog_template.h"
#include "platform/message_box.h"
#include "skin/tree_ctrl_ex.h"

namespace {
// Button slots this page uses.
constexpr int kCreateSlot = 1;
constexpr int kListenSlot = 2;
constexpr int kStopListeningSlot = 3;
constexpr int kDisconnectSlot = 4;
constexpr int kDeleteSlot = 5;
constexpr int kSendSlot = 9;
constexpr int kClearSentSlot = 10;
constexpr int kClearReceivedSlot = 11;

// "address:port" of a peer, port in host order.
std::string PeerLabel(const sockaddr_in& address) {
    char dotted[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, dotted, sizeof dotted);
    return std::string(dotted) + ":" + std::to_string(ntohs(address.sin_port));
}
}  // namespace

CTcpServerDlg::CTcpServerDlg(QWidget* parent) : CDialogP(kTemplateId, parent) {
    BuildDialogFromTemplate(this, kTemplateId,
                            {{kTreeId, [](const ControlTemplate&, QWidget* page) -> QWidget* {
                                  return new CTreeCtrlEx(page);
                              }}});
    auto* tree = FindControlAs<CTreeCtrlEx>(this, kTreeId);
    auto* sendBox = FindControlAs<QPlainTextEdit>(this, kSendBoxId);
    BindPageControls(tree, FindControlAs<QPlainTextEdit>(this, kReceivedViewId),
                     FindControlAs<QPlainTextEdit>(this, kSentViewId), sendBox);

    SetPageColour(kPageColour);
    if (tree) {
        tree->SetBkColor(kPageColour);
        InitHostTree(*tree, imageList_);
    }
    if (sendBox)
        sendBox->setFocus();
    CreatePageButtons();
    InstallEscapeFilter();

    engine_.SetNotifyWindow(AttachWindowMessages());
}

CTcpServerDlg::~CTcpServerDlg() {
    ReleasePage(engine_.Connections());
}

void CTcpServerDlg::CreatePageButtons() {
    const int treeClientWidth = Tree() ? Tree()->contentsRect().width() : 0;
    const int gap = (treeClientWidth / 5 - 24) / 2;
    CreateSkinButton(kCreateSlot, kCreateId, TopRowButtonRect(0, gap), kCreateBitmaps);
    CreateSkinButton(kListenSlot, kListenId, TopRowButtonRect(1, gap), kListenBitmaps);
    CreateSkinButton(kStopListeningSlot, kStopListeningId, TopRowButtonRect(2, gap),
                     kStopListeningBitmaps);
    CreateSkinButton(kDisconnectSlot, kDisconnectId, TopRowButtonRect(3, gap), kDisconnectBitmaps);
    CreateSkinButton(kDeleteSlot, kDeleteId, TopRowButtonRect(4, gap), kDeleteBitmaps);
    if (SendBox()) {
        CreateSkinButton(kSendSlot, kSendId, SendButtonRect(SendBox()->geometry()), kSendBitmaps);
    }
    if (ReceivedView()) {
        CreateSkinButton(kClearReceivedSlot, kClearReceivedId,
                         ClearReceivedButtonRect(ReceivedView()->geometry()),
                         kClearReceivedBitmaps);
    }
    if (SentView()) {
        CreateSkinButton(kClearSentSlot, kClearSentId, ClearSentButtonRect(SentView()->geometry()),
                         kClearSentBitmaps);
    }
    SetButtonEnabled(kStopListeningSlot, false);
    SetButtonEnabled(kDisconnectSlot, false);
    SetButtonEnabled(kDeleteSlot, false);
    SetButtonEnabled(kListenSlot, false);
}

void CTcpServerDlg::SetButtonEnabled(int slot, bool enabled) {
    ButtonSlot(slot).setEnabled(enabled);
}

void CTcpServerDlg::OnCommand(int id) {
    switch (id) {
        case kCreateId:
            OnCreate();
            break;
        case kListenId:
            OnListen();
            break;
        case kStopListeningId:
            OnStopListening();
            break;
        case kDisconnectId:
            OnDisconnect();
            break;
        case kDeleteId:
            OnDelete();
            break;
        case kSendId:
            SendTypedTextTcp(engine_);
            break;
        case kClearReceivedId:
            OnClearReceived();
            break;
        case kClearSentId:
            OnClearSent();
            break;
        default:
            break;
    }
}

// ---- commands ------------------------------------------------------------------------------

void CTcpServerDlg::OnCreate() {
    int port = 0;
    {
        CSetListenDlg dialog(nullptr, kPageColour);
        if (dialog.exec() != QDialog::Accepted)
            return;
        port = dialog.Port();
    }
    if (port <= 0)
        return;

    const auto host = GetHostNode();
    if (!host)
        return;
    if (!host->info) {
        ShowMessageBox(this, QStringLiteral("获取节点数据错误"),
                       QStringLiteral("获取节点数据错误"));
        return;
    }
    // One server per page: the first valid port stays.
    if (host->info->port >= 1)
        return;

    host->info->port = port;
    Tree()->SetItemText(host->item, FromAnsi(host->info->address + ":" + std::to_string(port)));
    OnListen();
    ShowEntry(host->item);
}

void CTcpServerDlg::OnListen() {
    const auto host = GetHostNode();
    if (!host || !host->info || host->info->listening)
        return;
    if (host->info->port < 1) {
        ShowMessageBox(this, QStringLiteral("监听端口不正确"), QStringLiteral("错误！"));
        return;
    }
    const SOCKET listening = engine_.StartListening(static_cast<std::uint16_t>(host->info->port));
    if (listening == INVALID_SOCKET) {
        // The port stays, so Listen can be tried again.
        ShowMessageBox(this, QStringLiteral("监听启动失败"), QStringLiteral("错误！"));
        return;
    }
    Tree()->SetItemImage(host->item, kImageHostOpen, kImageHostOpen);
    host->info->listening = true;
    host->info->sock = listening;
    SetButtonEnabled(kListenSlot, false);
    SetButtonEnabled(kStopListeningSlot, true);
}

void CTcpServerDlg::OnStopListening() {
    const auto host = GetHostNode();
    if (!host || !host->info)
        return;
    Tree()->SetItemImage(host->item, kImageHostIdle, kImageHostIdle);
    if (host->info->sock != INVALID_SOCKET)
        engine_.StopListening(host->info->sock);
    host->info->sock = INVALID_SOCKET;
    host->info->listening = false;
    SetButtonEnabled(kListenSlot, true);
    SetButtonEnabled(kStopListeningSlot, false);
}

void CTcpServerDlg::OnDisconnect() {
    const HTREEITEM selected = Tree()->GetSelectedItem();
    if (!selected || IsHostNode(selected))
        return;
    {
        UiCritSecGuard lock(g_connectLock);
        ConnectInfo* record = RecordOf(selected);
        if (record && record->sock != INVALID_SOCKET) {
            // What still waits to be sent goes with the connection the user ends.
            DropPendingSends(record);
            // The receive thread wakes with an error and reports the close.
            closesocket(record->sock);
            record->sock = INVALID_SOCKET;
            Tree()->SetItemImage(selected, kImageEntryClosed, kImageEntryClosed);
        }
    }
    ShowEntry(selected);
}

void CTcpServerDlg::OnDelete() {
    UiCritSecGuard lock(g_connectLock);
    const HTREEITEM selected = Tree()->GetSelectedItem();
    if (selected && !IsHostNode(selected)) {
        if (ConnectInfo* record = RecordOf(selected)) {
            if (record->sock != INVALID_SOCKET) {
                closesocket(record->sock);
                record->sock = INVALID_SOCKET;
            }
            ConnectMap& connections = engine_.Connections();
            const auto found = connections.find(record->id);
            if (found != connections.end() && found->second == record)
                connections.erase(found);
            ForgetRecord(record);
            delete record;
        }
        Tree()->DeleteItem(selected);
    }
    // The tree has moved its caret to a neighbour.
    ShowEntry(Tree()->GetSelectedItem());
}

// ---- views ---------------------------------------------------------------------------------

void CTcpServerDlg::ShowEntry(HTREEITEM item) {
    if (!item || !Tree())
        return;
    SetButtonEnabled(kDisconnectSlot, false);
    SetButtonEnabled(kDeleteSlot, false);
    SetButtonEnabled(kListenSlot, false);
    SetButtonEnabled(kStopListeningSlot, false);

    if (IsHostNode(item)) {
        const auto host = GetHostNode();
        if (host && host->info && host->info->port >= 1) {
            if (host->info->listening) {
                SetButtonEnabled(kStopListeningSlot, true);
            } else {
                SetButtonEnabled(kListenSlot, true);
            }
        }
        ClearViews();
        return;
    }

    SetButtonEnabled(kDeleteSlot, true);
    ConnectInfo* record = RecordOf(item);
    if (!record)
        return;
    UiCritSecGuard lock(g_connectLock);
    record->unread = 0;
    if (record->sock != INVALID_SOCKET) {
        SetButtonEnabled(kDisconnectSlot, true);
        Tree()->SetItemImage(item, kImageEntryOpen, kImageEntryOpen);
    } else {
        Tree()->SetItemImage(item, kImageEntryClosed, kImageEntryClosed);
    }
    ShowRecordLogs(*record);
}

// ---- notifications (user-interface thread; the sending worker holds the lock, if any) ------

LRESULT CTcpServerDlg::OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    auto* record = reinterpret_cast<ConnectInfo*>(lParam);
    switch (message) {
        case WM_CONNECT_NEW:
            return OnConnectNew(record);
        case WM_CONNECT_DATA:
            return OnConnectData(wParam, record);
        default:
            return 0;
    }
}

LRESULT CTcpServerDlg::OnConnectNew(ConnectInfo* record) {
    const auto host = GetHostNode();
    if (!host)
        return 1;
    if (!record) {
        ShowMessageBox(this, QStringLiteral("pConnectInfo is null"), QStringLiteral("error!"));
        return 1;
    }
    const HTREEITEM entry =
        Tree()->InsertItem(FromAnsi(PeerLabel(record->clientAddr)), kImageEntryOpen,
                           kImageEntryOpen, host->item, TVI_LAST);
    record->treeItem = entry;
    Tree()->SetItemData(entry, reinterpret_cast<std::uintptr_t>(record));
    Tree()->Expand(host->item);
    return 1;
}

LRESULT CTcpServerDlg::OnConnectData(WPARAM what, ConnectInfo* record) {
    if (!record)
        return 1;
    if (what == CONNECT_DATA_APPENDED) {
        OnDataAppended(record);
        return 1;
    }
    // The peer closed: its socket is already closed and -1.
    if (record->treeItem) {
        const int image = record->unread ? kImageEntryClosedUnread : kImageEntryClosed;
        Tree()->SetItemImage(record->treeItem, image, image);
    }
    // The buttons follow the shown entry; another entry's close leaves them alone.
    if (IsShownRecord(record))
        SetButtonEnabled(kDisconnectSlot, false);
    return 1;
}
