#include "text/stream_decoder.h"

#include <algorithm>
#include <cstring>

#include "text/code_page.h"

namespace {
constexpr char16_t kReplacementCharacter = u'\uFFFD';
}

void StreamDecoder::Decode(std::u16string& out, std::string_view bytes) {
    if (pendingSize_ != 0) {
        // Complete the kept sequence from the first few bytes of this chunk, then read the
        // rest where it lies: no copy of the whole chunk.
        char head[2 * kMaxPending];
        const std::size_t taken = std::min(bytes.size(), kMaxPending);
        std::memcpy(head, pending_, pendingSize_);
        std::memcpy(head + pendingSize_, bytes.data(), taken);
        const std::size_t headSize = pendingSize_ + taken;
        const std::size_t converted =
            AppendReceivedText(out, std::string_view(head, headSize), true);
        if (converted < pendingSize_) {
            // Still cut off: the chunk was too short to complete it.
            pendingSize_ = 0;
            if (taken == bytes.size()) {
                Keep(out, std::string_view(head + converted, headSize - converted));
                return;
            }
            out.push_back(kReplacementCharacter);  // no code page cuts a character this long
        } else {
            bytes.remove_prefix(converted - pendingSize_);
            pendingSize_ = 0;
        }
    }
    const std::size_t converted = AppendReceivedText(out, bytes, true);
    Keep(out, bytes.substr(converted));
}

void StreamDecoder::Keep(std::u16string& out, std::string_view cutOff) {
    if (cutOff.empty())
        return;
    if (cutOff.size() > kMaxPending) {
        // No code page cuts a character this long: not a character at all.
        out.push_back(kReplacementCharacter);
        return;
    }
    std::memcpy(pending_, cutOff.data(), cutOff.size());
    pendingSize_ = static_cast<std::uint8_t>(cutOff.size());
}

bool StreamDecoder::Finish(std::u16string& out) {
    if (pendingSize_ == 0)
        return false;
    pendingSize_ = 0;
    out.push_back(kReplacementCharacter);
    return true;
}
