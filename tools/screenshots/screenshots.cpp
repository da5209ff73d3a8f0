// Renders the main window off screen with each of its four pages in a moment of use, every
// page with live entries from peers on 127.0.0.1 (peers of this program's own and the pages
// talking to each other), and writes one PNG per page for the README:
//     wirelark_screenshots [folder] [en]   (default: dist/screenshots of the source tree;
//                                           en: the English face, pictures named *_en.png)
#include <QApplication>
#include <QDir>
#include <cstdio>
#include <cstdlib>

#include "app/ui_language.h"
#include "net/connect_info.h"
#include "tests/app/frame_driver.h"
#include "tests/pages/udp_page_test_support.h"
#include "tests/support/loopback_peer.h"

using namespace frame_driver;

namespace {

const char* const kPictures[] = {"tcp_server.png", "tcp_client.png", "udp_server.png",
                                 "udp_client.png"};

template <typename T>
T Must(T value, const char* what) {
    if (!value) {
        std::fprintf(stderr, "wirelark_screenshots: %s\n", what);
        std::exit(1);
    }
    return value;
}

// The window as the screen shows it: outside its shape is transparent.
void Save(CMgrDlg& frame, const QString& path) {
    QApplication::processEvents();
    QImage picture = frame.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    const QRegion shape = frame.mask().isEmpty() ? QRegion(frame.rect()) : frame.mask();
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            if (!shape.contains(QPoint(x, y)))
                picture.setPixel(x, y, qRgba(0, 0, 0, 0));
        }
    }
    Must(picture.save(path), "could not write a picture");
    std::printf("wirelark_screenshots: wrote %s\n", qPrintable(path));
}

}  // namespace

int main(int argc, char** argv) {
    review::UseOffscreenByDefault();
    QApplication app(argc, argv);
    review::PrepareApplication();
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                    : QStringLiteral(WIRELARK_SOURCE_DIR "/dist/screenshots");
    QDir().mkpath(folder);
    const bool english = argc > 2 && QLatin1String(argv[2]) == QLatin1String("en");
    if (english)
        Must(InstallInterfaceLanguage(UiLanguage::English) == UiLanguage::English,
             "no English translation");
    // "tcp_server.png", or "tcp_server_en.png" in English.
    const auto picture = [&](int index) {
        QString name = QLatin1String(kPictures[index]);
        if (english)
            name.replace(QLatin1String(".png"), QLatin1String("_en.png"));
        return folder + QLatin1Char('/') + name;
    };

    CMgrDlg frame;
    frame.show();
    CTcpServerDlg& tcpServer = frame.TcpServerPage();
    CTcpClientDlg& tcpClient = frame.TcpClientPage();
    CUdpServerDlg& udpServer = frame.UdpServerPage();
    CUdpClientDlg& udpClient = frame.UdpClientPage();

    // TCP server on a free port; two peers of our own connect.
    const std::uint16_t tcpPort = FreeLoopbackPort();
    CreateServer(tcpServer, CTcpServerDlg::kCreateId, tcpPort);
    LoopbackPeer browser, monitor;
    Must(browser.Connect(tcpPort) && monitor.Connect(tcpPort), "the TCP peers did not connect");
    const HTREEITEM browserEntry = Must(WaitForEntry(tcpServer, 0), "no TCP peer entry");
    const HTREEITEM monitorEntry = Must(WaitForEntry(tcpServer, 1), "no second TCP peer");

    // The TCP client page connects to the server page and asks something.
    Must(ShowTab(frame, 1), "no TCP client tab");
    Must(ConnectTcpClient(frame, tcpPort), "no TCP client entry");
    const HTREEITEM servedEntry = Must(WaitForEntry(tcpServer, 2), "the client did not connect");
    SendText(tcpClient, CTcpClientDlg::kIds.send, QStringLiteral("GET /status HTTP/1.0"));

    // The server page answers the client page, then talks with the first peer.
    ShowTab(frame, 0);
    ClickRow(tcpServer, servedEntry);
    SendText(tcpServer, CTcpServerDlg::kSendId, QStringLiteral("HTTP/1.0 200 OK"));
    SendText(tcpServer, CTcpServerDlg::kSendId, QStringLiteral("状态: 正常, 3 connections"));
    ClickRow(tcpServer, browserEntry);
    browser.Send("hello from 127.0.0.1");
    WaitFor([&] { return !tcpServer.ReceivedView()->toPlainText().isEmpty(); });
    SendText(tcpServer, CTcpServerDlg::kSendId, QStringLiteral("welcome, 你好"));
    browser.Send("bye");
    WaitFor([&] { return tcpServer.ReceivedView()->toPlainText().count(u'\n') >= 2; });
    monitor.Send("unseen data");
    WaitFor([&] {
        int image = 0, selected = 0;
        tcpServer.Tree()->GetItemImage(monitorEntry, image, selected);
        return image == kImageEntryOpenUnread;
    });
    tcpServer.SendBox()->setPlainText(QStringLiteral("next reply, still typing"));
    Save(frame, picture(0));

    ShowTab(frame, 1);
    WaitFor([&] { return tcpClient.ReceivedView()->toPlainText().count(u'\n') >= 2; });
    tcpClient.SendBox()->setPlainText(QStringLiteral("next request"));
    Save(frame, picture(1));

    // UDP server on a free port; a sender of our own, then the UDP client page.
    const std::uint16_t udpPort = FreeUdpPort();
    ShowTab(frame, 2);
    CreateServer(udpServer, CUdpServerDlg::kIds.create, udpPort);
    UdpPeer sensor;
    sensor.SendTo(udpPort, "temperature=21.5");
    const HTREEITEM sensorEntry = Must(WaitForEntry(udpServer, 0), "no UDP sender entry");

    ShowTab(frame, 3);
    const HTREEITEM endpoint =
        Must(CreateUdpClient(frame, udpPort, FreeUdpPort()), "no UDP client entry");
    ClickRow(udpClient, endpoint);
    SendText(udpClient, CUdpClientDlg::kIds.send, QStringLiteral("hello UDP server"));
    const HTREEITEM endpointEntry = Must(WaitForEntry(udpServer, 1), "no datagram reached");

    ShowTab(frame, 2);
    ClickRow(udpServer, endpointEntry);
    SendText(udpServer, CUdpServerDlg::kIds.send, QStringLiteral("hello UDP client, 你好"));
    ClickRow(udpServer, sensorEntry);
    SendText(udpServer, CUdpServerDlg::kIds.send, QStringLiteral("ack 21.5"));
    sensor.SendTo(udpPort, "temperature=21.7");
    WaitFor([&] { return udpServer.ReceivedView()->toPlainText().count(u'\n') >= 2; });
    udpServer.SendBox()->setPlainText(QStringLiteral("ack 21.7"));
    Save(frame, picture(2));

    ShowTab(frame, 3);
    WaitFor([&] { return !udpClient.ReceivedView()->toPlainText().isEmpty(); });
    udpClient.SendBox()->setPlainText(QStringLiteral("next datagram"));
    Save(frame, picture(3));
    return 0;
}
