// Commands on the TCP server page while a thousand connections from 127.0.0.1 flood it:
//
//   idle     Delete and Disconnect of an entry while the peers send nothing (baseline)
//   flood    the same while every peer sends as fast as it can
//   stall    how late a 5 ms timer on the user-interface thread fires during the flood
//
// Each command is timed from the call until it has done its work (the page took the lock,
// closed the connection and showed the result). Targets (printed, not asserted): every
// command during the flood within 100 ms, no stall above 50 ms.
#include <poll.h>
#include <sys/socket.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "bench/pages/bench_page_support.h"
#include "bench/pages/bench_server_page.h"
#include "net/connect_info.h"
#include "net/crit_sec.h"
#include "pages/dialogs/set_listen_dlg.h"
#include "pages/tcp_server_page.h"
#include "platform/qt_window.h"
#include "skin/tree_ctrl_ex.h"
#include "tests/support/loopback_peer.h"  // FreeLoopbackPort
#include "tests/support/modal_helper.h"

namespace {

constexpr int kConnections = 1000;
constexpr int kCommandsEach = 7;                   // Deletes, and Disconnects, per phase
constexpr int kMsBetweenCommands = 60;             // the flood goes on between them
constexpr std::size_t kSendSize = 1024;            // small writes: many reads, many batches
constexpr std::size_t kBytesPerPeer = 256u << 10;  // bounds memory: 256 MiB in all
constexpr int kFloodLimitMs = 60000;
constexpr int kRunLimitMs = 120000;
constexpr double kCommandTargetMs = 100;
constexpr double kStallTargetMs = 50;
constexpr int kTickMs = 5;

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The peers' flood ('F' to the peer process), run in the child: from all peers, round
// robin and non-blocking, each up to kBytesPerPeer. Returns when a command is waiting (left
// unread), every peer sent its share, or the limit passed.
void Flood(char /*what*/, const std::vector<int>& peers, int commands) {
    std::vector<char> data(kSendSize, 'f');
    for (std::size_t i = 0; i < data.size(); i += 64) data[i] = '\n';
    std::vector<std::size_t> sent(peers.size(), 0);
    const auto limit = Clock::now() + std::chrono::milliseconds(kFloodLimitMs);
    for (bool more = true; more && Clock::now() < limit;) {
        pollfd command{commands, POLLIN, 0};
        if (::poll(&command, 1, 0) > 0)
            return;
        more = false;
        for (std::size_t i = 0; i < peers.size(); ++i) {
            if (sent[i] >= kBytesPerPeer)
                continue;
            const ssize_t n =
                ::send(peers[i], data.data(), data.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n > 0)
                sent[i] += static_cast<std::size_t>(n);
            else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                sent[i] = kBytesPerPeer;  // deleted or disconnected by the page
            more = more || sent[i] < kBytesPerPeer;
        }
    }
}

void RunFor(int ms) {
    RunUntil([] { return false; }, ms);
}

// Every record's received bytes so far (entries deleted meanwhile no longer count).
double ReceivedMiB(CTcpServerDlg& page) {
    UiCritSecGuard lock(g_connectLock);
    double bytes = 0;
    for (const auto& entry : page.Engine().Connections())
        bytes += static_cast<std::uint32_t>(entry.second->recvBytes);
    return bytes / (1024.0 * 1024.0);
}

// How late each tick of a 5 ms timer fires while it runs.
class StallProbe {
public:
    StallProbe() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(kTickMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const auto now = Clock::now();
            const double late =
                std::chrono::duration<double, std::milli>(now - last_).count() - kTickMs;
            longestMs_ = std::max(longestMs_, late);
            last_ = now;
        });
        last_ = Clock::now();
        timer_.start();
    }
    // Commands run on the probed thread: their own time is not a stall of the flood.
    void Restart() { last_ = Clock::now(); }
    double LongestMs() const { return longestMs_; }

private:
    QTimer timer_;
    Clock::time_point last_;
    double longestMs_ = 0;
};

struct Timings {
    std::vector<double> deleteMs;
    std::vector<double> disconnectMs;
};

// Selects the entry at `index` under the host node and times `command` on it.
double TimeCommand(CTcpServerDlg& page, int index, void (CTcpPage::*command)()) {
    CTreeCtrlEx& tree = *page.Tree();
    QTreeWidgetItem* host = tree.topLevelItem(0);
    if (host == nullptr || index >= host->childCount())
        return -1;
    tree.SelectItem(CTreeCtrlEx::ToHandle(host->child(index)));
    const auto start = Clock::now();
    (page.*command)();
    return MsSince(start);
}

// Alternating Deletes (of the first entry) and Disconnects (of the last open ones), with
// the event loop running between them.
Timings RunCommands(CTcpServerDlg& page, StallProbe* probe) {
    Timings timings;
    for (int i = 0; i < kCommandsEach; ++i) {
        RunFor(kMsBetweenCommands / 2);
        timings.deleteMs.push_back(TimeCommand(page, 0, &CTcpPage::OnDelete));
        if (probe)
            probe->Restart();
        RunFor(kMsBetweenCommands / 2);
        const int last = CountEntries(*page.Tree()) - 1 - i;
        timings.disconnectMs.push_back(TimeCommand(page, last, &CTcpPage::OnDisconnect));
        if (probe)
            probe->Restart();
    }
    return timings;
}

double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Longest(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

void PrintCommand(const char* name, const std::vector<double>& flood,
                  const std::vector<double>& idle) {
    std::printf(
        "%-11s idle: median %7.2f ms, longest %7.2f ms   flood: median %7.2f ms, longest %7.2f "
        "ms  (target <= %.0f: %s)\n",
        name, Median(idle), Longest(idle), Median(flood), Longest(flood), kCommandTargetMs,
        Longest(flood) <= kCommandTargetMs ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
    if (!RaiseDescriptorLimit(kConnections + 1024)) {
        std::printf("cannot raise the descriptor limit to %d; skipped\n", kConnections + 1024);
        return 0;
    }
    // Forked before the application starts any thread.
    PeerProcess peers(kConnections, Flood);
    if (!peers.Start()) {
        std::printf("cannot start the peer process; skipped\n");
        return 0;
    }
    BenchApplication app(argc, argv);

    auto page = std::make_unique<CTcpServerDlg>();
    page->show();
    const std::uint16_t port = StartServerOnFreePort(*page);
    peers.Command('C', port);
    if (!RunUntil([&] { return CountEntries(*page->Tree()) >= kConnections; }, kRunLimitMs)) {
        std::printf("only %d of %d connections listed; skipped\n", CountEntries(*page->Tree()),
                    kConnections);
        return 0;
    }
    std::printf("TCP server page, %d connections from 127.0.0.1, %d commands of each kind\n",
                kConnections, kCommandsEach);

    const Timings idle = RunCommands(*page, nullptr);

    peers.Command('F');
    RunFor(100);  // the flood is under way
    StallProbe probe;
    const double receivedBefore = ReceivedMiB(*page);
    const auto floodStart = Clock::now();
    const Timings flood = RunCommands(*page, &probe);
    const double floodMs = MsSince(floodStart);
    const double rate = (ReceivedMiB(*page) - receivedBefore) / (floodMs / 1000);
    const double stall = probe.LongestMs();
    peers.Command('X');

    PrintCommand("Delete", flood.deleteMs, idle.deleteMs);
    PrintCommand("Disconnect", flood.disconnectMs, idle.disconnectMs);
    std::printf("%-11s longest %7.2f ms (target <= %.0f: %s), page received %.1f MiB/s meanwhile\n",
                "stall", stall, kStallTargetMs, stall <= kStallTargetMs ? "met" : "MISSED", rate);
    page.reset();
    return 0;
}
