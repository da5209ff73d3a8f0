// Renders the UDP server page off screen in a typical moment of use: receiving on a port,
// two senders on 127.0.0.1 heard, one of them shown with lines received and a reply sent,
// the other marked as holding unseen data. Writes the picture for review.
#include <QAbstractButton>
#include <QApplication>
#include <QPlainTextEdit>

#include "pages/udp_server_page.h"
#include "platform/dialog_template.h"
#include "skin/tree_ctrl_ex.h"
#include "tests/pages/udp_page_test_support.h"
#include "tools/page_review/review_support.h"

using review::WaitFor;

int main(int argc, char** argv) {
    review::UseOffscreenByDefault();
    QApplication app(argc, argv);
    review::PrepareApplication();
    const QString output = review::OutputPath(argc, argv, "udp_server_page.png");

    CUdpServerDlg page;
    page.show();
    CTreeCtrlEx* tree = page.Tree();
    const std::uint16_t port = CreateUdpServer(page);

    UdpPeer first, second;
    first.SendTo(port, "sensor 7: temperature 21.5 C");
    const auto entries = [&] {
        std::vector<HTREEITEM> found;
        for (HTREEITEM e = tree->GetChildItem(tree->GetRootItem()); e;
             e = tree->GetNextSiblingItem(e)) {
            found.push_back(e);
        }
        return found;
    };
    if (!WaitFor([&] { return entries().size() == 1; })) {
        std::fprintf(stderr, "udp_server_review: no sender was heard\n");
        return 1;
    }
    const HTREEITEM shown = entries()[0];
    review::Click(tree->viewport(), tree->visualItemRect(CTreeCtrlEx::FromHandle(shown)).center());
    first.SendTo(port, "sensor 7: humidity 40 %");
    WaitFor([&] { return page.ReceivedView()->toPlainText().count(u'\n') >= 2; });
    page.SendBox()->setPlainText(QStringLiteral("ack 7, 收到"));
    FindControlAs<QAbstractButton>(&page, CUdpServerDlg::kIds.send)->click();
    first.Receive(2000);
    page.SendBox()->setPlainText(QStringLiteral("next reply, still typing"));

    // The second sender says something the user has not looked at yet.
    second.SendTo(port, "sensor 9: door open");
    WaitFor([&] {
        if (entries().size() < 2)
            return false;
        int image = 0, selected = 0;
        tree->GetItemImage(entries()[1], image, selected);
        return image == kImageEntryOpenUnread;
    });
    return review::Save(page, output, "udp_server_review");
}
