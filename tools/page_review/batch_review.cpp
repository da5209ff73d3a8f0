// Renders the TCP client page's host-node menu while "全部连接" runs: 300 entries aimed at a
// listener on 127.0.0.1 whose backlog is full, so their connects wait; the menu then offers
// "停止全部连接" above the other commands. Writes review/batch_host_menu.png for review.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>

#include "pages/dialogs/dlg_set_ip.h"
#include "pages/tcp_client_page.h"
#include "skin/tree_ctrl_ex.h"
#include "tests/support/modal_helper.h"
#include "tools/page_review/review_support.h"

using review::WaitFor;

int main(int argc, char** argv) {
    review::UseOffscreenByDefault();
    QApplication app(argc, argv);
    review::PrepareApplication();
    const QString menuPicture = review::OutputPath(argc, argv, "batch_host_menu.png");

    // A listener that never accepts, its backlog of one soon full: later connects wait.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Endpoint::Ipv4(INADDR_LOOPBACK, 0).ToSocketAddress();
    socklen_t length = sizeof address;
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener, 0);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);

    CTcpClientDlg page;
    page.show();
    {
        ModalAnswer answer(
            ModalAnswer::TypeInto(CDlgSetIp::kPortFieldId, QString::number(ntohs(address.sin_port)))
                .TypeInto(CDlgSetIp::kCountFieldId, "300"));
        page.OnCreate();
    }
    CTreeCtrlEx* tree = page.Tree();
    const QPoint at = tree->visualItemRect(CTreeCtrlEx::FromHandle(tree->GetRootItem())).center();
    const auto openMenu = [&] {
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, tree->viewport()->mapToGlobal(at));
        QApplication::sendEvent(tree->viewport(), &event);
        QMenu* menu = nullptr;
        WaitFor([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); });
        return menu;
    };
    QMenu* menu = openMenu();
    for (QAction* action : menu ? menu->actions() : QList<QAction*>()) {
        if (action->text() == QStringLiteral("全部连接"))
            action->trigger();
    }
    if (menu)
        menu->close();
    menu = openMenu();
    if (!menu || !page.Batch().Running()) {
        std::fprintf(stderr, "batch_review: no menu while connecting\n");
        return 1;
    }
    const int status = review::Save(*menu, menuPicture, "batch_review");
    menu->close();
    page.Batch().CancelAll();
    ::close(listener);
    return status;
}
