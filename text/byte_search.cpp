#include "text/byte_search.h"

#include <string.h>

#include <algorithm>

namespace {

// Every match of `pattern` in `text`, by glibc's memmem (vectorised), stopping when `hit`
// says so.
bool FindIn(std::string_view text, std::string_view pattern,
            const std::function<bool(std::size_t at)>& hit) {
    const char* at = text.data();
    const char* const end = text.data() + text.size();
    while (static_cast<std::size_t>(end - at) >= pattern.size()) {
        const void* found =
            memmem(at, static_cast<std::size_t>(end - at), pattern.data(), pattern.size());
        if (!found)
            break;
        const char* match = static_cast<const char*>(found);
        if (!hit(static_cast<std::size_t>(match - text.data())))
            return false;
        at = match + 1;
    }
    return true;
}

}  // namespace

void ByteSearch::Restart(std::uint64_t at) {
    carry_.clear();
    fed_ = at;
}

bool ByteSearch::Feed(std::string_view block, const std::function<bool(std::uint64_t)>& hit) {
    if (pattern_.empty()) {
        fed_ += block.size();
        return true;
    }
    const std::size_t keep = pattern_.size() - 1;
    // Matches that begin in the carried bytes: search them joined with the block's start.
    if (!carry_.empty()) {
        const std::uint64_t joinedAt = fed_ - carry_.size();
        joined_.assign(carry_);
        joined_.append(block.substr(0, std::min(block.size(), keep)));
        const std::size_t carried = carry_.size();
        const bool go = FindIn(joined_, pattern_,
                               [&](std::size_t at) { return at >= carried || hit(joinedAt + at); });
        if (!go)
            return false;
    }
    const std::uint64_t blockAt = fed_;
    if (!FindIn(block, pattern_, [&](std::size_t at) { return hit(blockAt + at); }))
        return false;
    fed_ += block.size();
    // The bytes a match beginning in this block's last keep bytes would need later.
    if (block.size() >= keep) {
        carry_.assign(block.substr(block.size() - keep));
    } else {
        carry_.append(block);
        if (carry_.size() > keep)
            carry_.erase(0, carry_.size() - keep);
    }
    return true;
}
