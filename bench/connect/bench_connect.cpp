// Creating and connecting many TCP sockets to a local listener: through ConnectBatch (its
// worker, handles, outcomes posted through the message layer and taken on this thread),
// beside a plain non-blocking connect loop with the same bound on connects in flight,
// measured in the same run. The listener is a child process that accepts and closes, so
// that this process holds only its own ends. Loopback only (127.0.0.1); every loop is
// bounded in count and time. Targets are printed, not enforced.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <vector>

#include "net/connect_batch.h"
#include "platform/window_messages.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr UINT kOutcomesMessage = WM_USER + 400;
constexpr auto kRunBound = 120s;

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

int Listener(std::uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    ::listen(fd, SOMAXCONN);
    socklen_t length = sizeof(address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

// Child process: accepts on every listener and closes at once, until `quit` is closed.
[[noreturn]] void AcceptAndClose(const std::vector<int>& listeners, int quit) {
    std::vector<pollfd> watched;
    for (int fd : listeners) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);  // accept until none waits
        watched.push_back({fd, POLLIN, 0});
    }
    watched.push_back({quit, POLLIN, 0});
    for (;;) {
        ::poll(watched.data(), watched.size(), 1000);
        if (watched.back().revents != 0)
            _exit(0);
        for (std::size_t i = 0; i + 1 < watched.size(); ++i) {
            if (watched[i].revents == 0)
                continue;
            for (int n = 0; n < 256; ++n) {
                const int fd = ::accept4(watched[i].fd, nullptr, nullptr, SOCK_NONBLOCK);
                if (fd < 0)
                    break;
                ::close(fd);
            }
        }
    }
}

double Milliseconds(Clock::duration span) {
    return std::chrono::duration<double, std::milli>(span).count();
}

// Through ConnectBatch; returns the time, or a negative value if it did not finish.
double ThroughBatch(std::uint16_t port, std::size_t count, std::size_t& failures) {
    std::mutex mutex;
    std::condition_variable woken;
    bool queued = false;
    SetThreadQueueWaker([&] {
        {
            std::lock_guard lock(mutex);
            queued = true;
        }
        woken.notify_one();
    });
    ConnectBatch* batch = nullptr;
    std::vector<SOCKET> connected;
    connected.reserve(count);
    const HWND window = CreateMessageWindow([&](UINT message, WPARAM, LPARAM) {
        if (message == kOutcomesMessage) {
            for (const ConnectOutcome& outcome : batch->TakeOutcomes()) {
                if (outcome.sock != INVALID_SOCKET)
                    connected.push_back(outcome.sock);
            }
        }
        return LRESULT{0};
    });
    double elapsed = -1;
    {
        ConnectBatch own(window, kOutcomesMessage);
        batch = &own;
        std::vector<ConnectTarget> targets(count);
        for (std::size_t i = 0; i < count; ++i)
            targets[i] = {i, Endpoint::FromSocketAddress(Loopback(port))};
        const auto start = Clock::now();
        own.Start(std::move(targets));
        while (own.Running() && Clock::now() - start < kRunBound) {
            std::unique_lock lock(mutex);
            woken.wait_for(lock, 10ms, [&] { return queued; });
            queued = false;
            lock.unlock();
            DispatchPostedMessages();
        }
        if (!own.Running())
            elapsed = Milliseconds(Clock::now() - start);
        failures = own.Failures();
    }
    DestroyMessageWindow(window);
    SetThreadQueueWaker({});
    for (SOCKET s : connected) closesocket(s);
    return elapsed;
}

// The plain loop: non-blocking sockets, connect, epoll for completion, the same bound on
// connects in flight, descriptors only.
double PlainLoop(std::uint16_t port, std::size_t count, std::size_t& failures) {
    const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
    std::vector<int> done;
    done.reserve(count);
    std::vector<epoll_event> events(ConnectBatch::kMaxInFlight);
    const sockaddr_in address = Loopback(port);
    std::size_t started = 0;
    std::size_t inFlight = 0;
    failures = 0;
    const auto start = Clock::now();
    while ((started < count || inFlight > 0) && Clock::now() - start < kRunBound) {
        for (; started < count && inFlight < ConnectBatch::kMaxInFlight; ++started) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
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
            int error = 0;
            socklen_t length = sizeof(error);
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
            ::epoll_ctl(epoll, EPOLL_CTL_DEL, fd, nullptr);
            --inFlight;
            failures += error != 0;
            done.push_back(fd);
        }
    }
    const double elapsed =
        started == count && inFlight == 0 ? Milliseconds(Clock::now() - start) : -1;
    for (int fd : done) ::close(fd);
    ::close(epoll);
    return elapsed;
}

}  // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);

    const std::size_t counts[] = {1000, 10000};
    // A listener per run, so that no run meets the last one's closing connections.
    std::vector<int> listeners;
    std::vector<std::uint16_t> ports;
    for (int i = 0; i < 4; ++i) {
        std::uint16_t port = 0;
        listeners.push_back(Listener(port));
        ports.push_back(port);
    }
    int quit[2];
    if (::pipe(quit) != 0)
        return 1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(quit[1]);
        AcceptAndClose(listeners, quit[0]);
    }
    ::close(quit[0]);
    for (int fd : listeners) ::close(fd);

    std::printf("TCP create+connect to a local listener, at most %zu in flight\n",
                ConnectBatch::kMaxInFlight);
    int status = 0;
    for (std::size_t run = 0; run < 2; ++run) {
        const std::size_t count = counts[run];
        if (count + 64 > limit.rlim_cur) {
            std::printf("  %zu connections: skipped, descriptor limit %llu\n", count,
                        static_cast<unsigned long long>(limit.rlim_cur));
            continue;
        }
        std::size_t batchFailures = 0;
        std::size_t loopFailures = 0;
        const double batch = ThroughBatch(ports[2 * run], count, batchFailures);
        const double loop = PlainLoop(ports[2 * run + 1], count, loopFailures);
        if (batch < 0 || loop < 0) {
            std::printf("  %zu connections: did not finish within %lld s\n", count,
                        static_cast<long long>(kRunBound.count()));
            status = 1;
            continue;
        }
        std::printf(
            "  %6zu connections: ConnectBatch %8.1f ms (%zu failed)   plain loop %8.1f ms "
            "(%zu failed)   ratio %.2f (target <= 3)\n",
            count, batch, batchFailures, loop, loopFailures, batch / std::max(loop, 0.001));
    }
    ::close(quit[1]);
    ::waitpid(child, nullptr, 0);
    return status;
}
