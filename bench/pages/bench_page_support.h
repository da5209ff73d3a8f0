// What the page benchmarks share: the off-screen application with the message pump, running
// its event loop until a condition holds, a plain listening socket on 127.0.0.1 for their
// baselines, and the peers' child process.
#pragma once

#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QTreeWidgetItem>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

#include "net/connect_info.h"
#include "platform/qt_window.h"
#include "skin/tree_ctrl_ex.h"

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

// Runs the event loop until `done` holds or `limitMs` passes; false on the limit.
inline bool RunUntil(const std::function<bool()>& done, int limitMs) {
    QEventLoop loop;
    QTimer check;
    check.setInterval(5);
    bool met = false;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done()) {
            met = true;
            loop.quit();
        }
    });
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    check.start();
    loop.exec();
    return met;
}

// Entries under the page's host item.
inline int CountEntries(CTreeCtrlEx& tree) {
    QTreeWidgetItem* host = tree.topLevelItem(0);
    return host != nullptr ? host->childCount() : 0;
}

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

// Lets this process hold `wanted` descriptors; false if the hard limit forbids it.
inline bool RaiseDescriptorLimit(rlim_t wanted) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return false;
    if (limit.rlim_cur >= wanted)
        return true;
    limit.rlim_cur = std::min<rlim_t>(wanted, limit.rlim_max);
    return ::setrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur >= wanted;
}

// The peers: a child process, started before any thread, holding the connections to the
// page, so that they cost the measured process nothing but its own ends. Commands go over a
// pipe as a letter and a port: 'C' connects `connections` peers to 127.0.0.1 and the port,
// 'X' closes them all; each is answered with one byte once done. Any other letter is
// answered at once and then handed to the `extra` command runner in the child, which may go
// on until the next command is waiting on `commands` (and should leave it unread).
class PeerProcess {
public:
    using ExtraCommand = void (*)(char what, const std::vector<int>& peers, int commands);

    explicit PeerProcess(int connections, ExtraCommand extra = nullptr)
        : connections_(connections), extra_(extra) {}
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;
    ~PeerProcess() {
        if (pid_ > 0) {
            ::close(commands_);  // the child ends when its command pipe closes
            ::close(answers_);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    bool Start() {
        int commands[2], answers[2];
        if (::pipe(commands) != 0 || ::pipe(answers) != 0)
            return false;
        pid_ = ::fork();
        if (pid_ < 0)
            return false;
        if (pid_ == 0) {
            ::close(commands[1]);
            ::close(answers[0]);
            Serve(commands[0], answers[1]);
            ::_exit(0);
        }
        ::close(commands[0]);
        ::close(answers[1]);
        commands_ = commands[1];
        answers_ = answers[0];
        return true;
    }

    // Send returns at once; Wait waits for the answer to the oldest command not yet waited
    // for; Command does both.
    void Send(char what, std::uint16_t port = 0) {
        const char command[3] = {what, static_cast<char>(port >> 8),
                                 static_cast<char>(port & 0xFF)};
        (void)!::write(commands_, command, sizeof command);
    }
    void Wait() {
        char done = 0;
        (void)!::read(answers_, &done, 1);
    }
    void Command(char what, std::uint16_t port = 0) {
        Send(what, port);
        Wait();
    }

private:
    // The child process: serves commands until the pipe closes.
    void Serve(int commands, int answers) const {
        std::vector<int> peers;
        peers.reserve(static_cast<std::size_t>(connections_));
        unsigned char command[3];
        while (::read(commands, command, sizeof command) == sizeof command) {
            const char what = static_cast<char>(command[0]);
            if (what == 'C') {
                ConnectPeers(static_cast<std::uint16_t>(command[1] << 8 | command[2]), peers);
            } else if (what == 'X') {
                for (int fd : peers) ::close(fd);
                peers.clear();
            } else {
                (void)!::write(answers, "1", 1);
                if (extra_ != nullptr)
                    extra_(what, peers, commands);
                continue;
            }
            (void)!::write(answers, "1", 1);
        }
    }
    // Stops at the first connection that fails.
    void ConnectPeers(std::uint16_t port, std::vector<int>& peers) const {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        for (int i = 0; i < connections_; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            if (fd < 0 ||
                ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
                if (fd >= 0)
                    ::close(fd);
                break;
            }
            peers.push_back(fd);
        }
    }

    int connections_;
    ExtraCommand extra_;
    pid_t pid_ = -1;
    int commands_ = -1;
    int answers_ = -1;
};
