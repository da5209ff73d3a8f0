// Receive-path benchmark: the engines deliver through the message layer to a handler on this
// (the user-interface) thread that does what a page does with the news: it renders the end
// of the record's log, as the page's view does. Every figure is printed beside a baseline measured
// in the same run on the same machine. Targets are printed, not enforced.
//
// Loopback only (127.0.0.1). Every loop is bounded in count and time.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "net/connect_info.h"
#include "net/crit_sec.h"
#include "net/tcp_engine.h"
#include "net/udp_engine.h"
#include "platform/window_messages.h"
#include "text/code_page.h"
#include "text/stream_decoder.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double Seconds(Clock::duration span) {
    return std::chrono::duration<double>(span).count();
}

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

std::uint16_t PortOf(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof(address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return 0;
}

// The page stand-in: a window on this thread; handling a notice renders the last line of the
// record's log, as the page's view renders only what is on screen.
class BenchPage {
public:
    BenchPage() {
        window_ = CreateMessageWindow([this](UINT message, WPARAM wParam, LPARAM lParam) {
            auto* record = reinterpret_cast<ConnectInfo*>(lParam);
            if (message == WM_CONNECT_NEW) {
                ++announced;
            } else if (message == WM_CONNECT_DATA && wParam == CONNECT_DATA_CLOSED) {
                ++closed;
            } else if (message == WM_CONNECT_DATA) {
                ++chunks;
                ShowNewLog(*record);
            }
            return LRESULT{1};
        });
    }
    ~BenchPage() { DestroyMessageWindow(window_); }
    HWND Window() const { return window_; }

    bool PumpUntil(const std::function<bool()>& done, Clock::duration timeout) {
        const auto deadline = Clock::now() + timeout;
        while (!done()) {
            if (Clock::now() > deadline)
                return false;
            WaitForSentMessages(10ms);
            DispatchSentMessages();
        }
        return true;
    }

    long announced = 0;
    long closed = 0;
    long chunks = 0;

private:
    void ShowNewLog(ConnectInfo& record) {
        // As the page's view does: it renders what is on screen, the end of the log, and
        // reads the rest from the log when scrolled to.
        const std::size_t lines = record.recvLog.LineCount();
        screen_ = record.recvLog.Text(lines > 0 ? lines - 1 : 0, 1);
    }

    std::u16string screen_;
    HWND window_ = nullptr;
    std::u16string view_;
};

// ---------------------------------------------------------------- TCP stream

constexpr long kStreamBytes = 256L * 1024 * 1024;

// What the peer streams: a block of about 64 KiB of whole text in one code page, sent again
// and again. Reads of at most 10239 bytes (an odd number) cut characters everywhere.
struct StreamText {
    const char* what;
    const char* codePage;
    std::string block;
};

std::string Block(const std::string& text) {
    std::string block;
    while (block.size() < 64 * 1024) block += text;
    return block;
}

std::vector<StreamText> StreamTexts() {
    std::string letters;
    for (int i = 0; i < 26; ++i) letters.push_back(static_cast<char>('a' + i));
    const std::u16string chinese = u"网络调试工具：你好，世界！Wirelark 测试 ok。";
    std::vector<StreamText> texts;
    texts.push_back({"ASCII letters", "UTF-8", Block(letters)});
    for (const char* codePage : {"UTF-8", "GBK", "UTF-16LE"}) {
        SetAnsiCodePage(codePage);
        texts.push_back({"Chinese text", codePage, Block(WideToAnsi(chinese))});
    }
    SetAnsiCodePage(LocaleCodePage());
    return texts;
}

// What one run streams: whole blocks, so that the stream ends with a whole character.
long StreamBytes(const std::string& block) {
    return kStreamBytes / static_cast<long>(block.size()) * static_cast<long>(block.size());
}

// Writes StreamBytes(block) of `block`, again and again, to a fresh connection to `port`,
// then closes.
void StreamTo(std::uint16_t port, const std::string& block) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = Loopback(port);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        close(fd);
        return;
    }
    const long total = StreamBytes(block);
    long sent = 0;
    while (sent < total) {
        const std::size_t at = static_cast<std::size_t>(sent) % block.size();
        const ssize_t n = send(fd, block.data() + at, block.size() - at, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += n;
    }
    close(fd);
}

double PlainTcpRate(const std::string& block) {
    const int listening = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = Loopback(0);
    bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    listen(listening, 4);
    const auto start = Clock::now();
    std::thread sender(StreamTo, PortOf(listening), std::cref(block));
    const int fd = accept(listening, nullptr, nullptr);
    char buffer[10240];
    long total = 0;
    for (ssize_t n; (n = recv(fd, buffer, sizeof(buffer) - 1, 0)) > 0;) total += n;
    const double rate = total / Seconds(Clock::now() - start);
    sender.join();
    close(fd);
    close(listening);
    return rate;
}

// The flood into one record; `replacements` counts the U+FFFD the page was shown.
double EngineTcpRate(const std::string& block, long& chunks, long& replacements) {
    BenchPage page;
    TcpEngine engine;
    engine.SetNotifyWindow(page.Window());
    const SOCKET listening = engine.StartListening(0);
    sockaddr_in bound{};
    GetSocketName(listening, bound);
    const auto start = Clock::now();
    std::thread sender(StreamTo, ntohs(bound.sin_port), std::cref(block));
    const bool done = page.PumpUntil([&] { return page.closed == 1; }, 300s);
    const double elapsed = Seconds(Clock::now() - start);
    sender.join();
    long received = 0;
    replacements = 0;
    {
        UiCritSecGuard lock(g_connectLock);
        for (auto& [id, record] : engine.Connections()) {
            received += record->recvBytes;
            // Every line as the page would show it when scrolled to: characters cut between
            // reads must read whole.
            constexpr std::size_t kLinesAtATime = 256;
            for (std::size_t line = 0; line < record->recvLog.LineCount(); line += kLinesAtATime) {
                const std::u16string text = record->recvLog.Text(line, kLinesAtATime);
                replacements += std::count(text.begin(), text.end(), u'\uFFFD');
            }
            delete record;
        }
        engine.Connections().clear();
    }
    engine.StopListening(listening);
    chunks = page.chunks;
    if (!done || received != StreamBytes(block)) {
        std::printf("  engine run incomplete: %ld of %ld bytes\n", received, StreamBytes(block));
    }
    return received / elapsed;
}

void BenchTcp() {
    std::printf("TCP: %ld MiB from one peer over loopback into one record\n", kStreamBytes >> 20);
    const std::string previous = GetAnsiCodePage();
    const std::vector<StreamText> texts = StreamTexts();
    const double plain = PlainTcpRate(texts.front().block);
    std::printf("  plain recv loop (baseline)          %8.1f MiB/s\n", plain / (1 << 20));
    {
        // One run not counted: the first flood of the process also pays for its first
        // hundreds of megabytes of fresh memory, which would fall on whichever case ran first.
        long chunks = 0;
        long replacements = 0;
        SetAnsiCodePage(texts.front().codePage);
        EngineTcpRate(texts.front().block, chunks, replacements);
    }
    for (const StreamText& text : texts) {
        SetAnsiCodePage(text.codePage);
        long chunks = 0;
        long replacements = 0;
        const double engine = EngineTcpRate(text.block, chunks, replacements);
        // Plain text must flow as fast as before the carry-over existed; other text is
        // bounded by the system's conversion (see "decode").
        const char* target = &text == &texts.front() ? " (target >= 0.60)" : "";
        std::printf(
            "  engine, %-13s in %-8s    %8.1f MiB/s  ratio %4.2f%-17s  %ld notices, %ld U+FFFD\n",
            text.what, text.codePage, engine / (1 << 20), engine / plain, target, chunks,
            replacements);
    }
    SetAnsiCodePage(previous);
}

// The conversion alone, chunks of 10239 bytes as the receive thread reads them: each chunk
// read on its own against the stream decoder that carries cut characters over.
void BenchDecode() {
    constexpr long kBytes = 256L * 1024 * 1024;
    constexpr std::size_t kChunk = 10239;
    std::printf("Decoding %ld MiB in chunks of %zu bytes (no sockets)\n", kBytes >> 20, kChunk);
    const std::string previous = GetAnsiCodePage();
    for (const StreamText& text : StreamTexts()) {
        SetAnsiCodePage(text.codePage);
        std::string data;
        while (data.size() < 4 * 1024 * 1024) data += text.block;
        // Alone, carried over, then both again: the better of the two runs of each counts,
        // so that warming up favours neither.
        double rates[2] = {};
        for (int run = 0; run < 4; ++run) {
            const int carry = run % 2;
            StreamDecoder decoder;
            std::u16string out;
            long done = 0;
            const auto start = Clock::now();
            // The data is whole text and is read on from where the last chunk ended, so the
            // stream stays valid across the wrap.
            for (std::size_t at = 0; done < kBytes;) {
                const std::string_view chunk(data.data() + at, std::min(kChunk, data.size() - at));
                out.clear();
                if (carry)
                    decoder.Decode(out, chunk);
                else
                    AppendReceivedText(out, chunk);
                done += static_cast<long>(chunk.size());
                at = (at + chunk.size()) % data.size();
            }
            rates[carry] = std::max(rates[carry], done / Seconds(Clock::now() - start));
        }
        std::printf(
            "  %-13s in %-8s  each chunk alone %8.1f MiB/s, carried over %8.1f MiB/s"
            " (%+5.1f%%)\n",
            text.what, text.codePage, rates[0] / (1 << 20), rates[1] / (1 << 20),
            100.0 * (rates[1] - rates[0]) / rates[0]);
    }
    SetAnsiCodePage(previous);
}

// ---------------------------------------------------------------- UDP datagrams

constexpr int kDatagrams = 200000;
constexpr int kDatagramSize = 64;

// Sends kDatagrams to `port`; paced at `perSecond` (0: as fast as it can). Returns the
// sender's own rate.
double SendDatagrams(std::uint16_t port, int perSecond) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in to = Loopback(port);
    char payload[kDatagramSize];
    std::memset(payload, 'u', sizeof(payload));
    const auto start = Clock::now();
    for (int i = 0; i < kDatagrams; ++i) {
        if (perSecond > 0 && i % 100 == 0) {
            std::this_thread::sleep_until(start +
                                          std::chrono::microseconds(1000000LL * i / perSecond));
        }
        sendto(fd, payload, sizeof(payload), 0, reinterpret_cast<const sockaddr*>(&to), sizeof(to));
    }
    const double rate = kDatagrams / Seconds(Clock::now() - start);
    close(fd);
    return rate;
}

struct UdpResult {
    long arrived = 0;
    double rate = 0;  // arrivals per second, over the sender's span
    double senderRate = 0;
};

UdpResult PlainUdp(int perSecond) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in address = Loopback(0);
    bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    timeval quiet{0, 300000};  // the run is over after 300 ms without a datagram
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &quiet, sizeof(quiet));
    UdpResult result;
    std::thread sender([&] { result.senderRate = SendDatagrams(PortOf(fd), perSecond); });
    char buffer[65536];
    auto start = Clock::now();
    auto last = start;
    while (recv(fd, buffer, sizeof(buffer), 0) >= 0) {
        if (result.arrived++ == 0)
            start = Clock::now();
        last = Clock::now();
    }
    sender.join();
    result.rate = result.arrived / std::max(Seconds(last - start), 1e-9);
    close(fd);
    return result;
}

UdpResult EngineUdp(int perSecond) {
    BenchPage page;
    UdpEngine engine;
    engine.SetNotifyWindow(page.Window());
    const SOCKET s = engine.BindEndpoint(0);
    sockaddr_in bound{};
    GetSocketName(s, bound);
    UdpResult result;
    std::atomic<bool> sent{false};
    std::thread sender([&] {
        result.senderRate = SendDatagrams(ntohs(bound.sin_port), perSecond);
        sent = true;
    });
    auto start = Clock::now();
    auto last = start;
    long seen = 0;
    page.PumpUntil(
        [&] {
            if (page.chunks != seen) {
                if (seen == 0)
                    start = Clock::now();
                seen = page.chunks;
                last = Clock::now();
            }
            return sent && Clock::now() - last > 300ms;
        },
        120s);
    sender.join();
    engine.CloseEndpoint(s);
    {
        UiCritSecGuard lock(g_connectLock);
        for (auto& [key, record] : engine.Peers()) {
            result.arrived += record->recvBytes / kDatagramSize;
            delete record;
        }
        engine.Peers().clear();
    }
    result.rate = result.arrived / std::max(Seconds(last - start), 1e-9);
    return result;
}

void PrintUdp(const char* what, const UdpResult& r) {
    std::printf("  %-28s %7ld of %d arrived (loss %5.2f%%), %9.0f/s received, sender %9.0f/s\n",
                what, r.arrived, kDatagrams, 100.0 * (kDatagrams - r.arrived) / kDatagrams, r.rate,
                r.senderRate);
}

void BenchUdp() {
    std::printf("UDP: %d datagrams of %d bytes from one sender\n", kDatagrams, kDatagramSize);
    std::printf(" paced at 100000/s (target: no loss)\n");
    PrintUdp("plain recvfrom (baseline)", PlainUdp(100000));
    PrintUdp("engine to page handler", EngineUdp(100000));
    std::printf(" as fast as the sender can\n");
    PrintUdp("plain recvfrom (baseline)", PlainUdp(0));
    PrintUdp("engine to page handler", EngineUdp(0));
}

// ---------------------------------------------------------------- 10,000 connections

constexpr int kConnections = 10000;

// Child process (its own descriptor table): opens kConnections to `port`, reports, then
// holds them until the parent closes the pipe.
[[noreturn]] void ConnectManyInChild(std::uint16_t port, int readyPipe, int holdPipe) {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    std::vector<int> fds;
    const sockaddr_in address = Loopback(port);
    for (int i = 0; i < kConnections; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0 ||
            connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
            break;
        }
        fds.push_back(fd);
    }
    const int opened = static_cast<int>(fds.size());
    (void)!write(readyPipe, &opened, sizeof(opened));
    char byte;
    (void)!read(holdPipe, &byte, 1);
    _exit(0);
}

struct ManyResult {
    int opened = 0;
    long accepted = 0;
    double seconds = 0;
    long residentKiB = 0;
};

// Runs the child against `port`; `waitAll` pumps until the parent side has everything.
template <typename WaitAll>
ManyResult ConnectMany(std::uint16_t port, WaitAll waitAll) {
    int ready[2];
    int hold[2];
    if (pipe(ready) != 0 || pipe(hold) != 0)
        return {};
    const long residentBefore = ResidentKiB();
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        close(ready[0]);
        close(hold[1]);
        ConnectManyInChild(port, ready[1], hold[0]);
    }
    close(ready[1]);
    close(hold[0]);
    ManyResult result;
    result.accepted = waitAll();
    result.seconds = Seconds(Clock::now() - start);
    result.residentKiB = ResidentKiB() - residentBefore;
    (void)!read(ready[0], &result.opened, sizeof(result.opened));
    close(ready[0]);
    close(hold[1]);  // the child closes its connections and ends
    waitpid(child, nullptr, 0);
    return result;
}

ManyResult PlainAcceptMany() {
    const int listening = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = Loopback(0);
    bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    listen(listening, SOMAXCONN);
    std::vector<int> accepted;
    ManyResult result = ConnectMany(PortOf(listening), [&] {
        timeval patience{10, 0};
        setsockopt(listening, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof(patience));
        while (static_cast<int>(accepted.size()) < kConnections) {
            const int fd = accept(listening, nullptr, nullptr);
            if (fd < 0)
                break;
            accepted.push_back(fd);
        }
        return static_cast<long>(accepted.size());
    });
    for (int fd : accepted) close(fd);
    close(listening);
    return result;
}

ManyResult EngineAcceptMany() {
    BenchPage page;
    TcpEngine engine;
    engine.SetNotifyWindow(page.Window());
    const SOCKET listening = engine.StartListening(0);
    sockaddr_in bound{};
    GetSocketName(listening, bound);
    ManyResult result = ConnectMany(ntohs(bound.sin_port), [&] {
        page.PumpUntil([&] { return page.announced >= kConnections; }, 120s);
        return page.announced;
    });
    engine.StopListening(listening);
    // The child has closed its ends: every receive thread reports and ends.
    page.PumpUntil([&] { return page.closed >= page.announced; }, 120s);
    {
        UiCritSecGuard lock(g_connectLock);
        for (auto& [id, record] : engine.Connections()) delete record;
        engine.Connections().clear();
    }
    return result;
}

void PrintMany(const char* what, const ManyResult& r) {
    std::printf("  %-28s %5ld of %d accepted in %6.2f s, resident %7.1f KiB per connection\n", what,
                r.accepted, kConnections, r.seconds,
                r.accepted > 0 ? double(r.residentKiB) / r.accepted : 0.0);
}

void BenchMany() {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    std::printf(
        "TCP: %d concurrent connections to one listening engine"
        " (target: within 5 s, <= 100 KiB each)\n",
        kConnections);
    PrintMany("plain accept loop (baseline)", PlainAcceptMany());
    PrintMany("engine, announced to page", EngineAcceptMany());
}

}  // namespace

// With no argument runs everything; "tcp", "decode", "udp" or "many" run one part.
int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::string only = argc > 1 ? argv[1] : "";
    if (only.empty() || only == "tcp")
        BenchTcp();
    if (only.empty() || only == "decode")
        BenchDecode();
    if (only.empty() || only == "udp")
        BenchUdp();
    if (only.empty() || only == "many")
        BenchMany();
    return 0;
}
