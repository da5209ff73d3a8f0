#include "text/stream_decoder.h"

#include <cstring>

#include "text/code_page.h"

namespace {
constexpr char16_t kReplacementCharacter = u'\uFFFD';
}

void StreamDecoder::Decode(std::u16string& out, std::string_view bytes) {
    std::string joined;
    std::string_view text = bytes;
    if (pendingSize_ != 0) {
        joined.reserve(pendingSize_ + bytes.size());
        joined.append(pending_, pendingSize_);
        joined.append(bytes);
        text = joined;
        pendingSize_ = 0;
    }
    const std::size_t converted = AppendReceivedText(out, text, true);
    const std::size_t left = text.size() - converted;
    if (left == 0)
        return;
    if (left > kMaxPending) {
        // No code page cuts a character this long: not a character at all.
        out.push_back(kReplacementCharacter);
        return;
    }
    std::memcpy(pending_, text.data() + converted, left);
    pendingSize_ = static_cast<std::uint8_t>(left);
}

bool StreamDecoder::Finish(std::u16string& out) {
    if (pendingSize_ == 0)
        return false;
    pendingSize_ = 0;
    out.push_back(kReplacementCharacter);
    return true;
}
