// Conversion between the user interface's wide text (UTF-16) and the bytes on the wire,
// in the program's ANSI code page. Both directions always use the same code page.
// Free of Qt; the pages convert to QString at their edge (QString::fromStdU16String).
#pragma once

#include <string>
#include <string_view>

// Wide text to bytes in the ANSI code page. Characters the code page cannot hold become
// "?". Never truncates.
std::string WideToAnsi(std::u16string_view wide);
// Bytes in the ANSI code page to wide text. Invalid sequences become U+FFFD and the
// conversion goes on to the end.
std::u16string AnsiToWide(std::string_view bytes);
// Appends the conversion of `bytes` to `out` (the framework string's narrow append).
void AppendAnsi(std::u16string& out, std::string_view bytes);

// The code page in use: the locale's character set at start (the C/POSIX locale counts
// as UTF-8). Thread-safe: workers may convert while the user-interface thread switches.
std::string GetAnsiCodePage();
// Switches the code page (an iconv name such as "GBK" or "UTF-8"); false if unknown.
bool SetAnsiCodePage(const std::string& name);
