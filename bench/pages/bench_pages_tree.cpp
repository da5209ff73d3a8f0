// The TCP server page with ten thousand connections on 127.0.0.1:
//
//   plain accept       a plain loop accepting the same connections (baseline)
//   listed             from the first connect until the tree holds every entry
//   all shown closed   from the moment every peer closes until every entry shows closed
//   page closed        destroying the page with all its entries, closed and then open
//
// Targets (printed, not asserted): each page figure under 3 s.
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "bench/pages/bench_page_support.h"
#include "net/connect_info.h"
#include "pages/dialogs/set_listen_dlg.h"
#include "pages/tcp_server_page.h"
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

// Baseline: the same connections accepted by a plain loop.
double PlainAccept(PeerProcess& peers) {
    std::uint16_t port = 0;
    const int listener = ListenOnLoopback(SOMAXCONN, port);
    std::vector<int> accepted;
    accepted.reserve(kConnections);
    const auto start = Clock::now();
    peers.Send('C', port);
    for (int i = 0; i < kConnections; ++i) {
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0)
            break;
        accepted.push_back(fd);
    }
    const double seconds = SecondsSince(start);
    peers.Wait();
    peers.Send('X');
    peers.Wait();
    for (int fd : accepted) ::close(fd);
    ::close(listener);
    return seconds;
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
    // One descriptor per connection in each process (the peers live in a process of their
    // own), plus room for the rest.
    if (!RaiseDescriptorLimit(kConnections + 1024)) {
        std::printf("cannot raise the descriptor limit to %d; skipped\n", kConnections + 1024);
        return 0;
    }
    // Forked before the application starts any thread.
    PeerProcess peers(kConnections);
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
    peers.Send('C', page->Port());
    const bool listed = RunUntil([&] { return CountEntries(tree) >= kConnections; }, kRunLimitMs);
    PrintFigure("listed", SecondsSince(start), listed, plain);
    peers.Wait();

    start = Clock::now();
    peers.Send('X');
    ClosedWatch watch(tree);
    const bool closed = RunUntil([&] { return watch.AllClosed(); }, kRunLimitMs);
    PrintFigure("all shown closed", SecondsSince(start), closed, plain);
    peers.Wait();

    start = Clock::now();
    page.reset();
    PrintFigure("page closed", SecondsSince(start), true, plain);

    // Closed while every connection is still open.
    page = ListeningPage();
    peers.Send('C', page->Port());
    RunUntil([&] { return CountEntries(*page->Tree()) >= kConnections; }, kRunLimitMs);
    peers.Wait();
    start = Clock::now();
    page.reset();
    PrintFigure("page closed, all open", SecondsSince(start), true, plain);
    peers.Send('X');
    peers.Wait();
    return 0;
}
