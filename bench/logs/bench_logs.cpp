// Find and pcap export over a log of 1 GiB on disk, printed beside the system's tools on
// the same bytes in the same run:
//   find    the time to count every hit of a pattern (the search's own thread), beside
//           `grep -F -c` over a plain file of the same bytes (both read from the page cache);
//           and the longest stall of a loop standing for the window's thread, which takes
//           the log's snapshot and then polls the search every 5 ms as the find bar does
//           (target: count within 1.5 x grep's time; no stall over 50 ms);
//   export  the log written as pcap, MiB/s, beside `dd conv=fsync` writing as much to the
//           same folder (target: at least 0.8 of dd's rate).
// WIRELARK_BENCH_MIB sets the log's size (default 1024).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "net/compact_log.h"
#include "net/log_search.h"
#include "net/pcap_export.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

double TimeCommand(const std::string& command, std::string* output = nullptr) {
    const Clock::time_point start = Clock::now();
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[256];
    std::string out;
    while (pipe && fgets(buffer, sizeof(buffer), pipe)) out += buffer;
    if (pipe)
        pclose(pipe);
    if (output)
        *output = out;
    return Seconds(start);
}

}  // namespace

int main() {
    const char* mibSetting = std::getenv("WIRELARK_BENCH_MIB");
    const std::size_t mib = mibSetting ? std::strtoul(mibSetting, nullptr, 10) : 1024;
    const std::string dir =
        (fs::temp_directory_path() / ("wl-bench-logs-" + std::to_string(getpid()))).string();
    fs::create_directories(dir);
    setenv("XDG_CACHE_HOME", dir.c_str(), 1);  // the log's own file goes there too

    // Lines of text, as a talkative peer sends them, 64 KiB a piece; one in every 4096
    // lines carries the pattern.
    const std::string plain = dir + "/plain.txt";
    CompactLog log;
    std::uint64_t expected = 0;
    {
        std::ofstream file(plain, std::ios::binary);
        std::string piece;
        std::uint64_t line = 0;
        const auto start = CompactLog::Clock::now();
        for (std::size_t written = 0; written < mib << 20;) {
            piece.clear();
            while (piece.size() + 128 < 64 * 1024) {
                char text[128];
                const bool hit = ++line % 4096 == 0;
                std::snprintf(text, sizeof(text),
                              "%08llu status=ok temperature=21.5 humidity=40 %s payload=abcdefgh\n",
                              static_cast<unsigned long long>(line),
                              hit ? "needle-42" : "quiet-00");
                expected += hit;
                piece += text;
            }
            log.AppendStream(1, piece, start + std::chrono::microseconds(written / 1024));
            file.write(piece.data(), static_cast<std::streamsize>(piece.size()));
            written += piece.size();
        }
    }
    std::printf("log: %zu MiB in %zu pieces, on disk: %s\n", mib, log.LineCount(),
                log.InFile() ? "yes" : "no");
    // Both from the page cache, and no writing left over for the export and dd to wait on.
    TimeCommand("cat " + plain + " > /dev/null; sync");

    // find
    const Clock::time_point findStart = Clock::now();
    double stall = 0;
    Clock::time_point beat = Clock::now();
    auto search = std::make_shared<LogSearch>(log.Snapshot(), "needle-42");
    stall = Seconds(beat);
    std::thread worker([search] { search->Run(); });
    double firstHit = -1;
    for (;;) {
        beat = Clock::now();
        const LogSearch::State state = search->Progress();
        if (firstHit < 0 && !search->Hits(0, 1).empty())
            firstHit = Seconds(findStart);
        stall = std::max(stall, Seconds(beat));
        if (state.done)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    worker.join();
    const double findTime = Seconds(findStart);
    std::string grepCount;
    const double grepTime = TimeCommand("grep -F -c needle-42 " + plain, &grepCount);
    std::printf(
        "find:   %llu hits (expected %llu) counted in %.3f s, first hit after %.1f ms; "
        "grep -F -c: %s in %.3f s; ratio %.2f (target <= 1.5); longest stall %.1f ms "
        "(target <= 50)\n",
        static_cast<unsigned long long>(search->Progress().count),
        static_cast<unsigned long long>(expected), findTime, firstHit * 1000,
        std::to_string(std::strtoull(grepCount.c_str(), nullptr, 10)).c_str(), grepTime,
        findTime / grepTime, stall * 1000);

    // export
    std::vector<PcapConversation> conversations(1);
    conversations[0].local = {0x7F000001, 8888};
    conversations[0].peer = {0x7F000001, 40000};
    Clock::time_point snapshotStart = Clock::now();
    conversations[0].received = log.Snapshot();
    const double snapshotTime = Seconds(snapshotStart);
    PcapExportProgress progress;
    const Clock::time_point exportStart = Clock::now();
    const PcapExportResult result = ExportPcap(conversations, dir + "/export.pcap", progress);
    const double exportTime = Seconds(exportStart);
    const double exportRate =
        static_cast<double>(fs::file_size(dir + "/export.pcap")) / (1 << 20) / exportTime;
    fs::remove(dir + "/export.pcap");
    const double ddTime =
        TimeCommand("dd if=/dev/zero of=" + dir + "/dd.bin bs=4M count=" + std::to_string(mib / 4) +
                    " conv=fsync 2>/dev/null");
    const double ddRate = static_cast<double>(mib / 4 * 4) / ddTime;
    std::printf(
        "export: %s, %llu packets, %.0f MiB/s (snapshot on the window's thread %.1f ms); "
        "dd conv=fsync: %.0f MiB/s; ratio %.2f (target >= 0.8)\n",
        result.ok ? "ok" : "FAILED", static_cast<unsigned long long>(result.packets), exportRate,
        snapshotTime * 1000, ddRate, exportRate / ddRate);
    log.Clear();
    fs::remove_all(dir);
    return result.ok ? 0 : 1;
}
