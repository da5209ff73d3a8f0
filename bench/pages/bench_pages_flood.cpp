// Throughput of the TCP server page under a flood from one peer on 127.0.0.1, and how long
// the user-interface thread goes unanswered meanwhile.
//
//   plain recv loop   a thread receiving into a 10240-byte buffer, nothing else (baseline)
//   not shown         the page logs every chunk and marks the entry as holding unseen data
//   shown             the page also puts every chunk into the received view
//
// Stall: a 5 ms timer on the user-interface thread notes how late each tick fires; the
// longest lateness during the flood is printed. Targets (printed, not asserted): not shown
// at least 1/3 of the plain loop, shown at least 1/10, no stall above 100 ms.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "bench/pages/bench_page_support.h"
#include "net/connect_info.h"
#include "net/crit_sec.h"
#include "pages/set_listen_dlg.h"
#include "pages/tcp_server_dlg.h"
#include "platform/dialog_template.h"
#include "platform/qt_window.h"
#include "skin/tree_ctrl_ex.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/modal_helper.h"

namespace {

constexpr std::size_t kFloodBytes = 64u << 20;
constexpr int kTickMs = 5;
constexpr int kRunLimitMs = 180000;  // a run that takes longer is reported as unfinished

using Clock = std::chrono::steady_clock;

std::string FloodData() {
    std::string data;
    data.reserve(kFloodBytes + 128);
    for (std::size_t i = 0; data.size() < kFloodBytes; ++i) {
        data += "line " + std::to_string(i) + ": the quick brown fox jumps over the lazy dog\n";
    }
    data.resize(kFloodBytes);
    return data;
}

double MiBPerSecond(std::size_t bytes, double seconds) {
    return seconds > 0 ? bytes / seconds / (1024.0 * 1024.0) : 0;
}

// Baseline: accept one connection and receive everything as the engine's thread does,
// with nothing done per chunk.
double PlainRecvLoop(const std::string& data) {
    std::uint16_t port = 0;
    const int listener = ListenOnLoopback(1, port);
    LoopbackPeer sender;
    sender.Connect(port);
    const int receiver = ::accept(listener, nullptr, nullptr);

    const auto start = Clock::now();
    std::thread feed([&] { sender.Send(data); });
    char buffer[10240];
    std::size_t received = 0;
    while (received < data.size()) {
        const ssize_t n = ::recv(receiver, buffer, sizeof buffer - 1, 0);
        if (n <= 0)
            break;
        received += static_cast<std::size_t>(n);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    feed.join();
    sender.Close();
    ::close(receiver);
    ::close(listener);
    return MiBPerSecond(received, seconds);
}

struct PageRun {
    bool finished = false;
    double mibPerSecond = 0;
    double longestStallMs = 0;
};

// One flood into a fresh page; `shown` selects and shows the entry first, as a click does.
PageRun FloodThePage(const std::string& data, bool shown) {
    CTcpServerDlg page;
    page.show();
    CTreeCtrlEx* tree = page.Tree();

    const std::uint16_t port = FreeLoopbackPort();
    ModalAnswer answer(ModalAnswer::TypeInto(CSetListenDlg::kPortFieldId, QString::number(port)));
    page.OnCreate();

    PageRun run;
    LoopbackPeer peer;
    if (!peer.Connect(port))
        return run;
    QElapsedTimer limit;
    limit.start();
    HTREEITEM entry = nullptr;
    while (!(entry = tree->GetChildItem(tree->GetRootItem())) && limit.elapsed() < 10000) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    if (!entry)
        return run;
    auto* record = reinterpret_cast<ConnectInfo*>(tree->GetItemData(entry));
    if (shown) {
        tree->SelectItem(entry);
        page.ShowEntry(entry);
    } else {
        tree->SelectItem(tree->GetRootItem());
    }

    // The stall probe: how late each tick of a 5 ms timer fires.
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(kTickMs);
    auto lastTick = Clock::now();
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        const double late =
            std::chrono::duration<double, std::milli>(now - lastTick).count() - kTickMs;
        if (late > run.longestStallMs)
            run.longestStallMs = late;
        lastTick = now;
    });

    const auto start = Clock::now();
    std::thread feed([&] { peer.Send(data); });
    lastTick = Clock::now();
    probe.start();
    // Done when every byte is in the log and, for the shown entry, in the view too. Checked
    // from a 2 ms timer so that the user-interface thread idles like a real one.
    std::size_t received = 0;
    bool complete = false;
    QEventLoop loop;
    QTimer check;
    check.setInterval(2);
    QObject::connect(&check, &QTimer::timeout, [&] {
        UiCritSecGuard lock(g_connectLock);
        received = static_cast<std::size_t>(static_cast<std::uint32_t>(record->recvBytes));
        if (received < data.size())
            return;
        if (shown && static_cast<std::size_t>(page.ReceivedView()->document()->characterCount() -
                                              1) != record->recvLog.size()) {
            return;
        }
        complete = true;
        loop.quit();
    });
    QTimer::singleShot(kRunLimitMs, &loop, &QEventLoop::quit);
    check.start();
    loop.exec();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    probe.stop();
    feed.join();
    peer.Close();

    run.finished = complete;
    run.mibPerSecond = MiBPerSecond(received, seconds);
    return run;
}

void PrintPageRun(const char* name, const PageRun& run, double baseline, double share) {
    const double target = baseline * share;
    std::printf(
        "%-22s %9.1f MiB/s  (%.3f of plain; target >= %.3f: %s)  longest stall %6.1f ms "
        "(target <= 100: %s)%s\n",
        name, run.mibPerSecond, baseline > 0 ? run.mibPerSecond / baseline : 0, share,
        run.mibPerSecond >= target ? "met" : "MISSED", run.longestStallMs,
        run.longestStallMs <= 100 ? "met" : "MISSED",
        run.finished ? "" : "  [did not finish in time]");
}

}  // namespace

int main(int argc, char** argv) {
    BenchApplication app(argc, argv);

    const std::string data = FloodData();
    std::printf("TCP server page, %zu MiB from one peer on 127.0.0.1\n", kFloodBytes >> 20);
    const double plain = PlainRecvLoop(data);
    std::printf("%-22s %9.1f MiB/s  (baseline)\n", "plain recv loop", plain);
    // "--only=hidden" or "--only=shown" runs one page case (for profiling).
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (only != "--only=shown") {
        PrintPageRun("page, entry not shown", FloodThePage(data, false), plain, 1.0 / 3);
    }
    if (only != "--only=hidden") {
        PrintPageRun("page, entry shown", FloodThePage(data, true), plain, 1.0 / 10);
    }
    return 0;
}
