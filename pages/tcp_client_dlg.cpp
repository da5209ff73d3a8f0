#include "pages/tcp_client_dlg.h"

#include <QEvent>
#include <string>

#include "net/crit_sec.h"
#include "pages/ansi_text.h"
#include "pages/dlg_set_ip.h"
#include "pages/endpoint_text.h"
#include "pages/file_send_tool.h"
#include "pages/timed_send_tool.h"
#include "platform/message_box.h"
#include "skin/tree_ctrl_ex.h"

namespace {
// Between the local and the remote end in a connected entry's label.
const QString kLabelJoin = QStringLiteral("<->");

const QString kConnectFailed = QStringLiteral("客户端连接失败!");
}  // namespace

CTcpClientDlg::CTcpClientDlg(QWidget* parent)
    : CTcpPage(kTemplateId, parent),
      connect_([this](SOCKET sock, bool connected) { OnConnectDone(sock, connected); }) {
    BuildPage(kIds.tree, kPageColour, [this](const PageControls& controls) {
        return LayoutButtons(
            {{kSlot.create, kIds.create, kCreateBitmaps, [this] { OnCreate(); }},
             {kSlot.connect, kConnectId, kConnectBitmaps, [this] { OnConnect(); }},
             {kSlot.disconnect, kDisconnectId, kDisconnectBitmaps, [this] { OnDisconnect(); }},
             {kSlot.remove, kIds.remove, kDeleteBitmaps, [this] { OnDelete(); }}},
            TreeClientWidth(controls) / 4 / 2 + 4, kIds);
    });
    new TimedSendTool(*this);
    new FileSendTool(*this);
}

CTcpClientDlg::~CTcpClientDlg() {
    connect_.Abandon();
    connecting_ = nullptr;
    // The base's tear-down closes every socket, the one still connecting too: its helper
    // thread then ends.
}

void CTcpClientDlg::OnCommand(int id) {
    if (connect_.Pending())
        return;
    CTcpPage::OnCommand(id);
}

bool CTcpClientDlg::eventFilter(QObject* watched, QEvent* event) {
    if (connect_.Pending() && Tree() && watched == Tree()->viewport()) {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
                return true;  // neither the views nor the tree's caret follow it
            default:
                break;
        }
    }
    return CTcpPage::eventFilter(watched, event);
}

// ---- commands ------------------------------------------------------------------------------

void CTcpClientDlg::OnCreate() {
    int port = 0;
    sockaddr_in remote{};
    {
        CDlgSetIp dialog(this, lastAddress_, kDialogColour);
        if (dialog.exec() != QDialog::Accepted)
            return;
        port = dialog.Port();
        remote = dialog.RemoteAddress();
    }
    if (port <= 0)
        return;
    if (!GetHostNode())
        return;

    // One entry per Create, whatever count the dialog was given. The socket opens on Connect.
    auto* record = new ConnectInfo;
    record->serverAddr = remote;
    Engine().AddConnection(record);

    lastAddress_ = QString::fromStdString(DottedAddress(remote.sin_addr));

    // Labelled with the port as entered (an unusable address was given port 65535).
    const HTREEITEM entry = Records().AddEntry(
        *record, FromAnsi(EndpointText(remote.sin_addr, port)), kImageEntryClosed);
    Tree()->SelectItem(entry);
    ShowEntry(entry);
}

void CTcpClientDlg::OnConnect() {
    ConnectInfo* record = Records().SelectedRecord();
    if (!record)
        return;
    SOCKET sock = INVALID_SOCKET;
    {
        UiCritSecGuard lock(g_connectLock);
        if (record->sock != INVALID_SOCKET)
            return;  // connected already: left alone
        record->sock = OpenSocket(SOCK_STREAM);
        sock = record->sock;
    }
    if (sock == INVALID_SOCKET) {
        AfxMessageBox(QStringLiteral("创建套接字出错!"));
        AfxMessageBox(kConnectFailed);  // a connect without a socket fails at once
        return;
    }
    connecting_ = record;
    if (!connect_.Start(sock, record->serverAddr)) {
        connecting_ = nullptr;
        FailConnect(record, sock);
        return;
    }
    setCursor(Qt::BusyCursor);
}

// Runs from the event loop once the helper thread reported or the give-up time passed.
void CTcpClientDlg::OnConnectDone(SOCKET sock, bool connected) {
    unsetCursor();
    ConnectInfo* record = connecting_;
    connecting_ = nullptr;
    if (!record)
        return;
    if (!connected) {
        FailConnect(record, sock);
        return;
    }

    // Without a receive thread the connection would look open but never hear the server.
    if (Engine().StartReceiving(record, WindowHandle()) != 0) {
        FailConnect(record, sock);
        return;
    }
    // "local<->remote": the remote end of an earlier label is kept.
    sockaddr_in local{};
    GetSocketName(sock, local);
    QString remoteEnd = Tree()->GetItemText(record->treeItem);
    const qsizetype join = remoteEnd.indexOf(kLabelJoin);
    if (join >= 0)
        remoteEnd = remoteEnd.mid(join + kLabelJoin.size());
    Tree()->SetItemText(record->treeItem, FromAnsi(EndpointText(local)) + kLabelJoin + remoteEnd);
    ShowEntry(record->treeItem);
}

void CTcpClientDlg::FailConnect(ConnectInfo* record, SOCKET sock) {
    {
        UiCritSecGuard lock(g_connectLock);
        if (record->sock == sock) {
            closesocket(sock);
            record->sock = INVALID_SOCKET;
        }
    }
    AfxMessageBox(kConnectFailed);
}

// ---- views ---------------------------------------------------------------------------------

void CTcpClientDlg::ShowEntry(HTREEITEM item) {
    if (connect_.Pending())
        return;  // the page's buttons stay as they are until the connect is over
    CTcpPage::ShowEntry(item);
}

ButtonSet CTcpClientDlg::EnabledButtons() const {
    return TcpClientButtons(Shown());
}

// ---- notifications (user-interface thread; the receive thread holds the lock) --------------

void CTcpClientDlg::OnReceptionEnded(ConnectInfo& record) {
    // Unseen data marks the entry unless it is the selected one.
    const bool unseen = record.unread && !Records().IsSelected(&record);
    Records().SetImage(record.treeItem, unseen ? kImageEntryClosedUnread : kImageEntryClosed);
    CTcpPage::OnReceptionEnded(record);
}
