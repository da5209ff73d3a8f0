// Finding a run of bytes in a long sequence read a block at a time, such as a log of a
// gigabyte on disk: the caller feeds consecutive blocks, and a match that straddles two
// blocks is found all the same. Free of Qt; one thread per searcher.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class ByteSearch {
public:
    explicit ByteSearch(std::string pattern) : pattern_(std::move(pattern)) {}

    const std::string& Pattern() const { return pattern_; }
    // Looks for the pattern in `block`, the bytes that follow those fed before, and calls
    // `hit` with the offset (from the first byte ever fed) of each match, in order; matches
    // may overlap. Stops early, returning false, when `hit` returns false.
    bool Feed(std::string_view block, const std::function<bool(std::uint64_t at)>& hit);
    // Starts afresh at offset `at` (what was fed before is forgotten).
    void Restart(std::uint64_t at);

private:
    std::string pattern_;
    std::string carry_;      // the last pattern-length - 1 bytes fed, ahead of the next block
    std::uint64_t fed_ = 0;  // offset just past the last byte fed
    std::string joined_;     // carry_ + the start of a block, reused
};
