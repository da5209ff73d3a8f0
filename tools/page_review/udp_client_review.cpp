// Renders the UDP client page off screen in a typical moment of use: two clients on their
// own local ports of 127.0.0.1, aimed at the program's own UDP server page, one of them
// shown with a line sent and the server's answers received, the other marked as holding
// unseen data. Writes the picture for review.
#include <QAbstractButton>
#include <QApplication>
#include <QPlainTextEdit>

#include "pages/dialogs/set_udp_server_ip.h"
#include "pages/udp_client_page.h"
#include "pages/udp_server_page.h"
#include "platform/dialog_template.h"
#include "skin/tree_ctrl_ex.h"
#include "tests/pages/udp_page_test_support.h"
#include "tests/support/modal_helper.h"
#include "tools/page_review/review_support.h"

using review::WaitFor;

namespace {

// Create on the client page with the endpoint dialog answered; the new client is selected.
HTREEITEM CreateClient(CUdpClientDlg& page, std::uint16_t remotePort) {
    ModalAnswer answer(
        ModalAnswer::TypeInto(CSetUdpServerIp::kAddressFieldId, "127.0.0.1")
            .TypeInto(CSetUdpServerIp::kRemotePortFieldId, QString::number(remotePort))
            .TypeInto(CSetUdpServerIp::kLocalPortFieldId, QString::number(FreeUdpPort())));
    page.OnCreate();
    return page.Tree()->GetSelectedItem();
}

// The server page's entry for the client on `localPort`, once it was heard.
HTREEITEM SenderEntry(CUdpServerDlg& server, std::uint16_t localPort) {
    CTreeCtrlEx* tree = server.Tree();
    HTREEITEM found = nullptr;
    WaitFor([&] {
        for (HTREEITEM e = tree->GetChildItem(tree->GetRootItem()); e;
             e = tree->GetNextSiblingItem(e)) {
            const auto* record = reinterpret_cast<ConnectInfo*>(tree->GetItemData(e));
            if (record && record->clientAddr.Port() == localPort)
                found = e;
        }
        return found != nullptr;
    });
    return found;
}

// The server page answers the sender of `entry`.
void Answer(CUdpServerDlg& server, HTREEITEM entry, const QString& text) {
    server.Tree()->SelectItem(entry);
    server.ShowEntry(entry);
    server.SendBox()->setPlainText(text);
    server.OnSend();
}

}  // namespace

int main(int argc, char** argv) {
    review::UseOffscreenByDefault();
    QApplication app(argc, argv);
    review::PrepareApplication();
    const QString output = review::OutputPath(argc, argv, "udp_client_page.png");

    // The server: the program's own UDP server page, not shown.
    CUdpServerDlg server;
    const std::uint16_t port = CreateUdpServer(server);

    CUdpClientDlg page;
    page.show();
    const HTREEITEM shown = CreateClient(page, port);
    const HTREEITEM other = CreateClient(page, port);
    const auto localPort = [&](HTREEITEM item) {
        return reinterpret_cast<ConnectInfo*>(page.Tree()->GetItemData(item))->clientAddr.Port();
    };
    CTreeCtrlEx* tree = page.Tree();
    review::Click(tree->viewport(), tree->visualItemRect(CTreeCtrlEx::FromHandle(shown)).center());

    page.SendBox()->setPlainText(QStringLiteral("PING 1"));
    FindControlAs<QAbstractButton>(&page, CUdpClientDlg::kIds.send)->click();
    const HTREEITEM served = SenderEntry(server, localPort(shown));
    if (!served) {
        std::fprintf(stderr, "udp_client_review: the server did not hear the client\n");
        return 1;
    }
    Answer(server, served, QStringLiteral("PONG 1"));
    Answer(server, served, QStringLiteral("服务器: 一切正常"));
    WaitFor([&] { return page.ReceivedView()->toPlainText().count(u'\n') >= 2; });
    page.SendBox()->setPlainText(QStringLiteral("PING 2"));

    // The other client gets a datagram the user has not looked at yet.
    UdpPeer stranger;
    stranger.SendTo(localPort(other), "hello from elsewhere");
    WaitFor([&] {
        int image = 0, selected = 0;
        tree->GetItemImage(other, image, selected);
        return image == kImageEntryOpenUnread;
    });
    return review::Save(page, output, "udp_client_review");
}
