// Renders the main window off screen with each of its four pages in a moment of use, every
// page with live entries from peers on 127.0.0.1 (peers of this program's own and the pages
// talking to each other), and writes one PNG per page for the README:
//     wirelark_screenshots [folder]        (default: dist/screenshots of the source tree)
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QPlainTextEdit>
#include <cstdio>

#include "app/mgr_dlg.h"
#include "net/connect_info.h"
#include "pages/dlg_set_ip.h"
#include "pages/set_listen_dlg.h"
#include "pages/set_udp_server_ip.h"
#include "platform/dialog_template.h"
#include "skin/skin_tab.h"
#include "skin/tree_ctrl_ex.h"
#include "tests/pages/udp_page_test_support.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/modal_helper.h"
#include "tools/page_review/review_support.h"

using review::Click;
using review::WaitFor;

namespace {

const char* const kPictures[] = {"tcp_server.png", "tcp_client.png", "udp_server.png",
                                 "udp_client.png"};

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "wirelark_screenshots: %s\n", what);
    std::exit(1);
}

void Press(QWidget& page, int id) {
    auto* button = FindControlAs<QAbstractButton>(&page, id);
    if (!button)
        Fail("a page button is missing");
    Click(button, button->rect().center());
}

std::vector<HTREEITEM> Entries(CTreeCtrlEx* tree) {
    std::vector<HTREEITEM> entries;
    for (HTREEITEM e = tree->GetChildItem(tree->GetRootItem()); e; e = tree->GetNextSiblingItem(e))
        entries.push_back(e);
    return entries;
}

HTREEITEM WaitForEntry(CTreeCtrlEx* tree, std::size_t index, const char* what) {
    if (!WaitFor([&] { return Entries(tree).size() > index; }))
        Fail(what);
    return Entries(tree)[index];
}

void ClickRow(CTreeCtrlEx* tree, HTREEITEM item) {
    Click(tree->viewport(), tree->visualItemRect(CTreeCtrlEx::FromHandle(item)).center());
}

// Types `text` into the page's send box and presses its Send button.
void Send(CDialogP& page, int sendId, const QString& text) {
    page.SendBox()->setPlainText(text);
    Press(page, sendId);
}

void ShowTab(CMgrDlg& frame, int index) {
    CSkinTab* tabs = frame.TabStrip();
    Click(tabs, tabs->GetItemRect(index).center());
    if (!WaitFor([&] { return frame.Page(index).isVisible(); }))
        Fail("the tab strip did not switch pages");
}

// The window as the screen shows it: outside its shape is transparent.
bool Save(CMgrDlg& frame, const QString& path) {
    QApplication::processEvents();
    QImage picture = frame.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    const QRegion shape = frame.mask().isEmpty() ? QRegion(frame.rect()) : frame.mask();
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            if (!shape.contains(QPoint(x, y)))
                picture.setPixel(x, y, qRgba(0, 0, 0, 0));
        }
    }
    const bool saved = picture.save(path);
    std::printf("wirelark_screenshots: %s %s\n", saved ? "wrote" : "could not write",
                qPrintable(path));
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    review::UseOffscreenByDefault();
    QApplication app(argc, argv);
    review::PrepareApplication();
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                    : QStringLiteral(WIRELARK_SOURCE_DIR "/dist/screenshots");
    QDir().mkpath(folder);

    CMgrDlg frame;
    frame.show();
    CTcpServerDlg& tcpServer = frame.TcpServerPage();
    CTcpClientDlg& tcpClient = frame.TcpClientPage();
    CUdpServerDlg& udpServer = frame.UdpServerPage();
    CUdpClientDlg& udpClient = frame.UdpClientPage();

    // TCP server on a free port; two peers of our own connect.
    const std::uint16_t tcpPort = FreeLoopbackPort();
    {
        ModalAnswer answer(
            ModalAnswer::TypeInto(CSetListenDlg::kPortFieldId, QString::number(tcpPort)));
        Press(tcpServer, CTcpServerDlg::kCreateId);
    }
    LoopbackPeer browser, monitor;
    if (!browser.Connect(tcpPort) || !monitor.Connect(tcpPort))
        Fail("the TCP peers did not connect");
    const HTREEITEM browserEntry = WaitForEntry(tcpServer.Tree(), 0, "no TCP peer entry");
    const HTREEITEM monitorEntry = WaitForEntry(tcpServer.Tree(), 1, "no second TCP peer");

    // The TCP client page connects to the server page.
    ShowTab(frame, 1);
    {
        ModalAnswer answer(ModalAnswer::TypeInto(CDlgSetIp::kAddressFieldId, "127.0.0.1")
                               .TypeInto(CDlgSetIp::kPortFieldId, QString::number(tcpPort)));
        Press(tcpClient, CTcpClientDlg::kIds.create);
    }
    const HTREEITEM clientEntry = WaitForEntry(tcpClient.Tree(), 0, "no TCP client entry");
    ClickRow(tcpClient.Tree(), clientEntry);
    Press(tcpClient, CTcpClientDlg::kConnectId);
    const HTREEITEM servedEntry = WaitForEntry(tcpServer.Tree(), 2, "the client did not connect");
    Send(tcpClient, CTcpClientDlg::kIds.send, QStringLiteral("GET /status HTTP/1.0"));

    // The server page answers the client page, then talks with the first peer.
    ShowTab(frame, 0);
    ClickRow(tcpServer.Tree(), servedEntry);
    Send(tcpServer, CTcpServerDlg::kSendId, QStringLiteral("HTTP/1.0 200 OK"));
    Send(tcpServer, CTcpServerDlg::kSendId, QStringLiteral("状态: 正常, 3 connections"));
    ClickRow(tcpServer.Tree(), browserEntry);
    browser.Send("hello from 127.0.0.1");
    WaitFor([&] { return !tcpServer.ReceivedView()->toPlainText().isEmpty(); });
    Send(tcpServer, CTcpServerDlg::kSendId, QStringLiteral("welcome, 你好"));
    browser.Send("bye");
    WaitFor([&] { return tcpServer.ReceivedView()->toPlainText().count(u'\n') >= 2; });
    monitor.Send("unseen data");
    WaitFor([&] {
        int image = 0, selected = 0;
        tcpServer.Tree()->GetItemImage(monitorEntry, image, selected);
        return image == kImageEntryOpenUnread;
    });
    tcpServer.SendBox()->setPlainText(QStringLiteral("next reply, still typing"));
    if (!Save(frame, folder + "/" + kPictures[0]))
        return 1;

    ShowTab(frame, 1);
    WaitFor([&] { return tcpClient.ReceivedView()->toPlainText().count(u'\n') >= 2; });
    tcpClient.SendBox()->setPlainText(QStringLiteral("next request"));
    if (!Save(frame, folder + "/" + kPictures[1]))
        return 1;

    // UDP server on a free port; a sender of our own, then the UDP client page.
    const std::uint16_t udpPort = FreeUdpPort();
    ShowTab(frame, 2);
    {
        ModalAnswer answer(
            ModalAnswer::TypeInto(CSetListenDlg::kPortFieldId, QString::number(udpPort)));
        Press(udpServer, CUdpServerDlg::kIds.create);
    }
    UdpPeer sensor;
    sensor.SendTo(udpPort, "temperature=21.5");
    const HTREEITEM sensorEntry = WaitForEntry(udpServer.Tree(), 0, "no UDP sender entry");

    ShowTab(frame, 3);
    const std::uint16_t localPort = FreeUdpPort();
    {
        ModalAnswer answer(
            ModalAnswer::TypeInto(CSetUdpServerIp::kAddressFieldId, "127.0.0.1")
                .TypeInto(CSetUdpServerIp::kRemotePortFieldId, QString::number(udpPort))
                .TypeInto(CSetUdpServerIp::kLocalPortFieldId, QString::number(localPort)));
        Press(udpClient, CUdpClientDlg::kIds.create);
    }
    const HTREEITEM endpoint = WaitForEntry(udpClient.Tree(), 0, "no UDP client entry");
    ClickRow(udpClient.Tree(), endpoint);
    Send(udpClient, CUdpClientDlg::kIds.send, QStringLiteral("hello UDP server"));
    const HTREEITEM endpointEntry = WaitForEntry(udpServer.Tree(), 1, "no datagram reached");

    ShowTab(frame, 2);
    ClickRow(udpServer.Tree(), endpointEntry);
    Send(udpServer, CUdpServerDlg::kIds.send, QStringLiteral("hello UDP client, 你好"));
    ClickRow(udpServer.Tree(), sensorEntry);
    Send(udpServer, CUdpServerDlg::kIds.send, QStringLiteral("ack 21.5"));
    sensor.SendTo(udpPort, "temperature=21.7");
    WaitFor([&] { return udpServer.ReceivedView()->toPlainText().count(u'\n') >= 2; });
    udpServer.SendBox()->setPlainText(QStringLiteral("ack 21.7"));
    if (!Save(frame, folder + "/" + kPictures[2]))
        return 1;

    ShowTab(frame, 3);
    WaitFor([&] { return !udpClient.ReceivedView()->toPlainText().isEmpty(); });
    udpClient.SendBox()->setPlainText(QStringLiteral("next datagram"));
    if (!Save(frame, folder + "/" + kPictures[3]))
        return 1;
    return 0;
}
