// Finding a run of bytes in a log's lines of bytes (a snapshot, net/compact_log.h), on a
// thread of its own: every match inside one line is a hit (the program's notes are not
// searched, and a run cut by a line's end is not one). The first hits are there to show
// while the rest is still counted. Free of Qt.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "net/compact_log.h"

class LogSearch {
public:
    struct Hit {
        std::size_t line;  // the log line
        std::uint64_t at;  // offset of the match in the line's bytes
    };
    // Hits kept for showing; beyond, they are only counted.
    static constexpr std::size_t kMostHitsKept = 1'000'000;

    LogSearch(LogSnapshot log, std::string pattern);
    // Searches to the end or until Cancel. Runs on the search's own thread.
    void Run();
    void Cancel() { cancel_ = true; }

    // Any thread: what was found so far.
    struct State {
        std::uint64_t count = 0;  // every hit so far
        bool done = false;
        int error = 0;  // errno of a failed read (the search stopped)
    };
    State Progress() const;
    // Hits [first, first + most) of those kept so far.
    std::vector<Hit> Hits(std::size_t first, std::size_t most) const;
    const std::string& Pattern() const { return pattern_; }
    const LogSnapshot& Log() const { return log_; }

private:
    const LogSnapshot log_;
    const std::string pattern_;
    std::atomic<bool> cancel_{false};
    mutable std::mutex mutex_;  // guards what follows
    std::vector<Hit> hits_;
    State state_;
};
