#include "pages/udp/udp_groups.h"

#include <arpa/inet.h>
#include <errno.h>

#include <QCoreApplication>
#include <QMenu>
#include <algorithm>

#include "net/udp_membership.h"
#include "pages/core/ansi_text.h"
#include "pages/core/dialog_p.h"
#include "pages/core/endpoint_text.h"
#include "pages/dialogs/join_group_dlg.h"
#include "platform/message_box.h"
#include "skin/tree_ctrl_ex.h"

UdpGroups::UdpGroups(CDialogP& page, COLORREF dialogColour, std::function<SOCKET()> serverSocket)
    : page_(page), dialogColour_(dialogColour), serverSocket_(std::move(serverSocket)) {}

UdpGroups::~UdpGroups() {
    page_.RemoveTool(*this);  // the page's tear-down runs after its members are gone
}

void UdpGroups::AddMenu() {
    page_.AddTool(*this);
}

void UdpGroups::FillTreeMenu(QMenu& menu, HTREEITEM item) {
    if (page_.Records().IsHostNode(item))
        menu.addAction(QCoreApplication::translate("UdpGroups", "加入组播组…"), &page_,
                       [this] { AskAndJoin(); });
    else if (IsGroupChild(item))
        menu.addAction(QCoreApplication::translate("UdpGroups", "退出组播组"), &page_,
                       [this, item] { Leave(item); });
}

void UdpGroups::AskAndJoin() {
    Endpoint group;
    {
        CJoinGroupDlg dialog(&page_, dialogColour_);
        if (dialog.exec() != QDialog::Accepted)
            return;
        group = dialog.Group();
    }
    Join(group);
}

bool UdpGroups::Join(const Endpoint& group) {
    const auto host = page_.GetHostNode();
    if (!host)
        return false;
    for (const auto& [child, joined] : groups_) {
        if (joined == group) {
            ShowFailure(QCoreApplication::translate("UdpGroups", "加入组播组失败："), EADDRINUSE);
            return false;
        }
    }
    const SOCKET sock = serverSocket_();
    if (sock == INVALID_SOCKET) {
        ShowMessageBox(&page_,
                       QCoreApplication::translate("UdpGroups", "服务器未启动，无法加入组播组！"),
                       QCoreApplication::translate("UdpGroups", "提示"));
        return false;
    }
    if (const int error = JoinMulticastGroup(sock, group)) {
        ShowFailure(QCoreApplication::translate("UdpGroups", "加入组播组失败："), error);
        return false;
    }
    joinedOn_ = sock;
    CTreeCtrlEx* tree = page_.Tree();
    // No item data: the child carries no record.
    const HTREEITEM child = tree->InsertItem(FromAnsi(group.AddressText()), kImageHostOpen,
                                             kImageHostOpen, host->item, TVI_LAST);
    tree->Expand(host->item);
    groups_[child] = group;
    return true;
}

void UdpGroups::Leave(HTREEITEM child) {
    const auto found = groups_.find(child);
    if (found == groups_.end())
        return;
    const Endpoint group = found->second;
    groups_.erase(found);
    const bool wasSelected = page_.Records().Selected() == child;
    page_.Tree()->DeleteItem(child);
    if (wasSelected)
        page_.ShowEntry(page_.Records().Selected());
    // A closed server socket left every group already.
    const SOCKET sock = serverSocket_();
    if (sock == INVALID_SOCKET)
        return;
    if (const int error = LeaveMulticastGroup(sock, group))
        ShowFailure(QCoreApplication::translate("UdpGroups", "退出组播组失败："), error);
}

std::vector<Endpoint> UdpGroups::Joined() const {
    std::vector<Endpoint> joined;
    for (const auto& [child, group] : groups_) joined.push_back(group);
    std::sort(joined.begin(), joined.end());
    return joined;
}

void UdpGroups::LeaveAll() {
    while (!groups_.empty()) Leave(groups_.begin()->first);
}

void UdpGroups::SocketChanged() {
    const SOCKET sock = serverSocket_();
    for (const auto& [child, group] : groups_)
        page_.Records().SetImage(child, sock == INVALID_SOCKET ? kImageHostIdle : kImageHostOpen);
    if (sock == INVALID_SOCKET || sock == joinedOn_)
        return;
    joinedOn_ = sock;
    for (const auto& [child, group] : groups_) {
        if (const int error = JoinMulticastGroup(sock, group)) {
            ShowFailure(QCoreApplication::translate("UdpGroups", "加入组播组 %1 失败：")
                            .arg(QString::fromStdString(group.AddressText())),
                        error);
        }
    }
}

void UdpGroups::ShowFailure(const QString& what, int error) {
    ShowMessageBox(&page_, what + QString::fromStdU16String(MembershipErrorText(error)),
                   QCoreApplication::translate("UdpGroups", "提示"));
}
