// The real program (CChatApp::Run, as main() runs it) with a scripted user: every page is
// made busy on 127.0.0.1 (peers flooding the TCP and UDP servers, idle connections, the
// client pages talking to the server pages), then the close button is clicked and the about
// dialog dismissed; with --window-manager-close the popup menu is opened instead and the
// window system closes the frame's window meanwhile (as Alt+F4 does). Prints "closing" before
// the close and "closed" once the frame has ended, so that the shutdown test can tell how long
// the rest of the exit takes.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>
#include <QWindow>
#include <atomic>
#include <cstdio>
#include <string_view>
#include <thread>
#include <vector>

#include "app/chat_app.h"
#include "net/connect_info.h"
#include "tests/app/frame_driver.h"
#include "tests/pages/udp_page_test_support.h"
#include "tests/support/loopback_peer.h"

using namespace frame_driver;

namespace {

// Peers of the script's own: each floods its server from a thread of its own until the
// server goes away or Stop is called.
class Flood {
public:
    ~Flood() { Stop(); }

    void Tcp(std::uint16_t port) {
        const int fd = Socket(SOCK_STREAM);
        const sockaddr_in to = UdpPeer::Loopback(port);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0)
            return;
        threads_.emplace_back([this, fd] {
            const std::string chunk(16384, 'x');
            while (!stop_ && ::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL) > 0) {
            }
        });
    }
    void Udp(std::uint16_t port) {
        const int fd = Socket(SOCK_DGRAM);
        const sockaddr_in to = UdpPeer::Loopback(port);
        threads_.emplace_back([this, fd, to] {
            const std::string datagram(512, 'u');
            while (!stop_) {
                ::sendto(fd, datagram.data(), datagram.size(), MSG_NOSIGNAL,
                         reinterpret_cast<const sockaddr*>(&to), sizeof to);
            }
        });
    }
    // A connection that only waits.
    void Idle(std::uint16_t port) {
        const int fd = Socket(SOCK_STREAM);
        const sockaddr_in to = UdpPeer::Loopback(port);
        ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }
    void Stop() {
        stop_ = true;
        for (int fd : fds_) ::shutdown(fd, SHUT_RDWR);
        for (std::thread& thread : threads_) thread.join();
        threads_.clear();
        for (int fd : fds_) ::close(fd);
        fds_.clear();
    }

private:
    int Socket(int type) {
        const int fd = ::socket(AF_INET, type, 0);
        fds_.push_back(fd);
        return fd;
    }
    std::atomic<bool> stop_{false};
    std::vector<int> fds_;
    std::vector<std::thread> threads_;
};

Flood flood;

void Say(const char* what) {
    std::printf("%s\n", what);
    std::fflush(stdout);
}

void Fail(const char* what) {
    std::fprintf(stderr, "shutdown_driver: %s\n", what);
    std::fflush(stderr);
    std::_Exit(2);
}

// Runs inside the frame's modal loop.
void Drive() {
    if (!WaitFor([] { return theMainFrame && theMainFrame->isVisible(); }))
        Fail("the main window did not appear");
    CMgrDlg& frame = *theMainFrame;
    QObject::connect(&frame, &QDialog::finished, [] { Say("closed"); });

    const std::uint16_t tcpPort = FreeLoopbackPort();
    CreateServer(frame.TcpServerPage(), CTcpServerDlg::kCreateId, tcpPort);
    flood.Tcp(tcpPort);
    flood.Tcp(tcpPort);
    flood.Idle(tcpPort);
    if (!WaitForEntry(frame.TcpServerPage(), 2))
        Fail("the TCP peers did not appear");

    ShowTab(frame, 1);
    if (!ConnectTcpClient(frame, tcpPort) || !WaitForEntry(frame.TcpServerPage(), 3))
        Fail("the TCP client page did not connect");

    const std::uint16_t udpPort = FreeUdpPort();
    ShowTab(frame, 2);
    CreateServer(frame.UdpServerPage(), CUdpServerDlg::kIds.create, udpPort);
    flood.Udp(udpPort);
    if (!WaitForEntry(frame.UdpServerPage(), 0))
        Fail("the UDP sender did not appear");

    ShowTab(frame, 3);
    if (!CreateUdpClient(frame, udpPort, FreeUdpPort()))
        Fail("the UDP client page made no endpoint");

    // Let the floods run with every page busy.
    ShowTab(frame, 0);
    QElapsedTimer busy;
    busy.start();
    WaitFor([&] { return busy.elapsed() > 300; });

    if (qEnvironmentVariableIsSet("WIRELARK_DRIVER_WM_CLOSE")) {
        auto* closer = new QTimer(&frame);
        closer->setInterval(5);
        QObject::connect(closer, &QTimer::timeout, [closer, &frame] {
            if (!QApplication::activePopupWidget())
                return;
            closer->stop();
            Say("closing");
            frame.windowHandle()->close();
        });
        closer->start();
        Click(&frame.MenuButton(), frame.MenuButton().rect().center());
        return;
    }
    Say("closing");
    ModalAnswer about;  // 退出
    Click(&frame.CloseButton(), frame.CloseButton().rect().center());
}

void ScheduleScript() {
    PinLocalHostAddressForTesting("127.0.0.1");
    QTimer::singleShot(0, Drive);
}
Q_COREAPP_STARTUP_FUNCTION(ScheduleScript)

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The driver's own option is not the program's: it travels in the environment, so that
    // the program's command line stays as a user would give it.
    std::vector<char*> programArgs;
    for (int i = 0; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--window-manager-close")
            qputenv("WIRELARK_DRIVER_WM_CLOSE", "1");
        else
            programArgs.push_back(argv[i]);
    }
    int programArgc = static_cast<int>(programArgs.size());
    programArgs.push_back(nullptr);
    const int status = theApp.Run(programArgc, programArgs.data());
    flood.Stop();
    return status;
}
