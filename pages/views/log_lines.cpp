#include "pages/views/log_lines.h"

#include <algorithm>

#include "net/compact_log.h"
#include "text/hex_text.h"

namespace {

// Characters a hex line takes per byte, in eighths: "XX " is 3, and every row of 16 bytes
// adds a break and the indent under the stamp (22 / 16 = 11 / 8 more).
constexpr std::uint64_t kHexEighthsPerByte = 3 * 8 + 11;
constexpr std::uint64_t kStampAndFeed = kHexStampWidth + 1;

void AppendHexLine(const CompactLog& log, std::size_t line, bool milliseconds,
                   std::u16string& out) {
    std::string bytes;
    CompactLog::Clock::time_point when;
    switch (log.LineBytes(line, bytes, when)) {
        case CompactLog::LineContent::kBytes:
            break;
        case CompactLog::LineContent::kText:
            out.append(log.Text(line, 1, milliseconds));
            return;
        case CompactLog::LineContent::kCutEnd:
            return;  // its bytes are shown on the line before
    }
    const std::string stamp = CompactLog::Stamp(when, milliseconds);
    for (char c : stamp) out.push_back(static_cast<unsigned char>(c));
    AppendHexRows(out, bytes, stamp.size());
    out.push_back(u'\n');
}

}  // namespace

std::u16string LogLinesText(const CompactLog& log, std::size_t first, std::size_t count,
                            LogForm form, bool milliseconds) {
    if (form == LogForm::Text)
        return log.Text(first, count, milliseconds);
    std::u16string out;
    const std::size_t end = std::min(log.LineCount(), first + std::min(count, log.LineCount()));
    if (first >= end)
        return out;
    out.reserve(static_cast<std::size_t>(MeasureLogLines(log, first, end, form)));
    for (std::size_t line = first; line < end; ++line) AppendHexLine(log, line, milliseconds, out);
    return out;
}

std::uint64_t MeasureLogLines(const CompactLog& log, std::size_t first, std::size_t end,
                              LogForm form) {
    if (form == LogForm::Text)
        return log.Measure(first, end);
    end = std::min(end, log.LineCount());
    if (first >= end)
        return 0;
    const std::uint64_t bytes = log.BytesBefore(end) - log.BytesBefore(first);
    return bytes * kHexEighthsPerByte / 8 + kStampAndFeed * (end - first);
}

std::size_t LogTailStart(const CompactLog& log, std::uint64_t size, LogForm form) {
    if (form == LogForm::Text)
        return log.TailStart(size);
    // The tail from line i measures less the larger i is: the last i whose tail still
    // measures `size`.
    const std::size_t count = log.LineCount();
    std::size_t low = 0, high = count;
    while (high - low > 1) {
        const std::size_t middle = low + (high - low) / 2;
        if (MeasureLogLines(log, middle, count, form) >= size)
            low = middle;
        else
            high = middle;
    }
    return low;
}
