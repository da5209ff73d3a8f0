#include "text/hex_text.h"

#include "text/ui_text.h"

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

template <typename String>
void AppendRows(String& out, std::string_view bytes, std::size_t indent) {
    if (bytes.empty())
        return;
    // Three characters a byte, less one blank a row, plus the row breaks and indents.
    const std::size_t rows = (bytes.size() + kHexBytesPerRow - 1) / kHexBytesPerRow;
    out.reserve(out.size() + bytes.size() * 3 + (rows - 1) * (indent + 1));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0) {
            if (i % kHexBytesPerRow == 0) {
                out.push_back('\n');
                out.append(indent, ' ');
            } else {
                out.push_back(' ');
            }
        }
        const auto byte = static_cast<unsigned char>(bytes[i]);
        out.push_back(kDigits[byte >> 4]);
        out.push_back(kDigits[byte & 0x0F]);
    }
}

bool IsSeparator(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u',';
}

}  // namespace

int HexDigitValue(char16_t c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

void AppendHexDigits(std::string& out, std::string_view bytes) {
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        out.push_back(kDigits[byte >> 4]);
        out.push_back(kDigits[byte & 0x0F]);
    }
}

void AppendHexRows(std::string& out, std::string_view bytes, std::size_t indent) {
    AppendRows(out, bytes, indent);
}

void AppendHexRows(std::u16string& out, std::string_view bytes, std::size_t indent) {
    AppendRows(out, bytes, indent);
}

std::string FormatHexRows(std::string_view bytes, std::size_t indent) {
    std::string out;
    AppendRows(out, bytes, indent);
    return out;
}

std::variant<std::string, HexParseError> ParseHexText(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size() / 2);
    // Everything before the first error is ASCII, so its position is its index plus one.
    const auto errorAt = [](std::size_t i) { return HexParseError{i + 1}; };
    std::size_t i = 0;
    while (i < text.size()) {
        const char16_t c = text[i];
        if (IsSeparator(c)) {
            ++i;
            continue;
        }
        if (c == u'0' && i + 1 < text.size() && (text[i + 1] == u'x' || text[i + 1] == u'X'))
            i += 2;
        const int high = i < text.size() ? HexDigitValue(text[i]) : -1;
        if (high < 0)
            return errorAt(i);
        ++i;
        if (i == text.size())
            return HexParseError{i + 1, true};  // the last digit has no pair
        const int low = HexDigitValue(text[i]);
        if (low < 0)
            return errorAt(i);
        ++i;
        bytes.push_back(static_cast<char>(high << 4 | low));
    }
    return bytes;
}

std::u16string HexErrorMessage(const HexParseError& error) {
    if (error.lastDigitAlone)
        return UiText("HexText", "最后一个十六进制数字不成对");
    return WithArgs(UiText("HexText", "第 %1 个字符不是十六进制数字"),
                    {AsciiText(std::to_string(error.position))});
}
