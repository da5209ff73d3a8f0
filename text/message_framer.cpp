#include "text/message_framer.h"

#include <algorithm>

void MessageFramer::Feed(const FramingChoice& choice, std::string_view chunk, bool unitEnds,
                         std::vector<std::string>& out) {
    if (choice.framing == Framing::Packet) {
        pending_.clear();
        if (!chunk.empty())
            out.emplace_back(chunk);
        return;
    }
    pending_.append(chunk);
    std::size_t start = 0;
    if (choice.framing == Framing::Line) {
        for (;;) {
            const std::size_t lf = pending_.find('\n', start);
            const std::size_t end = lf == std::string::npos
                                        ? std::min(pending_.size(), start + kMaxLine)
                                        : std::min(lf + 1, start + kMaxLine);
            if (lf == std::string::npos && end - start < kMaxLine)
                break;
            out.emplace_back(pending_, start, end - start);
            start = end;
        }
    } else {
        const std::size_t length =
            std::clamp<std::size_t>(choice.length, 1, FramingChoice::kMaxLength);
        while (pending_.size() - start >= length) {
            out.emplace_back(pending_, start, length);
            start += length;
        }
    }
    pending_.erase(0, start);
    if (unitEnds && !pending_.empty()) {
        out.push_back(std::move(pending_));
        pending_.clear();
    }
}
