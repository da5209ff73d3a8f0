// What the page benchmarks share: the off-screen application with the message pump, and a
// plain listening socket on 127.0.0.1 for their baselines.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <QApplication>
#include <cstdint>

#include "net/connect_info.h"
#include "platform/qt_window.h"

// An application as the program runs it, off screen unless a platform is given, with the
// local address pinned to 127.0.0.1.
class BenchApplication {
public:
    BenchApplication(int& argc, char** argv) : app_((SetUpPlatform(), argc), argv) {
        InstallQtMessagePump();
        PinLocalHostAddressForTesting("127.0.0.1");
    }

private:
    static void SetUpPlatform() {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app_;
};

// A listening socket on 127.0.0.1 at a port the system picks (`port` gets it), or -1.
inline int ListenOnLoopback(int backlog, std::uint16_t& port) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 ||
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, backlog) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return -1;
    }
    port = ntohs(address.sin_port);
    return listener;
}
