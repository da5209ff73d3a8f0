// The same traffic over IPv6 and over IPv4, into the server pages' one dual-stack socket:
//
//   TCP flood   256 MiB from one peer into the TCP server page, entry not shown (as the
//               flood benchmark's "not shown" case), from ::1 and from 127.0.0.1
//   UDP paced   200,000 datagrams of 64 bytes at 100,000 a second from one sender into the
//               UDP server page, entry not shown (as the UDP benchmark's case), likewise
//
// Each pair runs in turns (IPv4, then IPv6), three rounds (--runs=N); printed: medians with
// the spread, and the ratio IPv6/IPv4 of the medians. Target (printed, not asserted): a
// ratio of at least 0.9, and no datagram lost on either.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench/pages/bench_page_support.h"
#include "bench/pages/bench_server_page.h"
#include "net/connect_info.h"
#include "net/crit_sec.h"
#include "pages/dialogs/set_listen_dlg.h"
#include "pages/tcp_server_page.h"
#include "pages/udp_server_page.h"
#include "skin/tree_ctrl_ex.h"
#include "tests/pages/udp_page_test_support.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/modal_helper.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kFloodBytes = std::size_t{256} << 20;
constexpr int kDatagrams = 200000;
constexpr std::size_t kDatagramBytes = 64;
constexpr int kPerSecond = 100000;
constexpr int kBatchesPerSecond = 1000;
constexpr int kQuietMs = 2000;
constexpr int kRunLimitMs = 120000;

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// ---- TCP -------------------------------------------------------------------------------------

// MiB/s of one flood into a fresh TCP server page; 0 when it did not finish.
double TcpFlood(bool ipv6) {
    CTcpServerDlg page;
    page.show();
    CTreeCtrlEx* tree = page.Tree();
    const std::uint16_t port = StartServerOnFreePort(page);
    LoopbackPeer peer;
    if (!(ipv6 ? peer.ConnectIpv6(port) : peer.Connect(port)))
        return 0;
    HTREEITEM entry = nullptr;
    if (!RunUntil([&] { return (entry = tree->GetChildItem(tree->GetRootItem())) != nullptr; },
                  10000)) {
        return 0;
    }
    auto* record = reinterpret_cast<ConnectInfo*>(tree->GetItemData(entry));
    tree->SelectItem(tree->GetRootItem());
    page.ShowEntry(tree->GetRootItem());

    std::string piece;
    for (std::size_t i = 0; piece.size() < (1u << 20); ++i)
        piece += "line " + std::to_string(i) + ": the quick brown fox jumps over the lazy dog\n";
    piece.resize(1u << 20);
    const auto start = Clock::now();
    std::thread feed([&] {
        for (std::size_t sent = 0; sent < kFloodBytes; sent += piece.size()) {
            if (!peer.Send(piece))
                return;
        }
    });
    const bool done = RunUntil(
        [&] {
            UiCritSecGuard lock(g_connectLock);
            return static_cast<std::size_t>(record->recvBytes) >= kFloodBytes;
        },
        kRunLimitMs);
    const double seconds = Seconds(start, Clock::now());
    feed.join();
    return done && seconds > 0 ? kFloodBytes / seconds / (1024.0 * 1024.0) : 0;
}

// ---- UDP -------------------------------------------------------------------------------------

// A datagram socket of the benchmark on ::1 or 127.0.0.1.
class Sender {
public:
    explicit Sender(bool ipv6) : ipv6_(ipv6) {
        fd_ = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_DGRAM, 0);
    }
    ~Sender() { ::close(fd_); }
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;

    void SendTo(std::uint16_t port, const std::string& data) const {
        if (ipv6_) {
            sockaddr_in6 to{};
            to.sin6_family = AF_INET6;
            to.sin6_port = htons(port);
            to.sin6_addr = in6addr_loopback;
            ::sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                     sizeof to);
        } else {
            const sockaddr_in to = UdpPeer::Loopback(port);
            ::sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                     sizeof to);
        }
    }

private:
    bool ipv6_;
    int fd_ = -1;
};

std::string Datagram(int number) {
    std::string data = "datagram " + std::to_string(number) + ": plain text as a person types";
    data.resize(kDatagramBytes - 1, '.');
    return data + '\n';
}

struct UdpRun {
    int logged = 0;
    double perSecond = 0;
};

UdpRun UdpPaced(bool ipv6) {
    UdpRun run;
    CUdpServerDlg page;
    page.show();
    CTreeCtrlEx* tree = page.Tree();
    const std::uint16_t port = CreateUdpServer(page);
    const Sender sender(ipv6);
    sender.SendTo(port, Datagram(0));  // its entry first, then shown not
    if (!RunUntil([&] { return tree->GetChildItem(tree->GetRootItem()) != nullptr; }, 10000))
        return run;
    tree->SelectItem(tree->GetRootItem());
    page.ShowEntry(tree->GetRootItem());
    const auto logged = [&] {
        UiCritSecGuard lock(g_connectLock);
        std::int64_t bytes = 0;
        for (const auto& [key, record] : page.Engine().Peers()) bytes += record->recvBytes;
        return static_cast<int>(bytes / static_cast<std::int64_t>(kDatagramBytes)) - 1;
    };
    const auto start = Clock::now();
    std::atomic<bool> sent{false};
    std::thread feed([&] {
        const int perBatch = kPerSecond / kBatchesPerSecond;
        int number = 0;
        for (int batch = 0; number < kDatagrams; ++batch) {
            std::this_thread::sleep_until(
                start + std::chrono::microseconds(1000000LL * batch / kBatchesPerSecond));
            for (int i = 0; i < perBatch && number < kDatagrams; ++i)
                sender.SendTo(port, Datagram(++number));
        }
        sent = true;
    });
    int seen = 0;
    auto lastChange = Clock::now();
    RunUntil(
        [&] {
            const int now = logged();
            if (now != seen) {
                seen = now;
                lastChange = Clock::now();
            }
            return seen >= kDatagrams ||
                   (sent && Seconds(lastChange, Clock::now()) * 1000 > kQuietMs);
        },
        kRunLimitMs);
    feed.join();
    run.logged = seen;
    const double seconds = Seconds(start, lastChange);
    run.perSecond = seconds > 0 ? seen / seconds : 0;
    return run;
}

// ---- printing ----------------------------------------------------------------------------------

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

void PrintPair(const char* unit, const std::vector<double>& four, const std::vector<double>& six) {
    const auto line = [unit](const char* name, std::vector<double> values) {
        std::sort(values.begin(), values.end());
        std::printf("  %-12s %10.0f %s [%.0f-%.0f]\n", name, Median(values), unit, values.front(),
                    values.back());
    };
    line("127.0.0.1", four);
    line("::1", six);
    const double ratio = Median(four) > 0 ? Median(six) / Median(four) : 0;
    std::printf("  %-12s %10.2f (target >= 0.9: %s)\n", "IPv6/IPv4", ratio,
                ratio >= 0.9 ? "met" : "MISSED");
}

void PrintLoad() {
    double load[3] = {0, 0, 0};
    if (::getloadavg(load, 3) == 3)
        std::printf("  (load average %.2f %.2f %.2f on %ld cores)\n", load[0], load[1], load[2],
                    ::sysconf(_SC_NPROCESSORS_ONLN));
}

}  // namespace

int main(int argc, char** argv) {
    BenchApplication app(argc, argv);
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--runs=", 0) == 0)
            runs = std::max(1, std::atoi(arg.c_str() + 7));
    }
    std::printf("TCP server page, %zu MiB from one peer, entry not shown, %d run(s)\n",
                kFloodBytes >> 20, runs);
    PrintLoad();
    std::vector<double> four, six;
    for (int run = 0; run < runs; ++run) {
        four.push_back(TcpFlood(false));
        six.push_back(TcpFlood(true));
    }
    PrintPair("MiB/s", four, six);
    std::fflush(stdout);

    std::printf(
        "UDP server page, %d datagrams of %zu bytes at %d a second, entry not shown, "
        "%d run(s)\n",
        kDatagrams, kDatagramBytes, kPerSecond, runs);
    std::vector<double> fourRate, sixRate;
    int fourLost = 0, sixLost = 0;
    for (int run = 0; run < runs; ++run) {
        const UdpRun a = UdpPaced(false);
        const UdpRun b = UdpPaced(true);
        fourRate.push_back(a.perSecond);
        sixRate.push_back(b.perSecond);
        fourLost += kDatagrams - a.logged;
        sixLost += kDatagrams - b.logged;
    }
    PrintPair("datagrams/s", fourRate, sixRate);
    std::printf("  %-12s IPv4 %d, IPv6 %d over all runs (target 0: %s)\n", "lost", fourLost,
                sixLost, fourLost == 0 && sixLost == 0 ? "met" : "MISSED");
    PrintLoad();
    return 0;
}
