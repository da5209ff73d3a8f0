// Renders the TCP server page off screen in a typical moment of use: listening on a port,
// two peers on 127.0.0.1 connected, one of them shown with lines received and sent, the
// other marked as holding unseen data. Writes the picture for review.
#include <QAbstractButton>
#include <QApplication>
#include <QPlainTextEdit>

#include "net/connect_info.h"
#include "pages/dialogs/set_listen_dlg.h"
#include "pages/tcp_server_page.h"
#include "platform/dialog_template.h"
#include "skin/tree_ctrl_ex.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/modal_helper.h"
#include "tools/page_review/review_support.h"

using review::Click;
using review::WaitFor;

int main(int argc, char** argv) {
    review::UseOffscreenByDefault();
    QApplication app(argc, argv);
    review::PrepareApplication();
    const QString output = review::OutputPath(argc, argv, "tcp_server_page.png");

    CTcpServerDlg page;
    page.show();
    CTreeCtrlEx* tree = page.Tree();

    // Create: the port dialog gets the port and OK.
    const std::uint16_t port = FreeLoopbackPort();
    ModalAnswer answer(ModalAnswer::TypeInto(CSetListenDlg::kPortFieldId, QString::number(port)));
    page.OnCreate();

    LoopbackPeer first;
    LoopbackPeer second;
    if (!first.Connect(port) || !second.Connect(port) || !WaitFor([&] {
            const HTREEITEM host = tree->GetRootItem();
            const HTREEITEM a = tree->GetChildItem(host);
            return a && tree->GetNextSiblingItem(a);
        })) {
        std::fprintf(stderr, "page_review: the peers did not connect\n");
        return 1;
    }
    const HTREEITEM shown = tree->GetChildItem(tree->GetRootItem());
    const HTREEITEM other = tree->GetNextSiblingItem(shown);

    // Show the first peer and exchange a few lines with it.
    Click(tree->viewport(), tree->visualItemRect(CTreeCtrlEx::FromHandle(shown)).center());
    first.Send("GET /status HTTP/1.0");
    WaitFor([&] { return !page.ReceivedView()->toPlainText().isEmpty(); });
    page.SendBox()->setPlainText(QStringLiteral("HTTP/1.0 200 OK 你好"));
    FindControlAs<QAbstractButton>(&page, CTcpServerDlg::kSendId)->click();
    WaitFor([&] { return !page.SentView()->toPlainText().isEmpty(); });  // logged once gone
    first.Send("thanks, bye");
    WaitFor([&] { return page.ReceivedView()->toPlainText().count(u'\n') >= 2; });
    page.SendBox()->setPlainText(QStringLiteral("next reply, still typing"));

    // The second peer sends something the user has not looked at yet.
    second.Send("unseen data");
    WaitFor([&] {
        int image = 0, selected = 0;
        tree->GetItemImage(other, image, selected);
        return image == kImageEntryOpenUnread;
    });
    return review::Save(page, output, "page_review");
}
