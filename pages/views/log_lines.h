// How a log's lines read in a view and in a saved file: as text in the line's code page, or
// as the line's stamp followed by its bytes in hex (16 to a row, later rows indented under
// the first). Hex reads the bytes as they came or went, whatever the code page; the
// program's own lines (notes, the stop line) read as text in both forms.
//
// `milliseconds`: the stamps read "YYYY-MM-DD hh:mm:ss.mmm  " (else "...hh:mm:ss  ").
//
// Pure functions of a log; the caller serialises access as the log asks (received logs
// under g_connectLock). Any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CompactLog;

enum class LogForm : std::uint8_t { Text, Hex };

// The form of lines [first, first + count) (cut to the lines there are).
std::u16string LogLinesText(const CompactLog& log, std::size_t first, std::size_t count,
                            LogForm form, bool milliseconds = false);
// About how many characters lines [first, end) take in `form`.
std::uint64_t MeasureLogLines(const CompactLog& log, std::size_t first, std::size_t end,
                              LogForm form);
// The first line of the shortest tail that measures at least `size` in `form` (0 when the
// whole log measures less).
std::size_t LogTailStart(const CompactLog& log, std::uint64_t size, LogForm form);
