// TLS into the TCP server page, on 127.0.0.1, every case in this one run:
//
//   socat openssl     socat's OPENSSL-LISTEN receiving the stream into /dev/null (the
//                     plain TLS loop; the baseline)
//   not shown         the page with "TLS" on logs every chunk, the entry not shown
//   shown             the same with the entry shown in the received view
//
// One sender for all three: a thread of this program that handshakes (TLS 1.3, the page's
// own certificate) and writes 1 GiB (--bytes=N) of text lines through OpenSSL. Time runs
// from the end of the handshake until the receiver has every byte (the page: its counter;
// socat: its end). Three rounds of the three (--runs=N), each entry deleted after its flood; the
// page's two cases take turns at going first.
// Printed: median MiB/s with the spread, and the ratio of medians to socat (target at least
// 0.8). Before each flood into the page, as many bytes are written to a scratch file and
// removed (see WarmPageCache).
//
// Handshakes: 1,000 connections (--connections=N) made one after another by a client thread,
// each handshaking and closing, into the page and into openssl s_server (-naccept); printed
// per second, with the ratio.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/pages/bench_page_support.h"
#include "net/crit_sec.h"
#include "net/tls_context.h"
#include "pages/tcp/tls_server_option.h"
#include "pages/tcp_server_page.h"
#include "tests/support/loopback_peer.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kLimitMs = 600000;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// A blocking TLS client on 127.0.0.1:port (tried again for a few seconds while nothing
// listens yet); null when it could not connect or handshake.
SSL* ConnectTls(SSL_CTX* ctx, std::uint16_t port, int& fd) {
    const auto giveUp = Clock::now() + std::chrono::seconds(5);
    for (;;) {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            break;
        ::close(fd);
        if (Clock::now() > giveUp)
            return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    SSL* ssl = SSL_new(ctx);
    SSL_set_fd(ssl, fd);
    if (SSL_connect(ssl) != 1) {
        std::fprintf(stderr, "handshake failed: %s\n", TakeTlsErrorText().c_str());
        SSL_free(ssl);
        ::close(fd);
        return nullptr;
    }
    return ssl;
}

// Sender thread: handshakes, notes when, writes `bytes`, ends with close_notify.
void SendFlood(SSL_CTX* ctx, std::uint16_t port, std::size_t bytes,
               std::atomic<Clock::rep>* handshook, std::atomic<bool>* done) {
    int fd = -1;
    SSL* ssl = ConnectTls(ctx, port, fd);
    if (ssl == nullptr) {
        done->store(true);
        return;
    }
    handshook->store(Clock::now().time_since_epoch().count());
    std::string piece;
    while (piece.size() < (1u << 20)) piece += "0123456789 the quick brown fox jumps over it\r\n";
    std::size_t sent = 0;
    while (sent < bytes) {
        const int n =
            SSL_write(ssl, piece.data(), static_cast<int>(std::min(piece.size(), bytes - sent)));
        if (n <= 0)
            break;
        sent += static_cast<std::size_t>(n);
    }
    // Closed as a careful peer does: close_notify, then the socket once the other side ended.
    SSL_shutdown(ssl);
    ::shutdown(fd, SHUT_WR);
    char drain[4096];
    timeval wait{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    while (::recv(fd, drain, sizeof drain, 0) > 0) {
    }
    SSL_free(ssl);
    ::close(fd);
    done->store(true);
}

std::int64_t ReceivedBytes(CTcpServerDlg& page) {
    UiCritSecGuard lock(g_connectLock);
    std::int64_t total = 0;
    for (const auto& [key, record] : page.Engine().Connections()) total += record->recvBytes;
    return total;
}

HTREEITEM LastEntry(CTcpServerDlg& page) {
    CTreeCtrlEx* tree = page.Tree();
    HTREEITEM last = nullptr;
    for (HTREEITEM e = tree->GetChildItem(tree->GetRootItem()); e; e = tree->GetNextSiblingItem(e))
        last = e;
    return last;
}

bool IsOpen(CTcpServerDlg& page, HTREEITEM entry) {
    UiCritSecGuard lock(g_connectLock);
    auto* record = page.Records().RecordOf(entry);
    return record != nullptr && record->sock != INVALID_SOCKET;
}

std::string LogEnd(CTcpServerDlg& page, HTREEITEM entry) {
    UiCritSecGuard lock(g_connectLock);
    auto* record = page.Records().RecordOf(entry);
    if (record == nullptr)
        return {};
    const QString text = QString::fromStdU16String(record->recvLog.Text());
    return text.right(300).toStdString();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// "median [lowest-highest]".
std::string Spread(const std::vector<double>& values) {
    if (values.empty())
        return "-";
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    char text[96];
    std::snprintf(text, sizeof text, "%.1f [%.1f-%.1f]", Median(values), *low, *high);
    return text;
}

// Writes `bytes` to a scratch file and removes it, untimed: the page logs a flood to disk, and
// some virtual machines back a guest's memory only when it is first touched, which makes
// a first fill of fresh page-cache memory several times slower than any later one. Each flood
// then writes its log into memory the machine has already backed, as a long-running one does.
void WarmPageCache(std::size_t bytes) {
    const std::string path =
        QDir::temp()
            .filePath(
                QStringLiteral("wirelark-bench-warm-%1").arg(QCoreApplication::applicationPid()))
            .toStdString();
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
        const std::string chunk(1 << 20, '\0');
        for (std::size_t written = 0; written < bytes; written += chunk.size())
            std::fwrite(chunk.data(), 1, chunk.size(), file);
        std::fclose(file);
    }
    std::remove(path.c_str());
}

// MiB/s of a flood into the page; the entry shown or not.
double PageFlood(CTcpServerDlg& page, SSL_CTX* ctx, std::uint16_t port, std::size_t bytes,
                 bool shown) {
    const std::int64_t before = ReceivedBytes(page);
    std::atomic<Clock::rep> handshook{0};
    std::atomic<bool> done{false};
    std::thread sender(SendFlood, ctx, port, bytes, &handshook, &done);
    HTREEITEM entry = nullptr;
    RunUntil([&] { return (entry = LastEntry(page)) != nullptr && handshook.load() != 0; },
             kLimitMs);
    if (shown && entry) {
        page.Tree()->SelectItem(entry);
        page.ShowEntry(entry);
    }
    const bool all = RunUntil(
        [&] {
            return ReceivedBytes(page) - before >= static_cast<std::int64_t>(bytes) ||
                   (done.load() && !IsOpen(page, entry));
        },
        kLimitMs);
    if (!all || ReceivedBytes(page) - before < static_cast<std::int64_t>(bytes)) {
        std::fprintf(stderr, "the page got %lld of %zu bytes; its log ends: %s\n",
                     static_cast<long long>(ReceivedBytes(page) - before), bytes,
                     LogEnd(page, entry).c_str());
    }
    const auto end = Clock::now();
    sender.join();
    // Its log goes with it, so that the next flood starts as this one did.
    if (entry) {
        page.Tree()->SelectItem(entry);
        page.OnDelete();
    }
    if (!all || handshook.load() == 0)
        return 0;
    const auto start = Clock::time_point(Clock::duration(handshook.load()));
    return static_cast<double>(bytes) / (1 << 20) / Seconds(end - start);
}

// MiB/s of the same flood into socat's openssl listener.
double SocatFlood(const QString& cert, const QString& key, SSL_CTX* ctx, std::size_t bytes) {
    const std::uint16_t port = FreeLoopbackPort();
    QProcess socat;
    socat.setStandardOutputFile(QProcess::nullDevice());
    socat.start("socat",
                {"-u",
                 QStringLiteral("OPENSSL-LISTEN:%1,bind=127.0.0.1,reuseaddr,cert=%2,key=%3,"
                                "verify=0")
                     .arg(port)
                     .arg(cert, key),
                 "STDOUT"});
    if (!socat.waitForStarted(5000))
        return 0;
    std::atomic<Clock::rep> handshook{0};
    std::atomic<bool> done{false};
    std::thread sender(SendFlood, ctx, port, bytes, &handshook, &done);
    sender.join();
    socat.waitForFinished(kLimitMs);  // it ends once it has read the stream's end
    const auto end = Clock::now();
    if (handshook.load() == 0)
        return 0;
    const auto start = Clock::time_point(Clock::duration(handshook.load()));
    return static_cast<double>(bytes) / (1 << 20) / Seconds(end - start);
}

// Handshakes per second: `count` connections one after another, each closed once done.
double Handshakes(SSL_CTX* ctx, std::uint16_t port, int count, std::atomic<int>* made) {
    const auto start = Clock::now();
    made->store(0);
    for (int i = 0; i < count; ++i) {
        int fd = -1;
        SSL* ssl = ConnectTls(ctx, port, fd);
        if (ssl == nullptr)
            break;
        SSL_shutdown(ssl);
        SSL_free(ssl);
        ::close(fd);
        made->fetch_add(1);
    }
    return made->load() / Seconds(Clock::now() - start);
}

long Option(int argc, char** argv, const char* name, long fallback) {
    const std::size_t length = std::strlen(name);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], name, length) == 0 && argv[i][length] == '=')
            return std::atol(argv[i] + length + 1);
    }
    return fallback;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t bytes = static_cast<std::size_t>(Option(argc, argv, "--bytes", 1L << 30));
    const int connections = static_cast<int>(Option(argc, argv, "--connections", 1000));
    const int runs = std::max(1, static_cast<int>(Option(argc, argv, "--runs", 3)));
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each line as it is measured
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
    BenchApplication app(argc, argv);

    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);

    CTcpServerDlg page;
    page.show();
    page.Tls().SetOn(true);
    const std::uint16_t port = FreeLoopbackPort();
    page.StartOnPort(port);
    if (!page.Server().IsOpen()) {
        std::printf("the page could not listen with TLS\n");
        return 1;
    }
    const QString folder = TlsServerOption::OwnCertificateFolder();
    const QString cert = folder + "/" + kOwnCertificateFile;
    const QString key = folder + "/" + kOwnKeyFile;

    const double mib = static_cast<double>(bytes) / (1 << 20);
    std::printf(
        "TLS flood of %.0f MiB into the TCP server page (TLS 1.3, P-256, %s), %d run(s), "
        "median [lowest-highest]\n",
        mib, OpenSSL_version(OPENSSL_VERSION), runs);
    // Rounds of the three, so that a moment of noise on the machine shows as spread. The page's
    // two cases take turns at going first: the second one's log fills the memory the first
    // one's log has just given back, which some machines make slower to fill.
    std::vector<double> socat, hidden, shown;
    for (int round = 0; round < runs; ++round) {
        socat.push_back(SocatFlood(cert, key, ctx, bytes));
        const bool shownFirst = round % 2 == 1;
        for (const bool show : {shownFirst, !shownFirst}) {
            WarmPageCache(bytes);
            (show ? shown : hidden).push_back(PageFlood(page, ctx, port, bytes, show));
        }
    }
    const double baseline = Median(socat);
    std::printf("  %-22s %s MiB/s   (baseline)\n", "socat openssl", Spread(socat).c_str());
    for (const auto& [name, rates] :
         {std::pair{"page, not shown", &hidden}, std::pair{"page, entry shown", &shown}}) {
        const double ratio = baseline > 0 ? Median(*rates) / baseline : 0;
        std::printf("  %-22s %s MiB/s   %.2f of socat (target >= 0.8: %s)\n", name,
                    Spread(*rates).c_str(), ratio, ratio >= 0.8 ? "met" : "MISSED");
    }

    std::printf("Handshakes, %d connections one after another\n", connections);
    {
        const std::uint16_t sPort = FreeLoopbackPort();
        QProcess sServer;
        sServer.setStandardOutputFile(QProcess::nullDevice());
        sServer.start("openssl", {"s_server", "-accept", QString::number(sPort), "-cert", cert,
                                  "-key", key, "-naccept", QString::number(connections), "-quiet"});
        sServer.waitForStarted(5000);
        std::atomic<int> made{0};
        const double baseline = Handshakes(ctx, sPort, connections, &made);
        std::printf("  %-22s %8.0f /s (%d made)   (baseline)\n", "openssl s_server", baseline,
                    made.load());
        sServer.kill();
        sServer.waitForFinished(5000);

        double rate = 0;
        std::atomic<bool> over{false};
        std::thread client([&] {
            rate = Handshakes(ctx, port, connections, &made);
            over.store(true);
        });
        // The page takes the connections while the client makes them.
        RunUntil([&] { return over.load(); }, kLimitMs);
        client.join();
        std::printf("  %-22s %8.0f /s (%d made)   %.2f of s_server\n", "page", rate, made.load(),
                    baseline > 0 ? rate / baseline : 0);
    }
    SSL_CTX_free(ctx);
    return 0;
}
