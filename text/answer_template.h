// An answer with fields: the bytes a reply rule answers with, or the send box's text when
// fields are expanded. Written as text (sent in the code page in force) or as hex digits,
// with fields in braces:
//   {n}        the answer's number (1 for a rule's first answer), in decimal digits
//   {time}     the moment, "YYYY-MM-DD hh:mm:ss"
//   {1}..{9}   a capture of the request: a regular expression's group, or a hex
//              pattern's run of "??" bytes, as the request had it
//   {crc16}    CRC-16/MODBUS of every byte before the field, low byte first
//   {crc16be}  the same, high byte first
//   {crc32}    CRC-32 of every byte before the field, high byte first
//   {sum8} {xor8} {lrc}   one byte each (text/checksums.h)
// In hex, checksums go in as bytes; in text as two upper-case hex digits a byte, as text
// protocols carry them. In text a "{" that does not start a name in braces is itself, so
// "{"a":1}" answers as typed; an unknown name in braces is refused.
//
// Free of Qt; a parsed template is read-only and can be expanded from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

enum class AnswerForm : std::uint8_t { Text, Hex };

// Where and why a pattern or an answer cannot be used: the 1-based position of the first
// character at fault, and a short reason.
struct TextFault {
    std::size_t position = 0;
    std::u16string why;
};
// "第 N 个字符：<why>".
std::u16string TextFaultMessage(const TextFault& fault);

struct AnswerParseOptions {
    AnswerForm form = AnswerForm::Text;
    // Groups the request's pattern has: {k} beyond them is refused.
    int captureCount = 0;
    // Text: "\r", "\n", "\t" and "\\" stand for CR, LF, tab and one backslash (a rule's
    // answer is typed on one line).
    bool escapes = false;
    // Text: each line break goes out as CR LF (the send box's rule).
    bool lineBreaksAsCrLf = false;
};

// What a field's expansion needs from the moment it answers.
struct AnswerContext {
    std::uint64_t number = 1;
    std::string_view time;                               // "YYYY-MM-DD hh:mm:ss"
    const std::vector<std::string>* captures = nullptr;  // {1} is captures[0]
};

class AnswerTemplate {
public:
    static std::variant<AnswerTemplate, TextFault> Parse(std::u16string_view source,
                                                         const AnswerParseOptions& options);
    bool Empty() const { return parts_.empty(); }
    bool HasFields() const { return hasFields_; }
    // The answer's bytes; text converted to the code page in force.
    std::string Expand(const AnswerContext& context) const;

private:
    enum class Kind : std::uint8_t {
        Bytes,
        Text,
        Number,
        Time,
        Capture,
        Crc16,
        Crc16Be,
        Crc32,
        Sum8,
        Xor8,
        Lrc
    };
    struct Part {
        Kind kind;
        std::string bytes;    // Bytes
        std::u16string text;  // Text
        int capture = 0;      // Capture: 1..9
    };

    std::vector<Part> parts_;
    AnswerForm form_ = AnswerForm::Text;
    bool hasFields_ = false;
};
