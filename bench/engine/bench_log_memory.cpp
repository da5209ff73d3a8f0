// What a record's received log costs in memory per byte received, once its bytes live in a
// temporary file: 1 GiB logged as 64-byte datagrams (one index entry each) and as 10 KiB
// stream chunks, each in a fresh log in this process. Beside it, the same datagrams into a
// log kept in memory (no usable directory), as before logs went to disk. Targets (printed,
// not asserted): at most 0.3 resident bytes per byte for datagrams, 0.05 for the stream.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "net/compact_log.h"

namespace {

constexpr std::uint64_t kTotal = std::uint64_t{1} << 30;

std::size_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

struct Figures {
    double residentPerByte;
    double mibPerSecond;
    bool inFile;
};

// Appends kTotal bytes in chunks of `chunk` bytes (stream or datagrams) to a fresh log.
Figures Fill(std::size_t chunk, bool stream) {
    const std::size_t before = ResidentBytes();
    const auto start = std::chrono::steady_clock::now();
    CompactLog log;
    std::string bytes(chunk, 'x');
    const auto when = CompactLog::Clock::now();
    for (std::uint64_t done = 0; done < kTotal; done += chunk) {
        bytes[0] = static_cast<char>('a' + done % 26);
        const bool taken =
            stream ? log.AppendStream(1, bytes, when) : log.AppendReceived(bytes, when);
        if (!taken)
            break;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double perByte =
        (static_cast<double>(ResidentBytes()) - static_cast<double>(before)) / kTotal;
    return {perByte, kTotal / seconds / (1024.0 * 1024.0), log.InFile()};
}

void Print(const char* name, const Figures& figures, double target) {
    std::printf("  %-34s %6.3f bytes resident per byte  %8.1f MiB/s  %s", name,
                figures.residentPerByte, figures.mibPerSecond,
                figures.inFile ? "(in a file)" : "(in memory)");
    if (target > 0)
        std::printf("  (target <= %.2f: %s)", target,
                    figures.residentPerByte <= target ? "met" : "MISSED");
    std::printf("\n");
}

}  // namespace

int main() {
    std::printf("A received log filled with 1 GiB, resident bytes added per byte logged\n");
    Print("64-byte datagrams", Fill(64, false), 0.3);
    Print("10 KiB stream chunks", Fill(10240, true), 0.05);
    // As before logs went to disk: no directory for the file.
    setenv("XDG_CACHE_HOME", "/nonexistent-wirelark", 1);
    setenv("HOME", "/nonexistent-wirelark", 1);
    setenv("TMPDIR", "/nonexistent-wirelark", 1);
    Print("10 KiB stream chunks, in memory", Fill(10240, true), 0);
    return 0;
}
