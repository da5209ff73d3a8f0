#include "net/log_search.h"

#include <algorithm>
#include <cerrno>
#include <optional>

#include "text/byte_search.h"

LogSearch::LogSearch(LogSnapshot log, std::string pattern)
    : log_(std::move(log)), pattern_(std::move(pattern)) {}

LogSearch::State LogSearch::Progress() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

std::vector<LogSearch::Hit> LogSearch::Hits(std::size_t first, std::size_t most) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (first >= hits_.size())
        return {};
    const std::size_t end = std::min(hits_.size(), first + most);
    return std::vector<Hit>(hits_.begin() + static_cast<std::ptrdiff_t>(first),
                            hits_.begin() + static_cast<std::ptrdiff_t>(end));
}

void LogSearch::Run() {
    const std::vector<LogSnapshot::Piece>& pieces = log_.pieces;
    int error = 0;
    if (!pieces.empty() && !pattern_.empty()) {
        // The store's bytes from the first piece to the last, a block at a time: one long
        // search instead of one per piece. A match is a hit when it lies within one piece.
        constexpr std::uint64_t kBlock = std::uint64_t{4} << 20;
        ByteSearch search(pattern_);
        const std::uint64_t begin = pieces.front().begin;
        const std::uint64_t end = pieces.back().end;
        search.Restart(begin);
        std::vector<Hit> found;  // handed over once per block, so the lock is seldom taken
        std::uint64_t counted = 0;
        std::size_t kept = 0;
        std::size_t piece = 0;  // where the last match was: matches come in order
        const auto onMatch = [&](std::uint64_t at) {
            while (piece < pieces.size() && pieces[piece].end <= at) ++piece;
            if (piece == pieces.size())
                return false;
            if (at >= pieces[piece].begin && at + pattern_.size() <= pieces[piece].end) {
                ++counted;
                if (kept + found.size() < kMostHitsKept)
                    found.push_back({pieces[piece].line, at - pieces[piece].begin});
            }
            return true;
        };
        std::string block;
        for (std::uint64_t at = begin; at < end && !cancel_; at += kBlock) {
            const std::uint64_t blockEnd = std::min(end, at + kBlock);
            std::optional<std::string_view> bytes = log_.bytes.View(at, blockEnd);
            if (!bytes) {
                block.clear();
                if (!log_.bytes.Read(at, blockEnd, block)) {
                    error = errno ? errno : EIO;
                    break;
                }
                bytes = block;
            }
            search.Feed(*bytes, onMatch);
            std::lock_guard<std::mutex> lock(mutex_);
            state_.count += counted;
            counted = 0;
            hits_.insert(hits_.end(), found.begin(), found.end());
            kept += found.size();
            found.clear();
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    state_.error = error;
    state_.done = true;
}
