#include "pages/core/page_server_host.h"

#include <errno.h>

#include <QCoreApplication>
#include <QStringList>
#include <string>

#include "net/dual_stack.h"
#include "net/socket_error_text.h"
#include "pages/core/ansi_text.h"
#include "pages/core/dialog_p.h"
#include "pages/core/endpoint_text.h"
#include "pages/dialogs/set_listen_dlg.h"
#include "platform/message_box.h"
#include "skin/tree_ctrl_ex.h"

ServerHost::ServerHost(CDialogP& page, COLORREF dialogColour, Socket socket)
    : page_(page), dialogColour_(dialogColour), socket_(std::move(socket)) {}

void ServerHost::Create() {
    // One server per page: while it listens its port stays, and the user is told so rather
    // than asked for a port that could not be used.
    if (const auto host = page_.GetHostNode(); host && host->info && host->info->IsOpen()) {
        ShowMessageBox(
            &page_,
            QCoreApplication::translate("PageServerHost", "已在端口 %1 监听").arg(host->info->port),
            QCoreApplication::translate("PageServerHost", "提示"));
        return;
    }
    int port = 0;
    {
        // No parent: the main window owns the dialog.
        CSetListenDlg dialog(nullptr, dialogColour_);
        if (dialog.exec() != QDialog::Accepted)
            return;
        port = dialog.Port();
    }
    StartOnPort(port);
}

void ServerHost::StartOnPort(int port) {
    if (port < 1 || port > 65535)
        return;
    const auto host = page_.GetHostNode();
    if (!host)
        return;
    HostInfo* info = host->info;
    if (!info) {
        const QString problem = QCoreApplication::translate("PageServerHost", "获取节点数据错误");
        ShowMessageBox(&page_, problem, problem);
        return;
    }
    if (info->IsOpen())
        return;
    // Not listening: the new port replaces any earlier one, and the server starts on it.
    info->port = port;
    page_.Tree()->SetItemText(host->item, HostNodeLabel(*info));
    Start();
    page_.Tree()->SelectItem(host->item);
    page_.ShowEntry(host->item);
}

void ServerHost::ChoosePort(int port) {
    const auto host = page_.GetHostNode();
    if (!host || !host->info || host->info->IsOpen() || port < 0 || port > 65535)
        return;
    HostInfo& info = *host->info;
    info.port = port;
    page_.Tree()->SetItemText(host->item, HostNodeLabel(info));
    page_.ApplyButtons();
}

int ServerHost::Port() const {
    const auto host = page_.GetHostNode();
    return host && host->info ? host->info->port : 0;
}

void ServerHost::Start() {
    const auto host = page_.GetHostNode();
    HostInfo* info = host ? host->info : nullptr;
    if (!info || info->IsOpen())
        return;
    if (info->port < 1) {
        ShowMessageBox(&page_, QCoreApplication::translate("PageServerHost", "监听端口不正确"),
                       QCoreApplication::translate("PageServerHost", "错误！"));
        return;
    }
    if (socket_.prepare && !socket_.prepare())
        return;  // told the user why; the server stays stopped
    const SOCKET opened = socket_.open(static_cast<std::uint16_t>(info->port));
    if (opened == INVALID_SOCKET) {
        const int error = errno;  // the engine's reason
        // The port stays, so starting can be tried again.
        ShowMessageBox(
            &page_,
            QString::fromStdU16String(MessageWithReason(
                QCoreApplication::translate("PageServerHost", "监听启动失败").toStdU16String(),
                SocketOperation::kStartServer, error)),
            QCoreApplication::translate("PageServerHost", "错误！"));
        return;
    }
    SetOpen(host->item, *info, opened);
}

void ServerHost::Stop() {
    const auto host = page_.GetHostNode();
    if (!host || !host->info)
        return;
    if (host->info->sock != INVALID_SOCKET)
        socket_.close(host->info->sock);
    SetOpen(host->item, *host->info, INVALID_SOCKET);
}

void ServerHost::SetOpen(HTREEITEM hostItem, HostInfo& info, SOCKET sock) {
    const bool open = sock != INVALID_SOCKET;
    const int image = open ? kImageHostOpen : kImageHostIdle;
    page_.Tree()->SetItemImage(hostItem, image, image);
    info.sock = sock;
    page_.ApplyButtons();
    if (socket_.changed)
        socket_.changed();
}

void ServerHost::SetLabelSuffix(const std::string& suffix) {
    const auto host = page_.GetHostNode();
    if (!host || !host->info || host->info->labelSuffix == suffix)
        return;
    host->info->labelSuffix = suffix;
    page_.Tree()->SetItemText(host->item, HostNodeLabel(*host->info));
}

ServerState ServerHost::State() const {
    const auto host = page_.GetHostNode();
    const HostInfo* info = host ? host->info : nullptr;
    return {info && info->port >= 1, info && info->IsOpen()};
}

LRESULT ServerHost::AddPeerEntry(ConnectInfo* record) {
    const auto host = page_.GetHostNode();
    if (!host)
        return 1;
    if (!record) {
        ShowMessageBox(&page_, QStringLiteral("pConnectInfo is null"), QStringLiteral("error!"));
        return 1;
    }
    page_.Records().AddEntry(*record, FromAnsi(EndpointText(record->clientAddr)), kImageEntryOpen);
    return 1;
}

QString ServerHost::FamilyNote() const {
    if (!IsOpen())
        return {};
    const int ipv6Error = socket_.ipv6Error ? socket_.ipv6Error() : EAFNOSUPPORT;
    if (ipv6Error != 0) {
        return QCoreApplication::translate("PageServerHost", "仅 IPv4，IPv6 不可用：") +
               QString::fromStdU16String(SocketErrorReason(SocketOperation::kStartServer, ipv6Error,
                                                           AddressFamily::kIpv6));
    }
    QStringList addresses;
    for (const Endpoint& address : LocalIpv6Addresses())
        addresses << QString::fromStdString(address.AddressText());
    // The list's separator differs by language ("、" in Chinese).
    return QCoreApplication::translate("PageServerHost", "IPv6 地址：") +
           addresses.join(QCoreApplication::translate("PageServerHost", "、"));
}

bool ServerHost::IsOpen() const {
    const auto host = page_.GetHostNode();
    return host && host->info && host->info->IsOpen();
}

SOCKET ServerHost::ServerSocket() const {
    const auto host = page_.GetHostNode();
    return host && host->info ? host->info->sock : INVALID_SOCKET;
}
