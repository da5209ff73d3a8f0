// Driving the whole main window as a user does, for programs that run it off screen (the
// shutdown check, the screenshots): real clicks on tabs, buttons and tree rows, the input
// dialogs answered by the modal helper, bounded waits. User-interface thread only.
#pragma once

#include <QAbstractButton>
#include <QPlainTextEdit>
#include <vector>

#include "app/mgr_dlg.h"
#include "pages/dialogs/dlg_set_ip.h"
#include "pages/dialogs/set_listen_dlg.h"
#include "pages/dialogs/set_udp_server_ip.h"
#include "platform/dialog_template.h"
#include "skin/skin_tab.h"
#include "skin/tree_ctrl_ex.h"
#include "tests/support/modal_helper.h"
#include "tools/page_review/review_support.h"

namespace frame_driver {

using review::Click;
using review::WaitFor;

// Clicks the page's button `id`; false when the page has no such button.
inline bool Press(QWidget& page, int id) {
    auto* button = FindControlAs<QAbstractButton>(&page, id);
    if (!button)
        return false;
    Click(button, button->rect().center());
    return true;
}

inline std::vector<HTREEITEM> Entries(CTreeCtrlEx* tree) {
    std::vector<HTREEITEM> entries;
    for (HTREEITEM e = tree->GetChildItem(tree->GetRootItem()); e; e = tree->GetNextSiblingItem(e))
        entries.push_back(e);
    return entries;
}

// Waits for the entry at `index` of the page's tree; null if it did not come.
inline HTREEITEM WaitForEntry(CDialogP& page, std::size_t index) {
    if (!WaitFor([&] { return Entries(page.Tree()).size() > index; }))
        return nullptr;
    return Entries(page.Tree())[index];
}

inline void ClickRow(CDialogP& page, HTREEITEM item) {
    CTreeCtrlEx* tree = page.Tree();
    Click(tree->viewport(), tree->visualItemRect(CTreeCtrlEx::FromHandle(item)).center());
}

// Types `text` into the page's send box and presses its Send button `sendId`.
inline void SendText(CDialogP& page, int sendId, const QString& text) {
    page.SendBox()->setPlainText(text);
    Press(page, sendId);
}

// Clicks tab `index` and waits for its page.
inline bool ShowTab(CMgrDlg& frame, int index) {
    CSkinTab* tabs = frame.TabStrip();
    Click(tabs, tabs->GetItemRect(index).center());
    return WaitFor([&] { return frame.Page(index).isVisible(); });
}

// Create on a server page (`createId`) with the port dialog answered.
inline void CreateServer(CDialogP& page, int createId, std::uint16_t port) {
    ModalAnswer answer(ModalAnswer::TypeInto(CSetListenDlg::kPortFieldId, QString::number(port)));
    Press(page, createId);
}

// Create on the TCP client page for 127.0.0.1:port, then Connect the new entry; the entry,
// or null if it did not come.
inline HTREEITEM ConnectTcpClient(CMgrDlg& frame, std::uint16_t port) {
    CTcpClientDlg& page = frame.TcpClientPage();
    const std::size_t before = Entries(page.Tree()).size();
    {
        ModalAnswer answer(ModalAnswer::TypeInto(CDlgSetIp::kAddressFieldId, "127.0.0.1")
                               .TypeInto(CDlgSetIp::kPortFieldId, QString::number(port)));
        Press(page, CTcpClientDlg::kIds.create);
    }
    const HTREEITEM entry = WaitForEntry(page, before);
    if (entry) {
        ClickRow(page, entry);
        Press(page, CTcpClientDlg::kConnectId);
    }
    return entry;
}

// Create on the UDP client page: an endpoint on `localPort` aimed at 127.0.0.1:remotePort.
inline HTREEITEM CreateUdpClient(CMgrDlg& frame, std::uint16_t remotePort,
                                 std::uint16_t localPort) {
    CUdpClientDlg& page = frame.UdpClientPage();
    const std::size_t before = Entries(page.Tree()).size();
    {
        ModalAnswer answer(
            ModalAnswer::TypeInto(CSetUdpServerIp::kAddressFieldId, "127.0.0.1")
                .TypeInto(CSetUdpServerIp::kRemotePortFieldId, QString::number(remotePort))
                .TypeInto(CSetUdpServerIp::kLocalPortFieldId, QString::number(localPort)));
        Press(page, CUdpClientDlg::kIds.create);
    }
    return WaitForEntry(page, before);
}

}  // namespace frame_driver
