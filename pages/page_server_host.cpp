#include "pages/page_server_host.h"

#include <arpa/inet.h>
#include <errno.h>

#include <string>

#include "net/socket_error_text.h"
#include "pages/ansi_text.h"
#include "pages/dialog_p.h"
#include "pages/set_listen_dlg.h"
#include "platform/message_box.h"
#include "skin/tree_ctrl_ex.h"

ServerHost::ServerHost(CDialogP& page, COLORREF dialogColour, int startSlot, int stopSlot,
                       Socket socket)
    : page_(page),
      dialogColour_(dialogColour),
      startSlot_(startSlot),
      stopSlot_(stopSlot),
      socket_(std::move(socket)) {}

void ServerHost::Create() {
    // One server per page: while it listens its port stays, and the user is told so rather
    // than asked for a port that could not be used.
    if (const auto host = page_.GetHostNode(); host && host->info && host->info->listening) {
        ShowMessageBox(&page_, QStringLiteral("已在端口 %1 监听").arg(host->info->port),
                       QStringLiteral("提示"));
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
    if (port < 1)
        return;
    const auto host = page_.GetHostNode();
    if (!host)
        return;
    HostInfo* info = host->info;
    if (!info) {
        const QString problem = QStringLiteral("获取节点数据错误");
        ShowMessageBox(&page_, problem, problem);
        return;
    }
    // Not listening: the new port replaces any earlier one, and the server starts on it.
    info->port = port;
    page_.Tree()->SetItemText(host->item, FromAnsi(info->address + ":" + std::to_string(port)));
    Start();
    page_.Tree()->SelectItem(host->item);
    page_.ShowEntry(host->item);
}

void ServerHost::Start() {
    const auto host = page_.GetHostNode();
    HostInfo* info = host ? host->info : nullptr;
    if (!info || info->listening)
        return;
    if (info->port < 1) {
        ShowMessageBox(&page_, QStringLiteral("监听端口不正确"), QStringLiteral("错误！"));
        return;
    }
    const SOCKET opened = socket_.open(static_cast<std::uint16_t>(info->port));
    if (opened == INVALID_SOCKET) {
        const int error = errno;  // the engine's reason
        // The port stays, so starting can be tried again.
        ShowMessageBox(&page_,
                       QString::fromStdU16String(MessageWithReason(
                           u"监听启动失败", SocketOperation::kStartServer, error)),
                       QStringLiteral("错误！"));
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
    info.listening = open;
    info.sock = sock;
    SetStartStop(!open, open);
    if (socket_.changed)
        socket_.changed();
}

void ServerHost::ShowHostButtons() {
    const auto host = page_.GetHostNode();
    const HostInfo* info = host ? host->info : nullptr;
    if (!info || info->port < 1) {
        DisableStartStop();
        return;
    }
    SetStartStop(!info->listening, info->listening);
}

void ServerHost::DisableStartStop() {
    SetStartStop(false, false);
}

LRESULT ServerHost::AddPeerEntry(ConnectInfo* record) {
    const auto host = page_.GetHostNode();
    if (!host)
        return 1;
    if (!record) {
        ShowMessageBox(&page_, QStringLiteral("pConnectInfo is null"), QStringLiteral("error!"));
        return 1;
    }
    char dotted[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &record->clientAddr.sin_addr, dotted, sizeof dotted);
    const std::string label =
        std::string(dotted) + ":" + std::to_string(ntohs(record->clientAddr.sin_port));
    CTreeCtrlEx& tree = *page_.Tree();
    record->treeItem =
        tree.InsertItem(FromAnsi(label), kImageEntryOpen, kImageEntryOpen, host->item, TVI_LAST);
    tree.SetItemData(record->treeItem, reinterpret_cast<std::uintptr_t>(record));
    tree.Expand(host->item);
    return 1;
}

bool ServerHost::IsOpen() const {
    const auto host = page_.GetHostNode();
    return host && host->info && host->info->listening;
}

SOCKET ServerHost::ServerSocket() const {
    const auto host = page_.GetHostNode();
    return host && host->info ? host->info->sock : INVALID_SOCKET;
}

void ServerHost::SetStartStop(bool start, bool stop) {
    page_.ButtonSlot(startSlot_).setEnabled(start);
    page_.ButtonSlot(stopSlot_).setEnabled(stop);
}

void ServerHost::StartOnPort(int port) {
    const auto host = page_.GetHostNode();
    HostInfo* info = host ? host->info : nullptr;
    if (port < 1 || port > 65535 || !info || info->port >= 1)
        return;
    info->port = port;
    page_.Tree()->SetItemText(host->item, FromAnsi(info->address + ":" + std::to_string(port)));
    Start();
    page_.Tree()->SelectItem(host->item);
    page_.ShowEntry(host->item);
}
