// The TCP server page with ten thousand connections on 127.0.0.1:
//
//   plain accept       a plain loop accepting the same connections (baseline)
//   listed             from the first connect until the tree holds every entry
//   all shown closed   from the moment every peer closes until every entry shows closed
//   page closed        destroying the page with all its entries, closed and then open
//
// Targets (printed, not asserted): each page figure under 3 s.
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "bench/pages/bench_page_support.h"
#include "net/connect_info.h"
#include "pages/set_listen_dlg.h"
#include "pages/tcp_server_dlg.h"
#include "platform/qt_window.h"
#include "skin/tree_ctrl_ex.h"
#include "tests/support/loopback_peer.h"  // FreeLoopbackPort
#include "tests/support/modal_helper.h"

namespace {

constexpr int kConnections = 10000;
constexpr int kRunLimitMs = 300000;
constexpr double kTargetSeconds = 3.0;

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// One descriptor per connection in each process (the peers live in a process of their
// own), plus room for the rest.
bool RaiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return false;
    const rlim_t wanted = kConnections + 1024;
    if (limit.rlim_cur >= wanted)
        return true;
    limit.rlim_cur = std::min<rlim_t>(wanted, limit.rlim_max);
    return ::setrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur >= wanted;
}

// The peers: a child process started before any thread, told over a pipe to connect
// kConnections peers to a port ('C' and the port) or to close them all at once ('X').
// It answers each command with one byte once done.
class PeerProcess {
public:
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
    ~PeerProcess() {
        if (pid_ > 0) {
            ::close(commands_);  // the child ends when its command pipe closes
            ::close(answers_);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    // Both return at once; Wait waits for the child to have done the last command.
    void ConnectAll(std::uint16_t port) {
        const char command[3] = {'C', static_cast<char>(port >> 8), static_cast<char>(port & 0xFF)};
        (void)!::write(commands_, command, sizeof command);
    }
    void CloseAll() { (void)!::write(commands_, "X\0\0", 3); }
    void Wait() {
        char done = 0;
        (void)!::read(answers_, &done, 1);
    }

private:
    static void Serve(int commands, int answers) {
        std::vector<int> peers;
        peers.reserve(kConnections);
        unsigned char command[3];
        while (::read(commands, command, sizeof command) == sizeof command) {
            if (command[0] == 'C') {
                sockaddr_in address{};
                address.sin_family = AF_INET;
                address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                address.sin_port = htons(static_cast<std::uint16_t>(command[1] << 8 | command[2]));
                for (int i = 0; i < kConnections; ++i) {
                    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
                    if (fd < 0 ||
                        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
                        if (fd >= 0)
                            ::close(fd);
                        break;
                    }
                    peers.push_back(fd);
                }
            } else {
                for (int fd : peers) ::close(fd);
                peers.clear();
            }
            (void)!::write(answers, "1", 1);
        }
    }

    pid_t pid_ = -1;
    int commands_ = -1;
    int answers_ = -1;
};

// Baseline: the same connections accepted by a plain loop.
double PlainAccept(PeerProcess& peers) {
    std::uint16_t port = 0;
    const int listener = ListenOnLoopback(SOMAXCONN, port);
    std::vector<int> accepted;
    accepted.reserve(kConnections);
    const auto start = Clock::now();
    peers.ConnectAll(port);
    for (int i = 0; i < kConnections; ++i) {
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0)
            break;
        accepted.push_back(fd);
    }
    const double seconds = SecondsSince(start);
    peers.Wait();
    peers.CloseAll();
    peers.Wait();
    for (int fd : accepted) ::close(fd);
    ::close(listener);
    return seconds;
}

// Runs the event loop until `done` holds or the run limit passes; false on the limit.
bool RunUntil(const std::function<bool()>& done) {
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
    QTimer::singleShot(kRunLimitMs, &loop, &QEventLoop::quit);
    check.start();
    loop.exec();
    return met;
}

int CountEntries(CTreeCtrlEx& tree) {
    QTreeWidgetItem* host = tree.topLevelItem(0);
    return host != nullptr ? host->childCount() : 0;
}

// Entries stay closed once closed: each check goes on from the first one still open.
class ClosedWatch {
public:
    explicit ClosedWatch(CTreeCtrlEx& tree) : tree_(tree) {}
    bool AllClosed() {
        QTreeWidgetItem* host = tree_.topLevelItem(0);
        for (; host != nullptr && next_ < host->childCount(); ++next_) {
            int image = -1, selected = -1;
            tree_.GetItemImage(CTreeCtrlEx::ToHandle(host->child(next_)), image, selected);
            if (image != kImageEntryClosed && image != kImageEntryClosedUnread)
                return false;
        }
        return true;
    }

private:
    CTreeCtrlEx& tree_;
    int next_ = 0;
};

void PrintFigure(const char* name, double seconds, bool finished, double baseline) {
    std::printf("%-22s %8.2f s  (%.1f x plain accept; target < %.0f s: %s)%s\n", name, seconds,
                baseline > 0 ? seconds / baseline : 0, kTargetSeconds,
                finished && seconds < kTargetSeconds ? "met" : "MISSED",
                finished ? "" : "  [did not finish in time]");
}

}  // namespace

// A shown page listening on a free port.
struct BenchPage {
    CTcpServerDlg page;
    std::uint16_t port = FreeLoopbackPort();
    CTreeCtrlEx* Tree() { return page.Tree(); }
    std::uint16_t Port() const { return port; }
};

std::unique_ptr<BenchPage> ListeningPage() {
    auto bench = std::make_unique<BenchPage>();
    bench->page.show();
    ModalAnswer answer(
        ModalAnswer::TypeInto(CSetListenDlg::kPortFieldId, QString::number(bench->port)));
    bench->page.OnCreate();
    return bench;
}

int main(int argc, char** argv) {
    if (!RaiseDescriptorLimit()) {
        std::printf("cannot raise the descriptor limit to %d; skipped\n", kConnections + 1024);
        return 0;
    }
    // Forked before the application starts any thread.
    PeerProcess peers;
    if (!peers.Start()) {
        std::printf("cannot start the peer process; skipped\n");
        return 0;
    }
    BenchApplication app(argc, argv);

    std::printf("TCP server page, %d connections from 127.0.0.1\n", kConnections);
    const double plain = PlainAccept(peers);
    std::printf("%-22s %8.2f s  (baseline)\n", "plain accept", plain);

    // Listed, shown closed when the peers close, closed with its closed entries.
    auto page = ListeningPage();
    CTreeCtrlEx& tree = *page->Tree();
    auto start = Clock::now();
    peers.ConnectAll(page->Port());
    const bool listed = RunUntil([&] { return CountEntries(tree) >= kConnections; });
    PrintFigure("listed", SecondsSince(start), listed, plain);
    peers.Wait();

    start = Clock::now();
    peers.CloseAll();
    ClosedWatch watch(tree);
    const bool closed = RunUntil([&] { return watch.AllClosed(); });
    PrintFigure("all shown closed", SecondsSince(start), closed, plain);
    peers.Wait();

    start = Clock::now();
    page.reset();
    PrintFigure("page closed", SecondsSince(start), true, plain);

    // Closed while every connection is still open.
    page = ListeningPage();
    peers.ConnectAll(page->Port());
    RunUntil([&] { return CountEntries(*page->Tree()) >= kConnections; });
    peers.Wait();
    start = Clock::now();
    page.reset();
    PrintFigure("page closed, all open", SecondsSince(start), true, plain);
    peers.CloseAll();
    peers.Wait();
    return 0;
}
