// A 1 GiB file sent to a peer on 127.0.0.1 that reads as fast as it can, median of three
// rounds:
//
//   socat          `socat -u FILE:... TCP:127.0.0.1:port` pushing the file (baseline)
//   send queue     the file queued as one message on a connection's TcpSendQueue
//
// Target (printed, not asserted): the queue at least half socat's speed.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "net/connect_info.h"
#include "net/socket_handle.h"
#include "pages/send/file_source.h"
#include "pages/send/tcp_send_queue.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint64_t kFileSize = std::uint64_t{1} << 30;
constexpr int kRounds = 3;

// A listener on 127.0.0.1 whose one accepted connection a thread drains; Wait() gives the
// bytes read and the seconds from the accept to the stream's end.
class Drain {
public:
    Drain() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 1);
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] {
            const int fd = ::accept(listener_, nullptr, nullptr);
            const auto start = Clock::now();
            std::vector<char> buffer(1 << 20);
            std::uint64_t total = 0;
            for (ssize_t n; (n = ::recv(fd, buffer.data(), buffer.size(), 0)) > 0;) {
                total += static_cast<std::uint64_t>(n);
                if (total >= limit_)
                    break;
            }
            seconds_ = std::chrono::duration<double>(Clock::now() - start).count();
            bytes_ = total;
            ::close(fd);
            done_ = true;
        });
    }
    ~Drain() {
        if (thread_.joinable())
            thread_.join();
        ::close(listener_);
    }
    std::uint16_t Port() const { return port_; }
    bool Done() const { return done_; }
    // MiB per second, 0 when not every byte came.
    double Wait() {
        thread_.join();
        return bytes_ == kFileSize ? (bytes_ / 1048576.0) / seconds_ : 0;
    }

private:
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
    std::uint64_t limit_ = kFileSize;
    std::uint64_t bytes_ = 0;
    double seconds_ = 0;
    std::atomic<bool> done_ = false;
};

double Socat(const QString& path) {
    Drain drain;
    const std::string command =
        "socat -u FILE:" + path.toStdString() + " TCP:127.0.0.1:" + std::to_string(drain.Port());
    if (std::system(command.c_str()) != 0)
        return 0;
    return drain.Wait();
}

double Queue(const QString& path) {
    Drain drain;
    const SOCKET sock = OpenSocket(SOCK_STREAM);
    sockaddr_in address{};
    MakeAddress("127.0.0.1", drain.Port(), address);
    if (ConnectSocket(sock, address) != 0)
        return 0;
    TcpSendQueue queue;
    ConnectInfo record;
    bool delivered = false;
    queue.onDelivered = [&](ConnectInfo*, const TcpSendQueue::Message&) { delivered = true; };
    TcpSendQueue::Message message;
    QString error;
    message.file = FileSource::Open(path, &error);
    queue.Queue(&record, sock, std::move(message));
    const auto deadline = Clock::now() + std::chrono::minutes(5);
    while ((!delivered || !drain.Done()) && Clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    closesocket(sock);
    return drain.Wait();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath("file.bin");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        std::string piece(1 << 20, '\0');
        for (std::size_t i = 0; i < piece.size(); ++i) piece[i] = static_cast<char>(i % 251);
        for (std::uint64_t done = 0; done < kFileSize; done += piece.size())
            file.write(piece.data(), static_cast<qint64>(piece.size()));
    }
    std::vector<double> socat, queued;
    for (int round = 0; round < kRounds; ++round) {
        socat.push_back(Socat(path));
        queued.push_back(Queue(path));
    }
    const double socatRate = Median(socat);
    const double queueRate = Median(queued);
    std::printf("1 GiB file to a reading peer, median of %d rounds:\n", kRounds);
    std::printf("  socat          %8.1f MiB/s (baseline)\n", socatRate);
    std::printf("  send queue     %8.1f MiB/s  ratio %.2f  (target >= 0.5)\n", queueRate,
                socatRate > 0 ? queueRate / socatRate : 0.0);
    return 0;
}
