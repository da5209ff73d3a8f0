#include "text/ui_text.h"

#include <atomic>

namespace {

std::atomic<UiTextLookup> g_lookup{nullptr};

// The Chinese source text itself, for a run without a lookup.
std::u16string FromUtf8(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; k < length && i + k < utf8.size(); ++k)
            code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += length;
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
    }
    return out;
}

}  // namespace

void SetUiTextLookup(UiTextLookup lookup) {
    g_lookup.store(lookup);
}

std::u16string UiText(const char* context, const char* chinese) {
    if (const UiTextLookup lookup = g_lookup.load())
        return lookup(context, chinese);
    return FromUtf8(chinese);
}

std::u16string WithArgs(std::u16string pattern, std::initializer_list<std::u16string_view> args) {
    std::u16string out;
    out.reserve(pattern.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char16_t next = i + 1 < pattern.size() ? pattern[i + 1] : u'\0';
        const std::size_t index = static_cast<std::size_t>(next - u'1');
        if (pattern[i] == u'%' && next >= u'1' && next <= u'9' && index < args.size()) {
            out.append(*(args.begin() + index));
            ++i;
        } else {
            out.push_back(pattern[i]);
        }
    }
    return out;
}

std::u16string AsciiText(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}
