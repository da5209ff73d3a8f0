#include "text/answer_template.h"

#include <optional>

#include "text/checksums.h"
#include "text/code_page.h"
#include "text/hex_text.h"
#include "text/ui_text.h"

namespace {

bool IsNameChar(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

// Length of "{name}" at `at` ("{" included), or 0 when no name in braces starts there.
std::size_t BracedNameLength(std::u16string_view source, std::size_t at) {
    std::size_t end = at + 1;
    while (end < source.size() && IsNameChar(source[end])) ++end;
    if (end == at + 1 || end >= source.size() || source[end] != u'}')
        return 0;
    return end - at + 1;
}

}  // namespace

std::u16string TextFaultMessage(const TextFault& fault) {
    return WithArgs(UiText("AnswerTemplate", "第 %1 个字符：%2"),
                    {AsciiText(std::to_string(fault.position)), fault.why});
}

std::variant<AnswerTemplate, TextFault> AnswerTemplate::Parse(std::u16string_view source,
                                                              const AnswerParseOptions& options) {
    AnswerTemplate parsed;
    parsed.form_ = options.form;
    auto& parts = parsed.parts_;
    const bool hex = options.form == AnswerForm::Hex;
    const auto literal = [&parts, hex]() -> Part& {
        const Kind kind = hex ? Kind::Bytes : Kind::Text;
        if (parts.empty() || parts.back().kind != kind)
            parts.push_back({kind, {}, {}, 0});
        return parts.back();
    };
    const auto fault = [](std::size_t index, std::u16string why) {
        return TextFault{index + 1, std::move(why)};
    };
    std::size_t i = 0;
    while (i < source.size()) {
        const char16_t c = source[i];
        if (c == u'{') {
            if (const std::size_t length = BracedNameLength(source, i)) {
                const std::u16string_view name = source.substr(i + 1, length - 2);
                static const std::pair<std::u16string_view, Kind> kNames[] = {
                    {u"n", Kind::Number},        {u"time", Kind::Time},   {u"crc16", Kind::Crc16},
                    {u"crc16be", Kind::Crc16Be}, {u"crc32", Kind::Crc32}, {u"sum8", Kind::Sum8},
                    {u"xor8", Kind::Xor8},       {u"lrc", Kind::Lrc}};
                std::optional<Kind> kind;
                int capture = 0;
                for (const auto& [known, what] : kNames)
                    if (name == known)
                        kind = what;
                if (!kind && name.size() == 1 && name[0] >= u'1' && name[0] <= u'9') {
                    capture = name[0] - u'0';
                    if (capture > options.captureCount)
                        return fault(
                            i, WithArgs(UiText("AnswerTemplate", "匹配内容没有第 %1 个捕获组"),
                                        {std::u16string(1, name[0])}));
                    kind = Kind::Capture;
                }
                if (!kind)
                    return fault(i, WithArgs(UiText("AnswerTemplate", "未知字段“%1”"),
                                             {source.substr(i, length)}));
                parts.push_back({*kind, {}, {}, capture});
                parsed.hasFields_ = true;
                i += length;
                continue;
            }
            if (hex)
                return fault(i, UiText("AnswerTemplate", "“{”后应是字段名和“}”"));
        }
        if (hex) {
            if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u',') {
                ++i;
                continue;
            }
            if (c == u'0' && i + 1 < source.size() &&
                (source[i + 1] == u'x' || source[i + 1] == u'X'))
                i += 2;
            const int high = i < source.size() ? HexDigitValue(source[i]) : -1;
            if (high < 0)
                return fault(i, UiText("AnswerTemplate", "不是十六进制数字"));
            const int low = i + 1 < source.size() ? HexDigitValue(source[i + 1]) : -1;
            if (low < 0)
                return fault(i + 1, UiText("AnswerTemplate", "缺少一个十六进制数字"));
            literal().bytes.push_back(static_cast<char>(high << 4 | low));
            i += 2;
            continue;
        }
        if (options.escapes && c == u'\\' && i + 1 < source.size()) {
            const char16_t next = source[i + 1];
            const char16_t meant = next == u'r'    ? u'\r'
                                   : next == u'n'  ? u'\n'
                                   : next == u't'  ? u'\t'
                                   : next == u'\\' ? u'\\'
                                                   : 0;
            if (meant) {
                literal().text.push_back(meant);
                i += 2;
                continue;
            }
        }
        if (options.lineBreaksAsCrLf && c == u'\n' && (i == 0 || source[i - 1] != u'\r'))
            literal().text.push_back(u'\r');
        literal().text.push_back(c);
        ++i;
    }
    return parsed;
}

std::string AnswerTemplate::Expand(const AnswerContext& context) const {
    std::string out;
    const bool hex = form_ == AnswerForm::Hex;
    // A checksum's bytes, as bytes in hex and as hex digits in text.
    const auto checksum = [&out, hex](std::string_view bytes) {
        if (hex)
            out.append(bytes);
        else
            AppendHexDigits(out, bytes);
    };
    for (const Part& part : parts_) {
        switch (part.kind) {
            case Kind::Bytes:
                out += part.bytes;
                break;
            case Kind::Text:
                out += WideToAnsi(part.text);
                break;
            case Kind::Number:
                out += std::to_string(context.number);
                break;
            case Kind::Time:
                out.append(context.time);
                break;
            case Kind::Capture:
                if (context.captures &&
                    static_cast<std::size_t>(part.capture) <= context.captures->size())
                    out += (*context.captures)[static_cast<std::size_t>(part.capture - 1)];
                break;
            case Kind::Crc16:
            case Kind::Crc16Be: {
                const std::uint16_t crc = Crc16Modbus(out);
                const char low = static_cast<char>(crc & 0xFF), high = static_cast<char>(crc >> 8);
                const char bytes[2] = {part.kind == Kind::Crc16 ? low : high,
                                       part.kind == Kind::Crc16 ? high : low};
                checksum(std::string_view(bytes, 2));
                break;
            }
            case Kind::Crc32: {
                const std::uint32_t crc = Crc32(out);
                const char bytes[4] = {static_cast<char>(crc >> 24), static_cast<char>(crc >> 16),
                                       static_cast<char>(crc >> 8), static_cast<char>(crc)};
                checksum(std::string_view(bytes, 4));
                break;
            }
            case Kind::Sum8:
            case Kind::Xor8:
            case Kind::Lrc: {
                const char byte = static_cast<char>(part.kind == Kind::Sum8   ? Sum8(out)
                                                    : part.kind == Kind::Xor8 ? Xor8(out)
                                                                              : Lrc8(out));
                checksum(std::string_view(&byte, 1));
                break;
            }
        }
    }
    return out;
}
