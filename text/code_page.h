// Conversion between the user interface's wide text (UTF-16) and the bytes on the wire, in
// the code page in force: the locale's character set until the user chooses another. Both
// directions always use the same code page. Text that never goes on the wire (addresses,
// time stamps, labels) has its own conversion in the locale's character set, which no
// choice changes. Free of Qt; the pages convert to QString at their edge.
//
// Every function here is thread-safe: workers convert while the user-interface thread
// switches the code page; each conversion uses one code page or the other, never a mix.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Wide text to bytes in the code page in force. A character the code page cannot hold (or
// a lone surrogate) becomes "?" in that code page. Never truncates, also at NUL units.
std::string WideToAnsi(std::u16string_view wide);
// Bytes in the code page in force to wide text. Invalid sequences become U+FFFD and the
// conversion goes on to the end; NUL stays NUL.
std::u16string AnsiToWide(std::string_view bytes);
// Appends the conversion of `bytes` to `out` (the framework string's narrow append).
void AppendAnsi(std::u16string& out, std::string_view bytes);

// Received bytes read as text in the code page in force and appended to `out`: invalid
// sequences become U+FFFD and every NUL code unit shows as U+2400, so that what follows it
// stays visible. With `keepIncompleteEnd`, a sequence cut off at the end is left for the
// caller to complete (text/stream_decoder.h); otherwise it shows as one U+FFFD. Returns
// the number of bytes converted.
std::size_t AppendReceivedText(std::u16string& out, std::string_view bytes,
                               bool keepIncompleteEnd = false);

// The same in the code page `name` (an iconv name, such as the one in force when the bytes
// were logged) instead of the one in force; an unknown name reads in the one in force.
std::size_t AppendReceivedTextIn(const std::string& name, std::u16string& out,
                                 std::string_view bytes, bool keepIncompleteEnd = false);

// True when every byte is below 0x80.
bool AllAsciiBytes(std::string_view bytes);

// True when code page `name` (looked up as AppendReceivedTextIn looks it up) reads the bytes
// 0x00-0x7F as the same code points: plain ASCII received in it reads as itself.
bool KeepsAscii(const std::string& name);

// How many bytes at the end of `bytes` begin a character that they do not complete, read in
// the code page in force: what AppendReceivedText with `keepIncompleteEnd` would leave
// unconverted, found without converting (in UTF-8 and UTF-16 only the end is read, plain
// text is seen word by word). For a stream reader that keeps the bytes as they came.
std::size_t IncompleteEndLength(std::string_view bytes);

// The code page in force (an iconv name).
std::string GetAnsiCodePage();
// Switches the code page in force (an iconv name such as "GBK", "UTF-8" or "UTF-16LE");
// false, and nothing changes, if the system cannot convert it.
bool SetAnsiCodePage(const std::string& name);

// The locale's character set as the program found it first (the C/POSIX locale counts as
// UTF-8): the code page in force until another is chosen.
std::string LocaleCodePage();
// Conversions in LocaleCodePage() for local text: host addresses, time stamps, labels.
std::string WideToLocaleText(std::u16string_view wide);
std::u16string LocaleTextToWide(std::string_view bytes);
void AppendLocaleText(std::u16string& out, std::string_view bytes);
