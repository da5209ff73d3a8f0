#include "pages/udp_client_page.h"

#include <errno.h>

#include <QCoreApplication>
#include <algorithm>
#include <memory>
#include <string>

#include "net/crit_sec.h"
#include "net/socket_error_text.h"
#include "net/udp_membership.h"
#include "pages/core/ansi_text.h"
#include "pages/core/endpoint_text.h"
#include "pages/dialogs/set_udp_server_ip.h"
#include "pages/tools/all_entries.h"
#include "pages/tools/file_send_tool.h"
#include "pages/tools/reply_rules_tool.h"
#include "pages/tools/timed_send_tool.h"
#include "platform/message_box.h"
#include "skin/tree_ctrl_ex.h"

namespace {
// What a client's label shows as its local address: the machine's (the host node's), or
// the any-address it is bound to when the machine has none but loopback.
// An IPv6 client is bound to ::, and shown so.
std::string LocalLabelAddress(const std::string& hostAddress, const Endpoint& local) {
    if (local.Family() == AddressFamily::kIpv6)
        return "[::]";
    const std::optional<Endpoint> address = Endpoint::FromText(hostAddress, 0);
    if (!address || (address->Ipv4Address() >> 24) == 127) {
        return "0.0.0.0";
    }
    return hostAddress;
}
}  // namespace

CUdpClientDlg::CUdpClientDlg(QWidget* parent) : CUdpPage(kTemplateId, parent) {
    // No buttons of its own: Create and Delete only.
    Engine().SetClientNotifyWindow(
        BuildUdpPage(kPageColour, kIds, [](int width) { return (width / 2) / 2 + 155; }, {}));
    AddUdpAllEntriesMenu(*this,
                         [](const ConnectInfo& record) { return record.sock != INVALID_SOCKET; });
    new TimedSendTool(*this);
    new ReplyRulesTool(*this, nullptr);
    new FileSendTool(*this);
}

// ---- commands ------------------------------------------------------------------------------

std::optional<CUdpClientDlg::ClientChoice> CUdpClientDlg::AskForClient() {
    CSetUdpServerIp dialog(this, lastAddress_, kDialogColour);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return ClientChoice{dialog.RemotePort(),   dialog.LocalPort(),     dialog.ClientCount(),
                        dialog.MulticastTtl(), dialog.RemoteAddress(), dialog.LocalAddress()};
}

void CUdpClientDlg::OnCreate() {
    const std::optional<ClientChoice> choice = AskForClient();
    if (!choice || choice->remotePort < 1 || choice->localPort < 1)
        return;
    if (!GetHostNode())
        return;

    // One client per local port from the dialog's on. A port that cannot be had ends the
    // run; the clients made before it stay.
    HTREEITEM last = nullptr;
    for (int i = 0; i < std::max(1, choice->count); ++i) {
        const int port = choice->localPort + i;
        if (port > 65535)
            break;
        if (i > 0 && LocalPortTaken(port)) {
            AfxMessageBox(QCoreApplication::translate("UdpClientPage", "本地端口已经被占用!"));
            break;
        }
        const HTREEITEM made = CreateClient(*choice, port);
        if (!made)
            break;
        last = made;
    }
    if (!last)
        return;
    lastAddress_ = QString::fromStdString(choice->remote.AddressText());
    Tree()->SelectItem(last);
    ShowEntry(last);
}

HTREEITEM CUdpClientDlg::AddClient(const Endpoint& remote, int localPort, int multicastTtl) {
    if (!GetHostNode())
        return nullptr;
    if (LocalPortTaken(localPort)) {
        AfxMessageBox(QCoreApplication::translate("UdpClientPage", "本地端口已经被占用!"));
        return nullptr;
    }
    const ClientChoice choice{remote.Port(), localPort, 1,
                              multicastTtl,  remote,    Endpoint::Ipv4(INADDR_ANY, 0)};
    const HTREEITEM made = CreateClient(choice, localPort);
    if (made) {
        lastAddress_ = QString::fromStdString(choice.remote.AddressText());
        Tree()->SelectItem(made);
        ShowEntry(made);
    }
    return made;
}

bool CUdpClientDlg::LocalPortTaken(int port) {
    return LocalPortUsed(Engine(), port);
}

HTREEITEM CUdpClientDlg::CreateClient(const ClientChoice& choice, int localPort) {
    const auto host = GetHostNode();
    // The local end: the any-address and the port, so that datagrams to every address of
    // the machine (and to a group the client joins) arrive.
    const Endpoint& remote = choice.remote;
    const Endpoint local =
        ClientBindAddress(choice.local, remote).WithPort(static_cast<std::uint16_t>(localPort));
    const SOCKET sock = OpenClientSocket(local);
    if (sock == INVALID_SOCKET)
        return nullptr;  // nothing made, nothing kept
    // Broadcast allowed; a group's client joins it, sends with the chosen time-to-live and
    // hears its own datagrams.
    if (const int error = AimClientSocket(sock, remote, choice.multicastTtl)) {
        closesocket(sock);
        const QString what = IsMulticastGroup(remote)
                                 ? QCoreApplication::translate("UdpClientPage", "加入组播组失败：")
                                 : QCoreApplication::translate("UdpClientPage", "设置广播失败：");
        ShowMessageBox(this, what + QString::fromStdU16String(MembershipErrorText(error)),
                       QCoreApplication::translate("UdpClientPage", "错误!"));
        return nullptr;
    }

    auto* record = new ConnectInfo;
    record->id = static_cast<std::uint32_t>(localPort);
    record->clientAddr = local;
    record->serverAddr = choice.remote;
    record->sock = sock;
    record->multicastTtl = choice.multicastTtl;
    {
        UiCritSecGuard lock(g_connectLock);
        Engine().Peers()[UdpKey(local)] = record;
    }
    // Both ports as entered (the remote address as typed: a broadcast or group address too).
    const std::string label =
        EndpointText(
            LocalLabelAddress(host && host->info ? host->info->address : std::string(), local),
            localPort) +
        "<->" + EndpointText(choice.remote, choice.remotePort);
    Records().AddEntry(*record, FromAnsi(label), kImageEntryClosed);

    // From here on every datagram reaching the socket is logged on the record.
    if (!Engine().StartClientReceiving(record)) {
        // No thread to receive with: a client that could never hear anything is not kept.
        Tree()->SelectItem(record->treeItem);
        OnDelete();
        ShowMessageBox(this, QCoreApplication::translate("UdpClientPage", "创建套接字失败"),
                       QCoreApplication::translate("UdpClientPage", "错误!"));
        return nullptr;
    }
    return record->treeItem;
}

SOCKET CUdpClientDlg::OpenClientSocket(const Endpoint& local) {
    const SOCKET sock = OpenSocket(SOCK_DGRAM, local.Family());
    if (sock == INVALID_SOCKET) {
        const int error = errno;
        // Without IPv6 on the machine, say so; otherwise as ever.
        const QString failed = QCoreApplication::translate("UdpClientPage", "创建套接字失败");
        ShowMessageBox(this,
                       error == EAFNOSUPPORT
                           ? QString::fromStdU16String(MessageWithReason(
                                 failed.toStdU16String(), SocketOperation::kBindUdp, error))
                           : failed,
                       QCoreApplication::translate("UdpClientPage", "错误!"));
        return INVALID_SOCKET;
    }
    if (BindSocket(sock, local) == SOCKET_ERROR) {
        const int error = errno;
        closesocket(sock);
        ShowMessageBox(
            this,
            QString::fromStdU16String(MessageWithReason(
                QCoreApplication::translate("UdpClientPage", "绑定本地端口出错").toStdU16String(),
                SocketOperation::kBindUdp, error, local.Family())),
            QCoreApplication::translate("UdpClientPage", "错误!"));
        return INVALID_SOCKET;
    }
    return sock;
}

// ---- what the base asks of the page ------------------------------------------------------

SOCKET CUdpClientDlg::SendingSocket(const ConnectInfo& record) const {
    return record.sock;  // -1 once the client ended: the send fails
}

const Endpoint& CUdpClientDlg::Destination(const ConnectInfo& record) const {
    return record.serverAddr;
}

void CUdpClientDlg::ShowEntry(HTREEITEM item) {
    if (item)
        endedSinceShown_ = false;
    CUdpPage::ShowEntry(item);
}

ButtonSet CUdpClientDlg::EnabledButtons() const {
    return UdpClientButtons(Shown(), endedSinceShown_);
}

void CUdpClientDlg::OnReceptionEnded(ConnectInfo&) {
    // Delete waits until an entry is shown again, whichever entry ended.
    endedSinceShown_ = true;
    ApplyButtons();
}
