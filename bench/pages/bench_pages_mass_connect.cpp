// The TCP client page making and connecting 1,000 and 10,000 entries: one Create with the
// count (the address dialog answered as a user does), then "全部连接", until every entry is
// open; beside a plain non-blocking connect loop with the same bound on connects in flight,
// in the same run. Also the longest the window's event loop went without turning meanwhile.
// The listener is a child process that accepts and holds the connections (until told to
// drop them), so that this process holds only its own ends. Loopback only; every wait is
// bounded. Targets are printed, not enforced.
#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>

#include <QElapsedTimer>
#include <chrono>
#include <cstdio>

#include "bench/pages/bench_page_support.h"
#include "net/crit_sec.h"
#include "pages/dialogs/dlg_set_ip.h"
#include "pages/tcp_client_page.h"
#include "tests/support/modal_helper.h"

namespace {

constexpr int kRunLimitMs = 180000;

// Child process: accepts on `listener` and holds every connection; a byte on `drop` closes
// them all (answered on `dropped`), end of file ends the child.
[[noreturn]] void AcceptAndHold(int listener, int drop, int dropped) {
    ::fcntl(listener, F_SETFL, ::fcntl(listener, F_GETFL) | O_NONBLOCK);
    std::vector<int> held;
    pollfd watched[2] = {{listener, POLLIN, 0}, {drop, POLLIN, 0}};
    for (;;) {
        ::poll(watched, 2, 1000);
        if (watched[1].revents != 0) {
            char byte = 0;
            if (::read(drop, &byte, 1) != 1)
                _exit(0);
            for (int fd : held) ::close(fd);
            held.clear();
            (void)!::write(dropped, "1", 1);
        }
        if (watched[0].revents != 0) {
            for (int n = 0; n < 512; ++n) {
                const int fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK);
                if (fd < 0)
                    break;
                held.push_back(fd);
            }
        }
    }
}

std::size_t OpenEntries(CTcpClientDlg& page) {
    UiCritSecGuard lock(g_connectLock);
    std::size_t open = 0;
    for (const auto& [id, record] : page.Engine().Connections())
        open += record != nullptr && record->sock != INVALID_SOCKET ? 1 : 0;
    return open;
}

struct PageRun {
    double dialogMs = -1;  // the same Create with a count of 1: the dialog answered by keys
    double createMs = -1;
    double connectMs = -1;
    double longestStallMs = 0;
};

PageRun ThroughPage(std::uint16_t port, int count) {
    PageRun run;
    CTcpClientDlg page;
    page.show();
    // The event loop's turns: a 1 ms timer notes the longest gap between two of them.
    QElapsedTimer sinceTurn;
    qint64 longest = 0;
    QTimer turns;
    turns.setInterval(1);
    QObject::connect(&turns, &QTimer::timeout,
                     [&] { longest = std::max(longest, sinceTurn.restart()); });
    const auto create = [&](int entries) {
        QElapsedTimer clock;
        clock.start();
        ModalAnswer answer(
            ModalAnswer::TypeInto(CDlgSetIp::kAddressFieldId, QStringLiteral("127.0.0.1"))
                .TypeInto(CDlgSetIp::kPortFieldId, QString::number(port))
                .TypeInto(CDlgSetIp::kCountFieldId, QString::number(entries)));
        page.OnCreate();
        return answer.Answered() ? static_cast<double>(clock.nsecsElapsed()) / 1e6 : -1.0;
    };
    run.dialogMs = create(1);
    page.Records().DeleteEntry(
        page.Records().Selected(), page.Engine().Connections(),
        [](const ConnectInfo& record) -> ConnectKey { return record.id; });
    run.createMs = create(count);
    if (run.createMs < 0 || run.dialogMs < 0)
        return run;
    QElapsedTimer clock;
    clock.start();
    sinceTurn.start();
    turns.start();
    page.Batch().ConnectAll();
    const bool done =
        RunUntil([&] { return !page.Batch().Running() && OpenEntries(page) == std::size_t(count); },
                 kRunLimitMs);
    turns.stop();
    if (done)
        run.connectMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    run.longestStallMs = static_cast<double>(longest);
    return run;  // the page closes every connection as it goes
}

// The plain loop: non-blocking sockets, connect, epoll for completion, the same bound on
// connects in flight; descriptors only.
double PlainLoop(std::uint16_t port, int count) {
    const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
    std::vector<int> done;
    std::vector<epoll_event> events(ConnectBatch::kMaxInFlight);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    int started = 0;
    std::size_t inFlight = 0;
    QElapsedTimer clock;
    clock.start();
    while ((started < count || inFlight > 0) && clock.elapsed() < kRunLimitMs) {
        for (; started < count && inFlight < ConnectBatch::kMaxInFlight; ++started) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
                done.push_back(fd);
                continue;
            }
            epoll_event watch{};
            watch.events = EPOLLOUT;
            watch.data.fd = fd;
            ::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &watch);
            ++inFlight;
        }
        const int ready = ::epoll_wait(epoll, events.data(), static_cast<int>(events.size()), 1000);
        for (int i = 0; i < ready; ++i) {
            const int fd = events[static_cast<std::size_t>(i)].data.fd;
            ::epoll_ctl(epoll, EPOLL_CTL_DEL, fd, nullptr);
            --inFlight;
            done.push_back(fd);
        }
    }
    const double elapsed =
        started == count && inFlight == 0 ? static_cast<double>(clock.nsecsElapsed()) / 1e6 : -1;
    for (int fd : done) ::close(fd);
    ::close(epoll);
    return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const bool manyAllowed = RaiseDescriptorLimit(10000 + 1024);
    std::uint16_t port = 0;
    const int listener = ListenOnLoopback(SOMAXCONN, port);
    int drop[2], dropped[2];
    if (listener < 0 || ::pipe(drop) != 0 || ::pipe(dropped) != 0)
        return 1;
    // Forked before any thread.
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(drop[1]);
        ::close(dropped[0]);
        AcceptAndHold(listener, drop[0], dropped[1]);
    }
    ::close(drop[0]);
    ::close(dropped[1]);
    ::close(listener);
    const auto dropHeld = [&] {
        char byte = 0;
        (void)!::write(drop[1], "1", 1);
        (void)!::read(dropped[0], &byte, 1);
    };

    BenchApplication app(argc, argv);
    std::printf(
        "TCP client page: Create with a count, then 全部连接 to a local listener "
        "(at most %zu in flight)\n",
        ConnectBatch::kMaxInFlight);
    int status = 0;
    for (const int count : {1000, 10000}) {
        if (count == 10000 && !manyAllowed) {
            std::printf("  %6d entries: skipped, descriptor limit too low\n", count);
            continue;
        }
        const PageRun page = ThroughPage(port, count);
        dropHeld();
        const double loop = PlainLoop(port, count);
        dropHeld();
        if (page.connectMs < 0 || loop < 0) {
            std::printf("  %6d entries: did not finish within %d s\n", count, kRunLimitMs / 1000);
            status = 1;
            continue;
        }
        // Create's own part: without the dialog, which costs the same for any count.
        const double entriesMs = std::max(0.0, page.createMs - page.dialogMs);
        const double pageTotal = entriesMs + page.connectMs;
        std::printf(
            "  %6d entries: page %8.1f ms (Create %.1f, 全部连接 %.1f; the dialog "
            "%.1f more)   plain loop %8.1f ms   ratio %.2f (target <= 3)\n",
            count, pageTotal, entriesMs, page.connectMs, page.dialogMs, loop,
            pageTotal / std::max(loop, 0.001));
        std::printf(
            "                  longest window stall while connecting %.0f ms, Create "
            "holds the window %.0f ms (target <= 50)\n",
            page.longestStallMs, entriesMs);
    }
    ::close(drop[1]);
    ::waitpid(child, nullptr, 0);
    return status;
}
