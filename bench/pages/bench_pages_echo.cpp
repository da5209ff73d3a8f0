// 256 MiB echoed to a peer on 127.0.0.1 that writes it and reads it back at the same time,
// median of three rounds:
//
//   plain echo loop  a thread on the accepted socket: recv up to 64 KiB, send all of it
//                    (baseline)
//   page echo        the TCP server page with "回显" on: the receive thread logs each batch,
//                    the page takes it from the log and queues it on the connection's send
//                    queue, whose sender thread writes it; both logs kept
//
// Target (printed, not asserted): the page at least a third of the plain loop.
#include <arpa/inet.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench/pages/bench_page_support.h"
#include "pages/tcp_server_page.h"
#include "pages/tools/echo_tool.h"
#include "tests/support/loopback_peer.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kTotal = std::size_t{256} << 20;
constexpr int kRounds = 3;

// The peer: writes kTotal bytes from one thread and reads them back on another. Returns
// MiB per second from the first byte written to the last read, 0 when not all came back.
class Peer {
public:
    bool Connect(std::uint16_t port) { return peer_.Connect(port); }
    void Start() {
        start_ = Clock::now();
        writer_ = std::thread([this] {
            std::string block(1 << 16, 'e');
            for (std::size_t done = 0; done < kTotal; done += block.size())
                if (!peer_.Send(block))
                    return;
        });
        reader_ = std::thread([this] {
            while (got_ < kTotal) {
                const std::string piece = peer_.Receive(kTotal - got_, std::chrono::seconds(20));
                if (piece.empty())
                    break;
                got_ += piece.size();
            }
            seconds_ = std::chrono::duration<double>(Clock::now() - start_).count();
            done_ = true;
        });
    }
    bool Done() const { return done_; }
    double Finish() {
        writer_.join();
        reader_.join();
        return got_ == kTotal ? (kTotal / 1048576.0) / seconds_ : 0;
    }

private:
    LoopbackPeer peer_;
    std::thread writer_, reader_;
    Clock::time_point start_;
    std::atomic<std::size_t> got_ = 0;
    std::atomic<bool> done_ = false;
    double seconds_ = 0;
};

double PlainLoop() {
    std::uint16_t port = 0;
    const int listener = ListenOnLoopback(1, port);
    std::thread echo([listener] {
        const int fd = ::accept(listener, nullptr, nullptr);
        std::vector<char> buffer(1 << 16);
        for (ssize_t n; (n = ::recv(fd, buffer.data(), buffer.size(), 0)) > 0;) {
            for (ssize_t sent = 0; sent < n;) {
                const ssize_t m = ::send(fd, buffer.data() + sent, n - sent, MSG_NOSIGNAL);
                if (m <= 0)
                    break;
                sent += m;
            }
        }
        ::close(fd);
    });
    Peer peer;
    peer.Connect(port);
    peer.Start();
    while (!peer.Done()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const double rate = peer.Finish();
    ::shutdown(listener, SHUT_RDWR);
    echo.detach();  // ends when the peer's socket closes
    ::close(listener);
    return rate;
}

double PageEcho() {
    CTcpServerDlg page;
    const std::uint16_t port = FreeLoopbackPort();
    page.StartOnPort(port);
    page.findChild<EchoTool*>()->SetOn(true);
    Peer peer;
    if (!peer.Connect(port))
        return 0;
    // The entry first, so that the page's first batch is echoed.
    RunUntil([&] { return page.Tree()->GetChildItem(page.Tree()->GetRootItem()) != nullptr; },
             10000);
    peer.Start();
    RunUntil([&] { return peer.Done(); }, 120000);
    return peer.Finish();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    BenchApplication app(argc, argv);
    std::vector<double> plain, page;
    for (int round = 0; round < kRounds; ++round) {
        plain.push_back(PlainLoop());
        page.push_back(PageEcho());
    }
    const double plainRate = Median(plain);
    const double pageRate = Median(page);
    std::printf("TCP echo of 256 MiB to a peer that reads, median of %d rounds:\n", kRounds);
    std::printf("  plain echo loop  %8.1f MiB/s (baseline)\n", plainRate);
    std::printf("  page echo        %8.1f MiB/s  ratio %.2f  (target >= 0.33)\n", pageRate,
                plainRate > 0 ? pageRate / plainRate : 0.0);
    return 0;
}
