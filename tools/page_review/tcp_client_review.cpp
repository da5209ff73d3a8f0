// Renders the TCP client page off screen in a typical moment of use: two entries, one of
// them connected to the program's own TCP server page on 127.0.0.1 and shown with lines
// received and sent, the other created for a server not connected yet. Writes the picture
// for review.
#include <QAbstractButton>
#include <QApplication>
#include <QPlainTextEdit>

#include "net/connect_info.h"
#include "pages/dialogs/dlg_set_ip.h"
#include "pages/dialogs/set_listen_dlg.h"
#include "pages/tcp_client_page.h"
#include "pages/tcp_server_page.h"
#include "platform/dialog_template.h"
#include "skin/tree_ctrl_ex.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/modal_helper.h"
#include "tools/page_review/review_support.h"

using review::Click;
using review::WaitFor;

namespace {

void ClickRow(CTreeCtrlEx* tree, HTREEITEM item) {
    Click(tree->viewport(), tree->visualItemRect(CTreeCtrlEx::FromHandle(item)).center());
}

void Press(QWidget& page, int id) {
    FindControlAs<QAbstractButton>(&page, id)->click();
}

// Create on the client page with the address dialog answered.
void CreateEntry(CTcpClientDlg& page, const QString& address, std::uint16_t port) {
    ModalAnswer answer(ModalAnswer::TypeInto(CDlgSetIp::kAddressFieldId, address)
                           .TypeInto(CDlgSetIp::kPortFieldId, QString::number(port)));
    page.OnCreate();
}

}  // namespace

int main(int argc, char** argv) {
    review::UseOffscreenByDefault();
    QApplication app(argc, argv);
    review::PrepareApplication();
    const QString output = review::OutputPath(argc, argv, "tcp_client_page.png");

    // The server: the program's own TCP server page, not shown.
    CTcpServerDlg server;
    const std::uint16_t port = FreeLoopbackPort();
    {
        ModalAnswer answer(
            ModalAnswer::TypeInto(CSetListenDlg::kPortFieldId, QString::number(port)));
        server.OnCreate();
    }

    CTcpClientDlg page;
    page.show();
    CTreeCtrlEx* tree = page.Tree();
    CreateEntry(page, QStringLiteral("127.0.0.1"), port);
    const HTREEITEM connected = tree->GetSelectedItem();
    CreateEntry(page, QStringLiteral("127.0.0.1"), FreeLoopbackPort());

    ClickRow(tree, connected);
    Press(page, CTcpClientDlg::kConnectId);
    CTreeCtrlEx* serverTree = server.Tree();
    if (!WaitFor([&] {
            return !page.ConnectPending() && serverTree->GetChildItem(serverTree->GetRootItem());
        })) {
        std::fprintf(stderr, "tcp_client_review: the entry did not connect\n");
        return 1;
    }
    const HTREEITEM served = serverTree->GetChildItem(serverTree->GetRootItem());

    // A request from the page, two answers from the server.
    page.SendBox()->setPlainText(QStringLiteral("GET /status HTTP/1.0"));
    Press(page, CTcpClientDlg::kIds.send);
    ClickRow(serverTree, served);
    for (const QString& answer :
         {QStringLiteral("HTTP/1.0 200 OK"), QStringLiteral("状态: 正常, 3 connections")}) {
        server.SendBox()->setPlainText(answer);
        Press(server, CTcpServerDlg::kSendId);
        WaitFor([&] { return server.SendBox()->toPlainText().isEmpty(); });
    }
    WaitFor([&] { return page.ReceivedView()->toPlainText().count(u'\n') >= 2; });
    page.SendBox()->setPlainText(QStringLiteral("next request, still typing"));
    return review::Save(page, output, "tcp_client_review");
}
