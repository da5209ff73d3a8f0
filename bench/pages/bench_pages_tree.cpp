// The TCP server page with ten thousand connections on 127.0.0.1:
//
//   plain accept       a thread accepting the connections, nothing else (baseline)
//   listed             from the first connect until the tree holds every entry
//   all shown closed   from the moment every peer closes until every entry shows closed
//   page closed        destroying the page with all its entries
//
// Targets (printed, not asserted): each page figure under 3 s.
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "bench/pages/bench_page_support.h"
#include "net/connect_info.h"
#include "pages/set_listen_dlg.h"
#include "pages/tcp_server_dlg.h"
#include "platform/qt_window.h"
#include "skin/tree_ctrl_ex.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/modal_helper.h"

namespace {

constexpr int kConnections = 10000;
constexpr int kRunLimitMs = 300000;
constexpr double kTargetSeconds = 3.0;

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Two descriptors per connection (ours and the page's), plus room for the rest.
bool RaiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return false;
    const rlim_t wanted = 2 * kConnections + 1024;
    if (limit.rlim_cur >= wanted)
        return true;
    limit.rlim_cur = std::min<rlim_t>(wanted, limit.rlim_max);
    return ::setrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur >= wanted;
}

// Connects `count` peers from a thread of their own (the user-interface thread must keep
// running the page meanwhile).
std::thread ConnectPeers(std::uint16_t port, std::vector<std::unique_ptr<LoopbackPeer>>& peers) {
    return std::thread([port, &peers] {
        for (int i = 0; i < kConnections; ++i) {
            auto peer = std::make_unique<LoopbackPeer>();
            if (!peer->Connect(port))
                break;
            peers.push_back(std::move(peer));
        }
    });
}

// Baseline: the same connections accepted by a plain loop.
double PlainAccept() {
    std::uint16_t port = 0;
    const int listener = ListenOnLoopback(SOMAXCONN, port);
    std::vector<std::unique_ptr<LoopbackPeer>> peers;
    peers.reserve(kConnections);
    std::vector<int> accepted;
    accepted.reserve(kConnections);
    const auto start = Clock::now();
    std::thread connecting = ConnectPeers(port, peers);
    for (int i = 0; i < kConnections; ++i) {
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0)
            break;
        accepted.push_back(fd);
    }
    const double seconds = SecondsSince(start);
    connecting.join();
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
    int count = 0;
    for (HTREEITEM e = tree.GetChildItem(tree.GetRootItem()); e; e = tree.GetNextSiblingItem(e))
        ++count;
    return count;
}

bool AllClosed(CTreeCtrlEx& tree) {
    for (HTREEITEM e = tree.GetChildItem(tree.GetRootItem()); e; e = tree.GetNextSiblingItem(e)) {
        int image = -1, selected = -1;
        tree.GetItemImage(e, image, selected);
        if (image != kImageEntryClosed && image != kImageEntryClosedUnread)
            return false;
    }
    return true;
}

void PrintFigure(const char* name, double seconds, bool finished, double baseline) {
    std::printf("%-22s %8.2f s  (%.1f x plain accept; target < %.0f s: %s)%s\n", name, seconds,
                baseline > 0 ? seconds / baseline : 0, kTargetSeconds,
                finished && seconds < kTargetSeconds ? "met" : "MISSED",
                finished ? "" : "  [did not finish in time]");
}

}  // namespace

int main(int argc, char** argv) {
    BenchApplication app(argc, argv);
    if (!RaiseDescriptorLimit()) {
        std::printf("cannot raise the descriptor limit to %d; skipped\n", 2 * kConnections + 1024);
        return 0;
    }

    std::printf("TCP server page, %d connections from 127.0.0.1\n", kConnections);
    const double plain = PlainAccept();
    std::printf("%-22s %8.2f s  (baseline)\n", "plain accept", plain);

    auto page = std::make_unique<CTcpServerDlg>();
    page->show();
    CTreeCtrlEx& tree = *page->Tree();
    const std::uint16_t port = FreeLoopbackPort();
    {
        ModalAnswer answer(
            ModalAnswer::TypeInto(CSetListenDlg::kPortFieldId, QString::number(port)));
        page->OnCreate();
    }

    std::vector<std::unique_ptr<LoopbackPeer>> peers;
    peers.reserve(kConnections);
    auto start = Clock::now();
    std::thread connecting = ConnectPeers(port, peers);
    const bool listed = RunUntil([&] { return CountEntries(tree) >= kConnections; });
    PrintFigure("listed", SecondsSince(start), listed, plain);
    connecting.join();

    start = Clock::now();
    for (auto& peer : peers) peer->Close();
    const bool closed = RunUntil([&] { return AllClosed(tree); });
    PrintFigure("all shown closed", SecondsSince(start), closed, plain);

    start = Clock::now();
    page.reset();
    PrintFigure("page closed", SecondsSince(start), true, plain);
    return 0;
}
