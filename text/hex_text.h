// Bytes shown and typed as hexadecimal: the views' hex mode and the send box's hex mode.
// Free of Qt; any thread.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

// Bytes per row of a hex line.
inline constexpr std::size_t kHexBytesPerRow = 16;
// Width of a log line's time stamp ("YYYY-MM-DD HH:MM:SS  "): rows after a line's first are
// indented by it, so that every row of bytes starts in the same column.
inline constexpr std::size_t kHexStampWidth = 21;

// The value of one hex digit (either case), or -1 for any other character.
int HexDigitValue(char16_t c);
// Appends `bytes` as two-digit upper-case hex with nothing between them ("E409").
void AppendHexDigits(std::string& out, std::string_view bytes);

// Appends `bytes` as two-digit upper-case hex separated by blanks, 16 to a row; rows are
// separated by "\n" followed by `indent` blanks. Nothing ends the last row; no bytes append
// nothing.
void AppendHexRows(std::string& out, std::string_view bytes, std::size_t indent = kHexStampWidth);
void AppendHexRows(std::u16string& out, std::string_view bytes,
                   std::size_t indent = kHexStampWidth);
std::string FormatHexRows(std::string_view bytes, std::size_t indent = kHexStampWidth);

// Where typed hex went wrong: the 1-based position of the first character that is not what
// a pair of hex digits needed.
struct HexParseError {
    std::size_t position;
    // The text ended after a pair's first digit (`position` is then one past the end).
    bool lastDigitAlone = false;
};

// Reads typed text as hex: pairs of digits (either case), each pair optionally preceded by
// "0x" or "0X"; blanks, tabs, line breaks and commas between pairs are ignored. A digit
// whose pair is cut by such a character, or by the end of the text, is an error at that
// character (at the end: one past the last character).
std::variant<std::string, HexParseError> ParseHexText(std::u16string_view text);

// "第 N 个字符不是十六进制数字" for the error's position, or "最后一个十六进制数字不成对" when the
// last digit has no pair; the message the send refusal shows.
std::u16string HexErrorMessage(const HexParseError& error);
