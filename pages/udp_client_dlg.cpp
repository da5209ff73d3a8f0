#include "pages/udp_client_dlg.h"

#include <arpa/inet.h>
#include <errno.h>

#include <memory>
#include <string>

#include "net/crit_sec.h"
#include "net/socket_error_text.h"
#include "pages/ansi_text.h"
#include "pages/endpoint_text.h"
#include "pages/file_send_tool.h"
#include "pages/set_udp_server_ip.h"
#include "pages/timed_send_tool.h"
#include "platform/message_box.h"
#include "skin/tree_ctrl_ex.h"

namespace {
// What a client's label shows as its local address: the machine's (the host node's), or
// the any-address it is bound to when the machine has none but loopback.
std::string LocalLabelAddress(const std::string& hostAddress) {
    in_addr address{};
    if (inet_pton(AF_INET, hostAddress.c_str(), &address) != 1 ||
        (ntohl(address.s_addr) >> 24) == 127) {
        return "0.0.0.0";
    }
    return hostAddress;
}
}  // namespace

CUdpClientDlg::CUdpClientDlg(QWidget* parent) : CUdpPage(kTemplateId, parent) {
    // No buttons of its own: Create and Delete only.
    Engine().SetClientNotifyWindow(
        BuildUdpPage(kPageColour, kIds, [](int width) { return (width / 2) / 2 + 155; }, {}));
    new TimedSendTool(*this);
    new FileSendTool(*this);
}

// ---- commands ------------------------------------------------------------------------------

std::optional<CUdpClientDlg::ClientChoice> CUdpClientDlg::AskForClient() {
    CSetUdpServerIp dialog(this, lastAddress_, kDialogColour);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return ClientChoice{dialog.RemotePort(), dialog.LocalPort(), dialog.RemoteAddress(),
                        dialog.LocalAddress()};
}

void CUdpClientDlg::OnCreate() {
    const std::optional<ClientChoice> choice = AskForClient();
    // One Create makes one client, whatever the count says.
    if (!choice || choice->remotePort < 1 || choice->localPort < 1)
        return;
    const auto host = GetHostNode();
    if (!host)
        return;

    // The local end: the any-address and the chosen port, so that datagrams to every
    // address of the machine arrive.
    const sockaddr_in local = choice->local;
    const SOCKET sock = OpenClientSocket(local);
    if (sock == INVALID_SOCKET)
        return;  // nothing made, nothing kept

    auto* record = new ConnectInfo;
    record->id = static_cast<std::uint32_t>(choice->localPort);
    record->clientAddr = local;
    record->serverAddr = choice->remote;
    record->sock = sock;
    {
        UiCritSecGuard lock(g_connectLock);
        Engine().Peers()[UdpKey(local)] = record;
    }
    // Both ports as entered (the remote one even where the address was unusable).
    const std::string label =
        EndpointText(LocalLabelAddress(host->info ? host->info->address : std::string()),
                     choice->localPort) +
        "<->" + EndpointText(choice->remote.sin_addr, choice->remotePort);
    Records().AddEntry(*record, FromAnsi(label), kImageEntryClosed);

    // From here on every datagram reaching the socket is logged on the record.
    if (!Engine().StartClientReceiving(record)) {
        // No thread to receive with: a client that could never hear anything is not kept.
        Tree()->SelectItem(record->treeItem);
        OnDelete();
        ShowMessageBox(this, QStringLiteral("创建套接字失败"), QStringLiteral("错误!"));
        return;
    }
    lastAddress_ = QString::fromStdString(DottedAddress(choice->remote.sin_addr));
    Tree()->SelectItem(record->treeItem);
    ShowEntry(record->treeItem);
}

SOCKET CUdpClientDlg::OpenClientSocket(const sockaddr_in& local) {
    const SOCKET sock = OpenSocket(SOCK_DGRAM);
    if (sock == INVALID_SOCKET) {
        ShowMessageBox(this, QStringLiteral("创建套接字失败"), QStringLiteral("错误!"));
        return INVALID_SOCKET;
    }
    if (BindSocket(sock, local) == SOCKET_ERROR) {
        const int error = errno;
        closesocket(sock);
        ShowMessageBox(this,
                       QString::fromStdU16String(MessageWithReason(
                           u"绑定本地端口出错", SocketOperation::kBindUdp, error)),
                       QStringLiteral("错误!"));
        return INVALID_SOCKET;
    }
    return sock;
}

// ---- what the base asks of the page ------------------------------------------------------

SOCKET CUdpClientDlg::SendingSocket(const ConnectInfo& record) const {
    return record.sock;  // -1 once the client ended: the send fails
}

const sockaddr_in& CUdpClientDlg::Destination(const ConnectInfo& record) const {
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
