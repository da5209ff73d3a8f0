// Datagrams into the UDP server page on 127.0.0.1, paced at 100,000 a second, and how long
// the user-interface thread goes unanswered meanwhile:
//
//   one sender, shown       200,000 datagrams of 64 bytes into the entry the views show
//   one sender, not shown   the same into an entry that is not shown
//   1,000 senders           100 datagrams of 64 bytes from each, in turns
//   1,000 senders, once     one datagram from each: a thousand new entries
//
// Each case runs first against a plain recvfrom loop (a thread reading a socket with the
// engine's receive buffer, nothing else: the baseline) and then against a fresh page.
// Printed per run: datagrams lost, datagrams handled per second, and the longest stall of
// a 5 ms timer on the user-interface thread. Targets (printed, not asserted): nothing lost
// at 100,000 a second; never unresponsive for more than 100 ms.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/pages/bench_page_support.h"
#include "net/connect_info.h"
#include "net/crit_sec.h"
#include "pages/udp_server_page.h"
#include "skin/tree_ctrl_ex.h"
#include "tests/pages/udp_page_test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kDatagramBytes = 64;
constexpr int kPerSecond = 100000;
constexpr int kBatchesPerSecond = 1000;  // the pace is kept per millisecond
constexpr int kTickMs = 5;
constexpr int kQuietMs = 2000;       // no progress for this long: the rest is lost
constexpr int kRunLimitMs = 120000;  // a run that takes longer is reported as unfinished
// The receive buffer the engine asks for on its sockets; the baseline gets the same.
constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;

struct Workload {
    const char* name;
    int senders;
    int datagramsEach;
    bool shown;  // the page shows the (first) sender's entry
    int Total() const { return senders * datagramsEach; }
};

// The senders: datagram sockets of 127.0.0.1, each on its own port.
class Senders {
public:
    explicit Senders(int count) {
        for (int i = 0; i < count; ++i) peers_.push_back(std::make_unique<UdpPeer>());
    }
    void SendOne(int sender, std::uint16_t port, const std::string& data) const {
        peers_[static_cast<std::size_t>(sender)]->SendTo(port, data);
    }
    // `each` datagrams from every sender, in turns, kPerSecond a second, numbered from 1.
    void SendPaced(std::uint16_t port, int each) const {
        const int perBatch = kPerSecond / kBatchesPerSecond;
        const auto start = Clock::now();
        int sent = 0;
        const int total = each * static_cast<int>(peers_.size());
        for (int batch = 0; sent < total; ++batch) {
            std::this_thread::sleep_until(
                start + std::chrono::microseconds(1000000LL * batch / kBatchesPerSecond));
            for (int i = 0; i < perBatch && sent < total; ++i, ++sent) {
                SendOne(sent % static_cast<int>(peers_.size()), port, Datagram(sent + 1));
            }
        }
    }
    // Datagram number `number`: plain text as a person types, 64 bytes.
    static std::string Datagram(int number) {
        std::string data = Tag(number) + ": sixty-four bytes of plain text as a person types";
        data.resize(kDatagramBytes - 1, '.');
        data += '\n';
        return data;
    }
    static std::string Tag(int number) { return "datagram " + std::to_string(number); }

private:
    std::vector<std::unique_ptr<UdpPeer>> peers_;
};

// How late a 5 ms timer on the user-interface thread fires, at the most: the longest time
// the thread did not get to its event loop.
class StallProbe {
public:
    StallProbe() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(kTickMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    }
    void Start() {
        lastTick_ = Clock::now();
        timer_.start();
    }
    void Stop() { timer_.stop(); }
    double LongestMs() const { return longestMs_; }

private:
    void Tick() {
        const auto now = Clock::now();
        const double gap = std::chrono::duration<double, std::milli>(now - lastTick_).count();
        longestMs_ = std::max(longestMs_, gap - kTickMs);
        lastTick_ = now;
    }
    QTimer timer_;
    Clock::time_point lastTick_;
    double longestMs_ = 0;
};

struct Run {
    bool finished = false;
    int received = 0;
    int lost = 0;
    double perSecond = 0;
    double longestStallMs = 0;
};

// Baseline: a thread reading the datagrams as the engine's thread does, doing nothing else.
Run PlainRecvFromLoop(const Workload& work) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kReceiveBufferBytes, sizeof kReceiveBufferBytes);
    timeval wait{0, 200000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    sockaddr_in address = UdpPeer::Loopback(0);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    const std::uint16_t port = ntohs(address.sin_port);

    Senders senders(work.senders);
    std::atomic<int> received{0};
    std::atomic<bool> stop{false};
    Clock::time_point last = Clock::now();
    std::thread reader([&] {
        std::vector<char> buffer(65536);
        while (!stop) {
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t n = ::recvfrom(fd, buffer.data(), buffer.size(), 0,
                                         reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (n >= 0) {
                ++received;
                last = Clock::now();
            }
        }
    });
    const auto start = Clock::now();
    senders.SendPaced(port, work.datagramsEach);
    // Wait until everything arrived or nothing came for a while.
    for (int seen = -1; received < work.Total();) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kQuietMs));
        if (received == seen)
            break;
        seen = received;
    }
    stop = true;
    reader.join();
    ::close(fd);

    Run run;
    run.finished = true;
    run.received = received;
    run.lost = work.Total() - received;
    const double seconds = std::chrono::duration<double>(last - start).count();
    run.perSecond = seconds > 0 ? received / seconds : 0;
    return run;
}

// Datagrams the page logged so far: 64 bytes each, over all records.
int LoggedDatagrams(CUdpServerDlg& page) {
    UiCritSecGuard lock(g_connectLock);
    std::int64_t bytes = 0;
    for (const auto& [key, record] : page.Engine().Peers()) bytes += record->recvBytes;
    return static_cast<int>(bytes / static_cast<std::int64_t>(kDatagramBytes));
}

// One workload into a fresh page.
Run IntoThePage(const Workload& work) {
    Run run;
    CUdpServerDlg page;
    page.show();
    CTreeCtrlEx* tree = page.Tree();
    const std::uint16_t serverPort = CreateUdpServer(page);
    Senders senders(work.senders);

    // The first sender says hello, so that its entry exists and can be shown (or not).
    senders.SendOne(0, serverPort, Senders::Datagram(0));
    HTREEITEM entry = nullptr;
    const auto firstEntry = [&] { return (entry = tree->GetChildItem(tree->GetRootItem())); };
    if (!QTest::qWaitFor(firstEntry, 10000))
        return run;
    const HTREEITEM shown = work.shown ? entry : tree->GetRootItem();
    tree->SelectItem(shown);
    page.ShowEntry(shown);
    const int before = LoggedDatagrams(page);

    StallProbe probe;
    const auto start = Clock::now();
    std::atomic<bool> sent{false};
    std::thread feed([&] {
        senders.SendPaced(serverPort, work.datagramsEach);
        sent = true;
    });
    probe.Start();
    // Done when every datagram is logged and, shown, in the view too; or when nothing more
    // came for a while after the senders ended. Checked from a timer, so that the
    // user-interface thread idles between checks as a real one does.
    // The shown entry's last line, once in the view, is the last datagram's.
    const QString lastTag = QString::fromStdString(Senders::Tag(work.Total()) + ":");
    const auto viewShowsTheEnd = [&] {
        const QTextBlock last = page.ReceivedView()->document()->lastBlock();
        return last.text().contains(lastTag) || last.previous().text().contains(lastTag);
    };
    int logged = 0;
    auto lastProgress = Clock::now();
    auto lastChange = Clock::now();
    QEventLoop loop;
    QTimer check;
    check.setInterval(5);
    QObject::connect(&check, &QTimer::timeout, [&] {
        const int now = LoggedDatagrams(page) - before;
        if (now != logged) {
            logged = now;
            lastChange = Clock::now();
            lastProgress = lastChange;
        }
        bool all = logged >= work.Total();
        if (all && work.shown) {
            all = viewShowsTheEnd();
            if (all)
                lastProgress = Clock::now();
        }
        const bool quiet =
            sent &&
            std::chrono::duration<double, std::milli>(Clock::now() - lastChange).count() > kQuietMs;
        if (!all && !quiet)
            return;
        run.finished = all;
        loop.quit();
    });
    QTimer::singleShot(kRunLimitMs, &loop, &QEventLoop::quit);
    check.start();
    loop.exec();
    probe.Stop();
    feed.join();
    run.longestStallMs = probe.LongestMs();

    run.received = logged;
    run.lost = work.Total() - logged;
    const double seconds = std::chrono::duration<double>(lastProgress - start).count();
    run.perSecond = seconds > 0 ? logged / seconds : 0;
    return run;
}

void Print(const char* name, const Run& run, int total, bool withStall) {
    std::printf("  %-16s lost %7d of %7d (target 0: %-6s)  %9.0f datagrams/s", name, run.lost,
                total, run.lost == 0 ? "met" : "MISSED", run.perSecond);
    if (withStall) {
        std::printf("  longest stall %6.1f ms (target <= 100: %s)", run.longestStallMs,
                    run.longestStallMs <= 100 ? "met" : "MISSED");
    }
    std::printf("%s\n", run.finished ? "" : "  [did not finish in time]");
}

}  // namespace

int main(int argc, char** argv) {
    BenchApplication app(argc, argv);
    const Workload workloads[] = {
        {"one sender, shown", 1, 200000, true},
        {"one sender, not shown", 1, 200000, false},
        {"1,000 senders", 1000, 100, false},
        {"1,000 senders, once", 1000, 1, false},
    };
    std::printf("UDP server page, datagrams of %zu bytes at %d a second on 127.0.0.1\n",
                kDatagramBytes, kPerSecond);
    // An argument runs only the workloads whose name contains it (for profiling).
    const std::string only = argc > 1 ? argv[1] : "";
    for (const Workload& work : workloads) {
        if (std::string(work.name).find(only) == std::string::npos)
            continue;
        std::printf("%s (%d datagrams)\n", work.name, work.Total());
        Print("plain recvfrom", PlainRecvFromLoop(work), work.Total(), false);
        std::fflush(stdout);
        Print("page", IntoThePage(work), work.Total(), true);
        std::fflush(stdout);
    }
    return 0;
}
