#include "pages/tcp_client_page.h"

#include <QCoreApplication>
#include <QEvent>
#include <algorithm>
#include <string>

#include "net/crit_sec.h"
#include "net/dual_stack.h"
#include "net/socket_error_text.h"
#include "pages/core/endpoint_text.h"
#include "pages/dialogs/dlg_set_ip.h"
#include "pages/tcp/tcp_client_entry.h"
#include "pages/tools/all_entries.h"
#include "pages/tools/file_send_tool.h"
#include "pages/tools/reply_rules_tool.h"
#include "pages/tools/timed_send_tool.h"
#include "platform/message_box.h"
#include "skin/tree_ctrl_ex.h"

namespace {
QString ConnectFailedText() {
    return QCoreApplication::translate("TcpClientPage", "客户端连接失败!");
}
}  // namespace

CTcpClientDlg::CTcpClientDlg(QWidget* parent)
    : CTcpPage(kTemplateId, parent),
      connect_([this](SOCKET sock, bool connected) { OnConnectDone(sock, connected); }),
      batch_(*this) {
    BuildPage(kIds.tree, kPageColour, [this](const PageControls& controls) {
        return LayoutButtons(
            {{kSlot.create, kIds.create, kCreateBitmaps, [this] { OnCreate(); }},
             {kSlot.connect, kConnectId, kConnectBitmaps, [this] { OnConnect(); }},
             {kSlot.disconnect, kDisconnectId, kDisconnectBitmaps, [this] { OnDisconnect(); }},
             {kSlot.remove, kIds.remove, kDeleteBitmaps, [this] { OnDelete(); }}},
            TreeClientWidth(controls) / 4 / 2 + 4, kIds);
    });
    // Not while a single connect is pending: its record is the connect's until it ends.
    AddTcpAllEntriesMenu(
        *this, [this] { batch_.ConnectAll(); }, [this] { batch_.CancelAll(); },
        [this] { return ConnectPending(); }, [this] { return batch_.Running(); });
    new TimedSendTool(*this);
    new ReplyRulesTool(*this, nullptr);
    new FileSendTool(*this);
}

CTcpClientDlg::~CTcpClientDlg() {
    connect_.Abandon();
    connecting_.clear();
    outcomes_.clear();
    // The base's tear-down closes every socket, those still connecting too: their helper
    // threads then end.
}

bool CTcpClientDlg::IsConnecting(const ConnectInfo* record) const {
    return connecting_.count(record) != 0;
}

void CTcpClientDlg::RecordFreeing(const ConnectInfo* record) {
    CancelConnect(record);
    CTcpPage::RecordFreeing(record);
}

void CTcpClientDlg::CancelConnect(const ConnectInfo* record) {
    // Whoever waited hears that the entry did not connect.
    if (auto outcome = TakeOutcome(record))
        outcome(false);
    const auto found = connecting_.find(record);
    if (found == connecting_.end())
        return;
    connect_.Cancel(found->second);
    connecting_.erase(found);
}

// ---- commands ------------------------------------------------------------------------------

void CTcpClientDlg::OnCreate() {
    int port = 0;
    int count = 0;
    Endpoint remote;
    ClientTls tls;
    {
        CDlgSetIp dialog(this, lastAddress_, kDialogColour);
        if (dialog.exec() != QDialog::Accepted)
            return;
        port = dialog.Port();
        count = dialog.Count();
        remote = dialog.RemoteAddress();
        tls = {dialog.Tls(), dialog.VerifyCertificate(), dialog.TypedHost().toStdString()};
    }
    if (port <= 0)
        return;
    AddEntries(remote, count, tls);
}

HTREEITEM CTcpClientDlg::AddEntries(const Endpoint& remote, int count, const ClientTls& tls) {
    if (!GetHostNode())
        return nullptr;

    // `count` entries for the same server, in order; their sockets open on Connect.
    HTREEITEM entry = nullptr;
    for (int i = 0; i < std::max(1, count); ++i) {
        auto* record = new ConnectInfo;
        record->serverAddr = remote;
        record->tls = tls.on;
        record->tlsVerify = tls.on && tls.verify;
        // Without a name typed, the address is what the certificate is checked against.
        record->hostName = tls.host.empty() ? remote.AddressText() : tls.host;
        record->knownSince = {};  // connected since: set when it connects
        Engine().AddConnection(record);
        entry = Records().AddEntry(*record, ClientEntryLabel(*record), kImageEntryClosed);
    }
    lastAddress_ = QString::fromStdString(remote.AddressText());
    Tree()->SelectItem(entry);
    ShowEntry(entry);
    return entry;
}

void CTcpClientDlg::OnConnect() {
    ConnectEntry(Records().SelectedRecord());
}

void CTcpClientDlg::ConnectEntry(ConnectInfo* record, std::function<void(bool connected)> outcome) {
    if (!record)
        return;
    {
        UiCritSecGuard lock(g_connectLock);
        if (record->sock != INVALID_SOCKET)
            return;  // connected already: left alone
    }
    // What this machine's IPv6 cannot reach is said at once, with why.
    if (const int obstacle = Ipv6Obstacle(record->serverAddr); obstacle != 0 && !outcome) {
        AfxMessageBox(QString::fromStdU16String(
            MessageWithReason(ConnectFailedText().toStdU16String(), SocketOperation::kConnect,
                              obstacle, AddressFamily::kIpv6)));
        return;
    }
    SOCKET sock = INVALID_SOCKET;
    {
        UiCritSecGuard lock(g_connectLock);
        record->sock = OpenSocket(SOCK_STREAM, record->serverAddr.Family());
        sock = record->sock;
    }
    if (sock == INVALID_SOCKET) {
        if (outcome) {
            outcome(false);
            return;
        }
        AfxMessageBox(QCoreApplication::translate("TcpClientPage", "创建套接字出错!"));
        AfxMessageBox(ConnectFailedText());  // a connect without a socket fails at once
        return;
    }
    if (outcome)
        outcomes_[record] = std::move(outcome);
    if (!connect_.Start(sock, record->serverAddr)) {
        FailConnect(record, sock);
        return;
    }
    connecting_[record] = sock;
    // Shown as busy: closed, Disconnect to cancel.
    if (Records().IsSelected(record))
        ShowEntry(record->treeItem);
}

void CTcpClientDlg::OnDisconnect() {
    CancelConnect(Records().SelectedRecord());
    CTcpPage::OnDisconnect();
}

// Runs from the event loop once a helper thread reported or its give-up time passed.
void CTcpClientDlg::OnConnectDone(SOCKET sock, bool connected) {
    ConnectInfo* record = nullptr;
    for (auto it = connecting_.begin(); it != connecting_.end(); ++it) {
        if (it->second == sock) {
            record = const_cast<ConnectInfo*>(it->first);
            connecting_.erase(it);
            break;
        }
    }
    if (!record)
        return;
    if (!connected) {
        FailConnect(record, sock);
        return;
    }

    // Without a receive thread the connection would look open but never hear the server.
    if (!PrepareClientStream(*record, sock) ||
        Engine().StartReceiving(record, WindowHandle()) != 0) {
        FailConnect(record, sock);
        return;
    }
    MarkClientConnected(*this, *record, sock);
    ShowEntry(record->treeItem);
    if (auto outcome = TakeOutcome(record))
        outcome(true);
}

std::function<void(bool connected)> CTcpClientDlg::TakeOutcome(const ConnectInfo* record) {
    const auto found = outcomes_.find(record);
    if (found == outcomes_.end())
        return {};
    auto outcome = std::move(found->second);
    outcomes_.erase(found);
    return outcome;
}

void CTcpClientDlg::FailConnect(ConnectInfo* record, SOCKET sock) {
    {
        UiCritSecGuard lock(g_connectLock);
        if (record->sock == sock) {
            closesocket(sock);
            record->sock = INVALID_SOCKET;
        }
    }
    if (Records().IsSelected(record))
        ShowEntry(record->treeItem);
    if (auto outcome = TakeOutcome(record)) {
        outcome(false);
        return;
    }
    AfxMessageBox(ConnectFailedText());
}

// ---- views ---------------------------------------------------------------------------------

int CTcpClientDlg::EntryImage(const ConnectInfo& record) const {
    return IsConnecting(&record) ? kImageEntryClosed : CTcpPage::EntryImage(record);
}

bool CTcpClientDlg::CanSendTo(const ConnectInfo* record) {
    if (IsConnecting(record)) {
        ShowMessageBox(this, QCoreApplication::translate("TcpClientPage", "正在连接，请稍候！"),
                       QCoreApplication::translate("TcpClientPage", "提示!"));
        return false;
    }
    return CTcpPage::CanSendTo(record);
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
