// Renders the TCP server page's byte tools off screen: a peer on 127.0.0.1 has sent every
// byte value, the received view shows it in hex, and the host node's context menu is open.
// Writes review/tools_page.png and review/tools_host_menu.png for review.
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <string>

#include "pages/dialogs/set_listen_dlg.h"
#include "pages/tcp_server_page.h"
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
    const QString pagePicture = review::OutputPath(argc, argv, "tools_page.png");
    const QString menuPicture = QStringLiteral(WIRELARK_REVIEW_DIR "/tools_host_menu.png");

    CTcpServerDlg page;
    page.show();
    CTreeCtrlEx* tree = page.Tree();
    const std::uint16_t port = FreeLoopbackPort();
    ModalAnswer answer(ModalAnswer::TypeInto(CSetListenDlg::kPortFieldId, QString::number(port)));
    page.OnCreate();

    LoopbackPeer peer;
    if (!peer.Connect(port) || !WaitFor([&] { return tree->GetChildItem(tree->GetRootItem()); })) {
        std::fprintf(stderr, "tools_review: the peer did not connect\n");
        return 1;
    }
    const HTREEITEM entry = tree->GetChildItem(tree->GetRootItem());
    Click(tree->viewport(), tree->visualItemRect(CTreeCtrlEx::FromHandle(entry)).center());
    std::string everyByte;
    for (int value = 0; value < 256; ++value) everyByte.push_back(static_cast<char>(value));
    peer.Send(everyByte);
    WaitFor([&] { return !page.ReceivedView()->toPlainText().isEmpty(); });
    page.Views().SetLineForm(EntryViews::View::Received, LogForm::Hex);
    page.SendBox()->setPlainText(QStringLiteral("48 65 6C 6C 6F"));
    if (const int status = review::Save(page, pagePicture, "tools_review"))
        return status;

    // The host node's context menu, as a right click opens it.
    const QPoint at = tree->visualItemRect(CTreeCtrlEx::FromHandle(tree->GetRootItem())).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, tree->viewport()->mapToGlobal(at));
    QApplication::sendEvent(tree->viewport(), &event);
    QWidget* menu = nullptr;
    WaitFor([&] { return (menu = QApplication::activePopupWidget()) != nullptr; });
    if (!menu) {
        std::fprintf(stderr, "tools_review: no host-node menu\n");
        return 1;
    }
    return review::Save(*menu, menuPicture, "tools_review");
}
