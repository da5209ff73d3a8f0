// Long lines without break points in the send box and the received view, and how long the
// user-interface thread goes unanswered meanwhile:
//
//   paste and Send   a text pasted with Ctrl+V into the TCP server page's send box, then sent
//                    with Send to a local peer until the peer has all of it and the box is
//                    emptied: one line of 64 KiB, 1 MiB and 10 MiB, beside 10 MiB of 64-character
//                    lines (the baseline)
//   datagram flood   64 KiB datagrams at 100 a second for 3 s into the UDP server page's
//                    shown entry: line-free, beside the same bytes in 64-character lines,
//                    and the lines again with the received view in hex
//
// Printed: the time taken and the longest stall (the paste is one event: its stall is its
// whole time; otherwise how late a 5 ms timer fires); for the paste also the processor time
// of paste and Send (all threads: on a busy machine the times above stretch, this does not)
// and the longest key of ordinary typing after the paste (a few characters typed and taken
// back at the end and at the start of the box, each key with its paint). Targets (printed,
// not asserted): at most 1 s for the paste of 10 MiB and its Send, at most 50 ms for a key
// and for the flood.
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>

#include "bench/pages/bench_page_support.h"
#include "bench/pages/bench_server_page.h"
#include "net/crit_sec.h"
#include "pages/dialogs/set_listen_dlg.h"
#include "pages/tcp_server_page.h"
#include "pages/udp_server_page.h"
#include "skin/skin_btn.h"
#include "tests/pages/udp_page_test_support.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/modal_helper.h"
#include "text/hex_text.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTickMs = 5;
constexpr int kRunLimitMs = 300000;  // a run that takes longer is reported as unfinished
constexpr std::size_t kDatagramBytes = 64 * 1024 - 64;
constexpr int kDatagramsPerSecond = 100;
constexpr int kFloodSeconds = 3;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// `size` characters: one line without break points, or lines of 64 characters.
std::string Text(std::size_t size, bool lines) {
    std::string text(size, '0');
    for (std::size_t i = 0; i < size; ++i) {
        text[i] = lines && i % 64 == 63 ? '\n' : "0123456789abcdef"[(i * 7) % 16];
    }
    return text;
}

// How late each tick of a 5 ms timer on the user-interface thread fires.
class StallProbe {
public:
    StallProbe() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(kTickMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const auto now = Clock::now();
            longestMs_ = std::max(
                longestMs_,
                std::chrono::duration<double, std::milli>(now - lastTick_).count() - kTickMs);
            lastTick_ = now;
        });
    }
    void Start() {
        lastTick_ = Clock::now();
        timer_.start();
    }
    double LongestMs() const { return longestMs_; }

private:
    QTimer timer_;
    Clock::time_point lastTick_;
    double longestMs_ = 0;
};

struct PasteRun {
    bool finished = false;
    double pasteMs = 0;
    double sendMs = 0;
    double cpuMs = 0;
    double longestStallMs = 0;
    double longestKeyMs = 0;
};

double CpuMs() {
    return 1000.0 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// The longest of a few ordinary keys at the end and at the start of the box, each with the
// paint it causes; the box's text is as before afterwards.
double LongestKeyMs(QPlainTextEdit* box) {
    double longest = 0;
    const auto key = [&](Qt::Key pressed, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        const auto start = Clock::now();
        QTest::keyClick(box, pressed, modifiers);
        box->repaint();
        longest = std::max(longest, MsSince(start));
    };
    for (const Qt::Key place : {Qt::Key_End, Qt::Key_Home}) {
        key(place, Qt::ControlModifier);
        for (int i = 0; i < 5; ++i) key(Qt::Key_X);
        for (int i = 0; i < 5; ++i) key(Qt::Key_Backspace);
    }
    return longest;
}

PasteRun PasteAndSend(const std::string& text) {
    PasteRun run;
    CTcpServerDlg page;
    page.show();
    CTreeCtrlEx* tree = page.Tree();
    const std::uint16_t port = StartServerOnFreePort(page);
    LoopbackPeer peer;
    if (!peer.Connect(port))
        return run;
    HTREEITEM entry = nullptr;
    if (!RunUntil([&] { return (entry = tree->GetChildItem(tree->GetRootItem())) != nullptr; },
                  10000))
        return run;
    tree->SelectItem(entry);
    page.ShowEntry(entry);
    QApplication::processEvents();

    QPlainTextEdit* box = page.SendBox();
    QGuiApplication::clipboard()->setText(QString::fromStdString(text));
    box->setFocus();
    StallProbe probe;
    probe.Start();
    // The paste and the paint after it, each one event.
    const double cpuStart = CpuMs();
    auto start = Clock::now();
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    const double pasteEvent = MsSince(start);
    const auto paint = Clock::now();
    box->repaint();
    const double paintEvent = MsSince(paint);
    run.pasteMs = MsSince(start);
    run.longestStallMs = std::max(pasteEvent, paintEvent);
    QGuiApplication::clipboard()->clear();
    const double cpuTyping = CpuMs();
    run.longestKeyMs = LongestKeyMs(box);
    const double cpuTyped = CpuMs();
    probe.Start();  // the keys were timed one by one

    // The peer reads as it comes; the CR LF of each line break go with it.
    const std::size_t wireSize =
        text.size() + static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    std::atomic<std::size_t> arrived{0};
    std::thread reader([&] { arrived = peer.Receive(wireSize, std::chrono::seconds(300)).size(); });
    start = Clock::now();
    CSkinBtn* send = FindControlAs<CSkinBtn>(&page, CTcpServerDlg::kSendId);
    QTest::mouseClick(send, Qt::LeftButton, Qt::NoModifier, send->rect().center());
    run.longestStallMs = std::max(run.longestStallMs, MsSince(start));
    run.finished =
        RunUntil([&] { return arrived == wireSize && box->toPlainText().isEmpty(); }, kRunLimitMs);
    run.sendMs = MsSince(start);
    reader.join();
    run.cpuMs = CpuMs() - cpuStart - (cpuTyped - cpuTyping);
    run.longestStallMs = std::max(run.longestStallMs, probe.LongestMs());
    return run;
}

struct FloodRun {
    bool finished = false;
    int logged = 0;
    double longestStallMs = 0;
};

int LoggedLines(CUdpServerDlg& page, HTREEITEM entry) {
    UiCritSecGuard lock(g_connectLock);
    auto* record = reinterpret_cast<ConnectInfo*>(page.Tree()->GetItemData(entry));
    return record ? static_cast<int>(record->recvLog.LineCount()) : 0;
}

FloodRun Flood(bool lines, bool hex = false) {
    FloodRun run;
    CUdpServerDlg page;
    page.show();
    CTreeCtrlEx* tree = page.Tree();
    const std::uint16_t port = CreateUdpServer(page);
    UdpPeer sender;
    const std::string datagram = Text(kDatagramBytes, lines);
    sender.SendTo(port, "hello");
    HTREEITEM entry = nullptr;
    if (!RunUntil([&] { return (entry = tree->GetChildItem(tree->GetRootItem())) != nullptr; },
                  10000))
        return run;
    tree->SelectItem(entry);
    page.ShowEntry(entry);
    if (hex)
        page.Views().SetLineForm(EntryViews::View::Received, LogForm::Hex);
    QApplication::processEvents();
    const int before = LoggedLines(page, entry);

    StallProbe probe;
    probe.Start();
    constexpr int kTotal = kDatagramsPerSecond * kFloodSeconds;
    std::thread feed([&] {
        const auto start = Clock::now();
        for (int i = 0; i < kTotal; ++i) {
            std::this_thread::sleep_until(
                start + std::chrono::milliseconds(i * 1000 / kDatagramsPerSecond));
            sender.SendTo(port, datagram);
        }
    });
    // Every datagram is one log line; done when all are logged and the view has caught up.
    // (Its bytes end a whole row of hex.)
    const QString last = QString::fromStdString(
        hex ? FormatHexRows(datagram.substr(datagram.size() - kHexBytesPerRow))
            : datagram.substr(datagram.size() - 32));
    run.finished = RunUntil(
        [&] {
            run.logged = LoggedLines(page, entry) - before;
            return run.logged >= kTotal &&
                   page.ReceivedView()->toPlainText().remove(u'\n').endsWith(
                       QString(last).remove(u'\n'));
        },
        kFloodSeconds * 1000 + 10000);
    feed.join();
    run.longestStallMs = probe.LongestMs();
    return run;
}

void PrintPaste(const char* name, const PasteRun& run) {
    std::printf(
        "  %-30s paste %6.0f ms  send %6.0f ms  cpu %6.0f ms  longest stall %6.0f ms  "
        "longest key %5.1f ms%s\n",
        name, run.pasteMs, run.sendMs, run.cpuMs, run.longestStallMs, run.longestKeyMs,
        run.finished ? "" : "  (unfinished)");
}

void PrintFlood(const char* name, const FloodRun& run) {
    std::printf("  %-34s %4d of %d datagrams  longest stall %6.1f ms%s\n", name, run.logged,
                kDatagramsPerSecond * kFloodSeconds, run.longestStallMs,
                run.finished ? "" : "  (unfinished)");
}

}  // namespace

int main(int argc, char** argv) {
    BenchApplication app(argc, argv);
    std::printf(
        "paste into the send box, then Send to a local TCP peer (target: 10 MiB pasted "
        "within 1 s)\n");
    PrintPaste("10 MiB in 64-character lines", PasteAndSend(Text(10u << 20, true)));
    PrintPaste("64 KiB as one line", PasteAndSend(Text(64u << 10, false)));
    PrintPaste("1 MiB as one line", PasteAndSend(Text(1u << 20, false)));
    PrintPaste("10 MiB as one line", PasteAndSend(Text(10u << 20, false)));
    std::fflush(stdout);
    std::printf(
        "64 KiB datagrams, %d a second for %d s, into the shown UDP entry (target: no "
        "stall above 50 ms)\n",
        kDatagramsPerSecond, kFloodSeconds);
    PrintFlood("64-character lines", Flood(true));
    PrintFlood("line-free", Flood(false));
    PrintFlood("64-character lines, hex view", Flood(true, true));
    return 0;
}
