// Throughput of the TCP server page under a flood from one peer on 127.0.0.1, what the log
// and the view cost in memory, how fast a big entry opens and saves, and how long the
// user-interface thread goes unanswered meanwhile.
//
//   socat             socat receiving into /dev/null (the tool a user would otherwise pick;
//                     the baseline)
//   plain recv loop   a thread receiving into a 10240-byte buffer, nothing else
//   not shown         the page logs every chunk and marks the entry as holding unseen data
//   shown             the page also shows the new data in the received view
//
// Every case runs in a process of its own, started after the one before has ended and
// memory has settled, so that each flood is the first of a fresh process, as a user meets
// it; before a flood into the page, a write of the flood's size to a file, removed at once,
// makes the machine back the memory the log will fill (untimed). 256 MiB and 1 GiB, five
// runs each (--runs=N): medians, with the spread (lowest to highest) beside them. CPU: the time the
// receive thread and the window's thread spent on the flood, read per thread from
// /proc/self/task/*/schedstat (else .../stat). Memory: resident bytes added per byte received by
// the last 1 GiB flood. Open: clicking the entry that holds the 1 GiB, until the view has painted.
// Save: writing that log to a file as the received view's menu does (on its own thread), beside dd
// writing as many bytes to the same folder. Stall: a 5 ms timer on the user-interface thread notes
// how late each tick fires; the longest lateness during the flood is printed. Targets (printed, not
// asserted): at least 0.9 of socat shown and not shown; while shown, the window's thread at most
// 0.1 of the receive thread's CPU time; at most 0.05 bytes resident per byte; opening within 100
// ms; saving at least 0.8 of dd; no stall above 100 ms.
//
// --case=NAME --bytes=N runs one case in this process and prints one RESULT line.
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/pages/bench_page_support.h"
#include "net/connect_info.h"
#include "net/crit_sec.h"
#include "pages/dialogs/set_listen_dlg.h"
#include "pages/tcp_server_page.h"
#include "pages/views/log_file.h"
#include "platform/dialog_template.h"
#include "platform/qt_window.h"
#include "skin/tree_ctrl_ex.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/modal_helper.h"

namespace {

constexpr std::size_t kSpeedBytes = std::size_t{256} << 20;
constexpr std::size_t kMemoryBytes = std::size_t{1024} << 20;
constexpr int kTickMs = 5;
constexpr int kRunLimitMs = 600000;  // a run that takes longer is reported as unfinished

using Clock = std::chrono::steady_clock;

// One MiB of text lines, sent again and again: the flood needs no buffer of its own size.
std::string FloodPiece() {
    std::string data;
    constexpr std::size_t kPiece = 1u << 20;
    data.reserve(kPiece + 128);
    for (std::size_t i = 0; data.size() < kPiece; ++i) {
        data += "line " + std::to_string(i) + ": the quick brown fox jumps over the lazy dog\n";
    }
    data.resize(kPiece);
    return data;
}

void SendFlood(LoopbackPeer& peer, const std::string& piece, std::size_t total) {
    for (std::size_t sent = 0; sent < total; sent += piece.size()) {
        if (!peer.Send(piece))
            return;
    }
}

double MiBPerSecond(std::size_t bytes, double seconds) {
    return seconds > 0 ? bytes / seconds / (1024.0 * 1024.0) : 0;
}

std::size_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

// The last line of the record's log (the caller holds g_connectLock).
QString LastLogLine(const ConnectInfo& record) {
    const std::size_t lines = record.recvLog.LineCount();
    return lines == 0 ? QString() : QString::fromStdU16String(record.recvLog.Text(lines - 1, 1));
}

// Baseline: accept one connection and receive everything as the engine's thread does,
// with nothing done per chunk.
double PlainRecvLoop(const std::string& piece, std::size_t total) {
    std::uint16_t port = 0;
    const int listener = ListenOnLoopback(1, port);
    LoopbackPeer sender;
    sender.Connect(port);
    const int receiver = ::accept(listener, nullptr, nullptr);

    const auto start = Clock::now();
    std::thread feed([&] { SendFlood(sender, piece, total); });
    char buffer[10240];
    std::size_t received = 0;
    while (received < total) {
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

// Baseline: socat listening on 127.0.0.1 and writing what it receives to /dev/null; from
// the connection until socat has read the end and exited. 0 if socat cannot be run.
double SocatLoop(const std::string& piece, std::size_t total) {
    const std::uint16_t port = FreeLoopbackPort();
    const std::string listen = "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr";
    const pid_t child = ::fork();
    if (child == 0) {
        ::execlp("socat", "socat", "-u", listen.c_str(), "OPEN:/dev/null", nullptr);
        ::_exit(127);
    }
    if (child < 0)
        return 0;
    // Refused until socat listens: up to 2 s.
    LoopbackPeer sender;
    bool connected = false;
    for (int i = 0; i < 200 && !(connected = sender.Connect(port)); ++i) {
        sender.Close();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!connected) {
        ::kill(child, SIGTERM);
        ::waitpid(child, nullptr, 0);
        return 0;
    }
    const auto start = Clock::now();
    SendFlood(sender, piece, total);
    sender.Close();
    int status = 0;
    ::waitpid(child, &status, 0);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? MiBPerSecond(total, seconds) : 0;
}

// Baseline for saving: dd writing the same number of bytes to a file in the same directory.
double DiskWrite(std::size_t total) {
    const QString path = QDir::temp().filePath(
        QStringLiteral("wirelark-bench-dd-%1").arg(QCoreApplication::applicationPid()));
    const std::string command = "dd if=/dev/zero of='" + path.toStdString() +
                                "' bs=1M count=" + std::to_string(total >> 20) +
                                " conv=fsync 2>/dev/null";
    const auto start = Clock::now();
    const int status = std::system(command.c_str());
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    QFile::remove(path);
    return status == 0 ? MiBPerSecond(total, seconds) : 0;
}

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

// CPU time of each thread of this process, in seconds, by thread id.
std::map<long, double> ThreadCpuTimes() {
    std::map<long, double> times;
    DIR* tasks = ::opendir("/proc/self/task");
    if (tasks == nullptr)
        return times;
    const double tick = static_cast<double>(::sysconf(_SC_CLK_TCK));
    while (const dirent* entry = ::readdir(tasks)) {
        const long tid = std::atol(entry->d_name);
        if (tid <= 0)
            continue;
        const std::string dir = std::string("/proc/self/task/") + entry->d_name;
        // schedstat: nanoseconds on the CPU first; stat: user and system ticks (14, 15).
        std::ifstream schedstat(dir + "/schedstat");
        unsigned long long ns = 0;
        if (schedstat >> ns) {
            times[tid] = ns / 1e9;
            continue;
        }
        std::ifstream stat(dir + "/stat");
        std::string line;
        std::getline(stat, line);
        const std::size_t close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream fields(line.substr(close + 2));
        std::string field;
        unsigned long long user = 0, system = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 14)
                user = std::stoull(field);
            if (i == 15)
                system = std::stoull(field);
        }
        times[tid] = (user + system) / tick;
    }
    ::closedir(tasks);
    return times;
}

struct PageRun {
    bool finished = false;
    double mibPerSecond = 0;
    double longestStallMs = 0;
    double windowBusy = 0;  // the user-interface thread's CPU time over the flood's time
    double receiveCpu = 0;  // seconds the receive thread ran during the flood
    double windowCpu = 0;   // seconds the window's thread ran during the flood
    double residentPerByte = 0;
    double openMs = -1;         // not shown: clicking the entry afterwards, until painted
    double openHexMs = -1;      // then switching the received view to hex, until painted
    double saveMs = -1;         // not shown: saving the whole log to a file
    double savedBytes = 0;      // the size of the saved file
    double ddMiBPerSecond = 0;  // dd writing as many bytes beside it, just before
};

// One flood into a fresh page; `shown` selects and shows the entry first, as a click does.
PageRun FloodThePage(const std::string& piece, std::size_t total, bool shown) {
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
    QApplication::processEvents();
    const std::size_t residentBefore = ResidentBytes();

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

    const double windowCpuBefore = ThreadCpuSeconds();
    const std::map<long, double> cpuBefore = ThreadCpuTimes();
    std::atomic<long> feedThread{0};
    const auto start = Clock::now();
    std::thread feed([&] {
        feedThread = static_cast<long>(::syscall(SYS_gettid));
        SendFlood(peer, piece, total);
    });
    lastTick = Clock::now();
    probe.start();
    // Done when every byte is in the log and, for the shown entry, the view shows its last
    // line. Checked from a 10 ms timer so that the user-interface thread idles like a real
    // one: a shorter one would add its own wake-ups to the window's CPU time and take the
    // record's lock from the receive thread more often than the page does.
    std::size_t received = 0;
    bool complete = false;
    QEventLoop loop;
    QTimer check;
    check.setInterval(10);
    QObject::connect(&check, &QTimer::timeout, [&] {
        UiCritSecGuard lock(g_connectLock);
        received = static_cast<std::size_t>(static_cast<std::uint32_t>(record->recvBytes));
        if (received < total % (std::size_t{1} << 32))
            return;
        if (shown && !page.ReceivedView()->toPlainText().endsWith(LastLogLine(*record)))
            return;
        complete = true;
        loop.quit();
    });
    QTimer::singleShot(kRunLimitMs, &loop, &QEventLoop::quit);
    check.start();
    loop.exec();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.windowBusy = seconds > 0 ? (ThreadCpuSeconds() - windowCpuBefore) / seconds : 0;
    probe.stop();
    check.stop();
    // The window's thread is the main one; the receive thread the busiest of the others
    // (the sender feeding the flood left aside).
    for (const auto& [tid, after] : ThreadCpuTimes()) {
        const auto before = cpuBefore.find(tid);
        const double used = after - (before == cpuBefore.end() ? 0 : before->second);
        if (tid == static_cast<long>(::getpid()))
            run.windowCpu = used;
        else if (tid != feedThread.load() && used > run.receiveCpu)
            run.receiveCpu = used;
    }
    feed.join();
    run.residentPerByte =
        (static_cast<double>(ResidentBytes()) - static_cast<double>(residentBefore)) / total;
    if (!shown) {
        // As a click on the entry: shown, scrolled to the end, painted.
        QElapsedTimer open;
        open.start();
        tree->SelectItem(entry);
        page.ShowEntry(entry);
        QApplication::processEvents();
        page.ReceivedView()->viewport()->repaint();
        run.openMs = open.nsecsElapsed() / 1e6;
        open.restart();
        page.Views().SetLineForm(EntryViews::View::Received, LogForm::Hex);
        QApplication::processEvents();
        page.ReceivedView()->viewport()->repaint();
        run.openHexMs = open.nsecsElapsed() / 1e6;
        page.Views().SetLineForm(EntryViews::View::Received, LogForm::Text);

        const QString path = QDir::temp().filePath(
            QStringLiteral("wirelark-bench-%1.txt").arg(QCoreApplication::applicationPid()));
        std::size_t lines = 0;
        {
            UiCritSecGuard lock(g_connectLock);
            lines = record->recvLog.LineCount();
        }
        // dd first, in the same state of memory: the log still held in the page cache, which
        // a first write of that size (not timed) has made the machine back with memory (some
        // virtual machines back a guest's memory only when it is first touched, which makes a
        // first write of fresh pages several times slower than any later one).
        DiskWrite(total);
        run.ddMiBPerSecond = DiskWrite(total);
        QElapsedTimer save;
        save.start();
        LogSaver saver(record->recvLog, lines, path, LogForm::Text, false);
        bool saved = false, done = false;
        QObject::connect(&saver, &LogSaver::finished, [&](bool ok) {
            saved = ok;
            done = true;
        });
        saver.Start();
        RunUntil([&] { return done; }, kRunLimitMs);
        if (saved) {
            run.saveMs = save.nsecsElapsed() / 1e6;
            run.savedBytes = static_cast<double>(QFileInfo(path).size());
        }
        QFile::remove(path);
    }
    peer.Close();

    run.finished = complete;
    run.mibPerSecond = MiBPerSecond(total, seconds);
    return run;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// ---- one case in this process --------------------------------------------------------------

int RunCase(const QString& name, std::size_t total) {
    const std::string piece = FloodPiece();
    PageRun run;
    if (name == "socat") {
        run.mibPerSecond = SocatLoop(piece, total);
        run.finished = run.mibPerSecond > 0;
    } else if (name == "plain") {
        run.mibPerSecond = PlainRecvLoop(piece, total);
        run.finished = true;
    } else {
        // The page logs the flood to disk, socat writes to /dev/null: the log goes into memory
        // that a write of the same size (not timed) has just made the machine back (see the
        // save's dd below), as memory a long-running machine has used before.
        DiskWrite(total);
        run = FloodThePage(piece, total, name == "shown");
    }
    std::printf("RESULT %d %.3f %.3f %.5f %.3f %.3f %.4f %.3f %.4f %.4f %.0f %.3f\n",
                run.finished ? 1 : 0, run.mibPerSecond, run.longestStallMs, run.residentPerByte,
                run.openMs, run.saveMs, run.windowBusy, run.openHexMs, run.receiveCpu,
                run.windowCpu, run.savedBytes, run.ddMiBPerSecond);
    return 0;
}

// ---- the whole benchmark: each case in a fresh process -------------------------------------

// Waits until the memory the last case gave back is free again (MemAvailable steady for a
// while), at most a few seconds.
void LetMemorySettle() {
    auto available = [] {
        std::ifstream meminfo("/proc/meminfo");
        std::string key;
        long long value = 0;
        std::string unit;
        while (meminfo >> key >> value >> unit) {
            if (key == "MemAvailable:")
                return value;
        }
        return 0LL;
    };
    long long last = available();
    for (int i = 0; i < 30; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const long long now = available();
        if (i >= 3 && std::llabs(now - last) < 4096)  // under 4 MiB in 100 ms
            return;
        last = now;
    }
}

PageRun RunInFreshProcess(const char* name, std::size_t total) {
    LetMemorySettle();
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    PageRun run;
    if (length <= 0)
        return run;
    self[length] = 0;
    const std::string command =
        std::string("'") + self + "' --case=" + name + " --bytes=" + std::to_string(total);
    FILE* child = ::popen(command.c_str(), "r");
    if (child == nullptr)
        return run;
    char line[512];
    while (std::fgets(line, sizeof line, child) != nullptr) {
        int finished = 0;
        if (std::sscanf(line, "RESULT %d %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf", &finished,
                        &run.mibPerSecond, &run.longestStallMs, &run.residentPerByte, &run.openMs,
                        &run.saveMs, &run.windowBusy, &run.openHexMs, &run.receiveCpu,
                        &run.windowCpu, &run.savedBytes, &run.ddMiBPerSecond) == 12)
            run.finished = finished != 0;
    }
    ::pclose(child);
    return run;
}

// "median [lowest-highest]" of `values`, each printed with `format`.
std::string Spread(std::vector<double> values, const char* format) {
    if (values.empty())
        return "-";
    std::sort(values.begin(), values.end());
    char text[160];
    std::string one = format, all = one + " [" + one + "-" + one + "]";
    std::snprintf(text, sizeof text, all.c_str(), Median(values), values.front(), values.back());
    return text;
}

void PrintSpeed(const char* name, const std::vector<PageRun>& runs,
                const std::vector<PageRun>& socat, bool shown) {
    std::vector<double> speeds, ratios, stalls, busy, receiveCpu, windowCpu, cpuRatios;
    bool finished = true;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        busy.push_back(100 * runs[i].windowBusy);
        speeds.push_back(runs[i].mibPerSecond);
        ratios.push_back(socat[i].mibPerSecond > 0 ? runs[i].mibPerSecond / socat[i].mibPerSecond
                                                   : 0);
        stalls.push_back(runs[i].longestStallMs);
        receiveCpu.push_back(runs[i].receiveCpu);
        windowCpu.push_back(runs[i].windowCpu);
        cpuRatios.push_back(runs[i].receiveCpu > 0 ? runs[i].windowCpu / runs[i].receiveCpu : 0);
        finished = finished && runs[i].finished;
    }
    const double ratio = Median(ratios);
    const double stall = *std::max_element(stalls.begin(), stalls.end());
    std::printf("  %-22s %s MiB/s, %s of socat (target >= 0.9: %s)%s\n", name,
                Spread(speeds, "%.0f").c_str(), Spread(ratios, "%.2f").c_str(),
                ratio >= 0.9 ? "met" : "MISSED", finished ? "" : "  [did not finish in time]");
    std::printf("  %-22s longest stall %.1f ms (target <= 100: %s)\n", "", stall,
                stall <= 100 ? "met" : "MISSED");
    const double cpuRatio = Median(cpuRatios);
    std::printf(
        "  %-22s CPU s: receive thread %s, window thread %s; window/receive %s%s\n", "",
        Spread(receiveCpu, "%.3f").c_str(), Spread(windowCpu, "%.3f").c_str(),
        Spread(cpuRatios, "%.3f").c_str(),
        shown ? (cpuRatio <= 0.1 ? " (target <= 0.1: met)" : " (target <= 0.1: MISSED)") : "");
    std::printf("  %-22s window thread busy %s %% of the flood\n", "",
                Spread(busy, "%.1f").c_str());
}

void PrintBaseline(const char* name, const std::vector<PageRun>& runs) {
    std::vector<double> speeds;
    for (const PageRun& run : runs) speeds.push_back(run.mibPerSecond);
    std::printf("  %-22s %s MiB/s (baseline)%s\n", name, Spread(speeds, "%.0f").c_str(),
                speeds.empty() || Median(speeds) > 0 ? "" : "  [could not run]");
}

void PrintMemory(const char* name, const PageRun& run) {
    std::printf("  %-20s %6.3f bytes resident per byte received (target <= 0.05: %s)%s\n", name,
                run.residentPerByte, run.residentPerByte <= 0.05 ? "met" : "MISSED",
                run.finished ? "" : "  [did not finish in time]");
}

void PrintLoad() {
    double load[3] = {0, 0, 0};
    if (::getloadavg(load, 3) == 3)
        std::printf("  (load average %.2f %.2f %.2f on %ld cores)\n", load[0], load[1], load[2],
                    ::sysconf(_SC_NPROCESSORS_ONLN));
}

// One size: `runs` rounds of socat, the plain loop and the page not shown and shown, each in
// a fresh process.
void RunSize(std::size_t total, int runs, bool withMemory) {
    std::printf(
        "TCP server page, %zu MiB from one peer on 127.0.0.1, first flood of a fresh "
        "process, %d run(s)\n",
        total >> 20, runs);
    PrintLoad();
    std::vector<PageRun> socat, plain, hidden, shown;
    for (int run = 0; run < runs; ++run) {
        socat.push_back(RunInFreshProcess("socat", total));
        plain.push_back(RunInFreshProcess("plain", total));
        hidden.push_back(RunInFreshProcess("hidden", total));
        shown.push_back(RunInFreshProcess("shown", total));
    }
    PrintBaseline("socat", socat);
    PrintBaseline("plain recv loop", plain);
    PrintSpeed("page, entry not shown", hidden, socat, false);
    PrintSpeed("page, entry shown", shown, socat, true);
    if (!withMemory)
        return;
    PrintMemory("page, entry not shown", hidden.back());
    PrintMemory("page, entry shown", shown.back());
    std::printf("  %-20s %8.1f ms until painted (target <= 100: %s)\n", "opening the entry",
                hidden.back().openMs, hidden.back().openMs <= 100 ? "met" : "MISSED");
    std::printf("  %-20s %8.1f ms until painted (target <= 100: %s)\n", "then shown in hex",
                hidden.back().openHexMs, hidden.back().openHexMs <= 100 ? "met" : "MISSED");
    const double saved = hidden.back().saveMs > 0 ? hidden.back().savedBytes / (1024.0 * 1024.0) /
                                                        (hidden.back().saveMs / 1000)
                                                  : 0.0;
    const double dd = hidden.back().ddMiBPerSecond;
    std::printf(
        "  %-20s %8.1f ms (%.1f MiB/s; dd to a file in the same directory %.1f MiB/s: %.2f of "
        "dd; target >= 0.8: %s)\n",
        "saving the log", hidden.back().saveMs, saved, dd, dd > 0 ? saved / dd : 0.0,
        saved >= 0.8 * dd ? "met" : "MISSED");
    PrintLoad();
}

}  // namespace

int main(int argc, char** argv) {
    BenchApplication app(argc, argv);

    int runs = 5;
    bool speed = true, memory = true;
    QString oneCase;
    std::size_t bytes = kSpeedBytes;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg.startsWith("--runs="))
            runs = std::max(1, arg.mid(7).toInt());
        else if (arg == "--only=speed")
            memory = false;
        else if (arg == "--only=memory")
            speed = false;
        else if (arg.startsWith("--case="))
            oneCase = arg.mid(7);
        else if (arg.startsWith("--bytes="))
            bytes = arg.mid(8).toULongLong();
    }
    if (!oneCase.isEmpty())
        return RunCase(oneCase, bytes);
    if (speed)
        RunSize(kSpeedBytes, runs, false);
    if (memory)
        RunSize(kMemoryBytes, runs, true);
    return 0;
}
