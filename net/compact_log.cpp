#include "net/compact_log.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>

#include "net/connect_info.h"
#include "text/code_page.h"
#include "text/ui_text.h"

std::u16string CompactLog::ReceivedStoppedText() {
    return UiText("CompactLog", "（内存不足：已停止接收此连接的数据，之前收到的信息全部保留）");
}

std::u16string CompactLog::SentStoppedText() {
    return UiText("CompactLog", "（内存不足：此后发送的信息不再记录，之前的记录全部保留）");
}

std::u16string CompactLog::InMemoryNoteText() {
    return UiText("CompactLog", "（无法在缓存目录或临时目录建立日志文件：此记录保存在内存中）");
}

std::u16string CompactLog::StoppedText(Role role, StopReason reason) {
    const bool received = role == kReceivedLog;
    switch (reason) {
        case kDiskFull:
            return received
                       ? UiText("CompactLog",
                                "（磁盘空间不足：已停止接收此连接的数据，之前收到的信息全部保留）")
                       : UiText("CompactLog",
                                "（磁盘空间不足：此后发送的信息不再记录，之前的记录全部保留）");
        case kWriteError:
            return received
                       ? UiText(
                             "CompactLog",
                             "（写入日志文件出错：已停止接收此连接的数据，之前收到的信息全部保留）")
                       : UiText("CompactLog",
                                "（写入日志文件出错：此后发送的信息不再记录，之前的记录全部保留）");
        case kOutOfMemory:
            break;
    }
    return received ? ReceivedStoppedText() : SentStoppedText();
}

namespace {

constexpr char16_t kReplacementCharacter = u'\uFFFD';

std::int64_t Micros(CompactLog::Clock::time_point when) {
    const auto micros =
        std::chrono::duration_cast<std::chrono::microseconds>(when.time_since_epoch()).count();
    return std::max<std::int64_t>(0, micros);
}

void AppendStamp(CompactLog::Clock::time_point when, bool milliseconds, std::u16string& out) {
    for (char c : CompactLog::Stamp(when, milliseconds))
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
}

}  // namespace

std::string CompactLog::Stamp(Clock::time_point when, bool milliseconds) {
    std::string stamp = FormatTimeStamp(when);  // "YYYY-MM-DD hh:mm:ss  "
    if (milliseconds) {
        const auto millis =
            std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count() %
            1000;
        char fraction[8];
        std::snprintf(fraction, sizeof(fraction), ".%03d", static_cast<int>(millis));
        stamp.insert(19, fraction);
    }
    return stamp;
}

std::uint32_t CompactLog::StampOf(Clock::time_point when) {
    const std::int64_t micros = Micros(when);
    if (timeBases_.empty() || micros < timeBases_.back().micros ||
        micros - timeBases_.back().micros > std::int64_t{UINT32_MAX})
        timeBases_.push_back(TimeBase{lines_.size(), micros});
    return static_cast<std::uint32_t>(micros - timeBases_.back().micros);
}

CompactLog::Clock::time_point CompactLog::LineTime(std::size_t line) const {
    if (line >= lines_.size())
        return stoppedAt_;
    // The last base that begins at or before the line.
    const auto base = std::upper_bound(
        timeBases_.begin(), timeBases_.end(), line,
        [](std::size_t wanted, const TimeBase& base) { return wanted < base.firstLine; });
    const std::int64_t micros =
        (base == timeBases_.begin() ? 0 : std::prev(base)->micros) + lines_[line].micro;
    return Clock::time_point(std::chrono::microseconds(micros));
}

// ---- appending -----------------------------------------------------------------------------

std::uint16_t CompactLog::CodePageIndex() {
    std::string name = GetAnsiCodePage();
    if (!codePages_.empty() && codePages_.back() == name)
        return static_cast<std::uint16_t>(codePages_.size() - 1);
    for (std::size_t i = 0; i < codePages_.size(); ++i) {
        if (codePages_[i] == name)
            return static_cast<std::uint16_t>(i);
    }
    codePages_.push_back(std::move(name));
    return static_cast<std::uint16_t>(codePages_.size() - 1);
}

void CompactLog::Stop(StopReason reason, Clock::time_point when) {
    stopped_ = true;
    stopReason_ = reason;
    stoppedAt_ = when;
}

bool CompactLog::Add(std::string_view bytes, Kind kind, Clock::time_point when,
                     std::uint8_t carry) {
    if (stopped_)
        return false;
    try {
        // The index first: what the store adds is then never left without its line.
        lines_.reserve_one();
        const std::uint16_t codePage = CodePageIndex();
        // The note holds no bytes, so a character cut off before it still reads whole.
        if (timeBases_.size() + 1 >= timeBases_.capacity())
            timeBases_.reserve(timeBases_.size() * 2 + 4);
        if (store_.WantsFile(bytes.size()) && !store_.MoveToFile()) {
            lines_.push_back(Line{store_.Size(), StampOf(when), codePage, kInMemoryNote, 0});
            lines_.reserve_one();
        }
        store_.Append(bytes);  // whole or not at all
        lines_.push_back(Line{store_.Size(), StampOf(when), codePage, kind, carry});
        return true;
    } catch (const std::bad_alloc&) {
        Stop(kOutOfMemory, when);
    } catch (const LogStore::WriteFailed& failure) {
        Stop(failure.error == ENOSPC || failure.error == EDQUOT ? kDiskFull : kWriteError, when);
    }
    return false;
}

char* CompactLog::ReceiveSpace(std::size_t size) {
    if (stopped_)
        return nullptr;
    try {
        return store_.ReceiveSpace(size);
    } catch (const std::bad_alloc&) {
        return nullptr;  // the next append finds out whether memory is really gone
    } catch (const LogStore::WriteFailed& failure) {
        Stop(failure.error == ENOSPC || failure.error == EDQUOT ? kDiskFull : kWriteError,
             Clock::now());
    }
    return nullptr;
}

bool CompactLog::FinishWrite(std::shared_ptr<LogStore::PendingWrite> write,
                             Clock::time_point when) {
    const int error = store_.FinishWrite(std::move(write));
    if (error == 0)
        return true;
    if (!stopped_)
        Stop(error == ENOSPC || error == EDQUOT ? kDiskFull : kWriteError, when);
    return false;
}

bool CompactLog::AppendReceived(std::string_view bytes, Clock::time_point when) {
    return Add(bytes, kDatagram, when, 0);
}

bool CompactLog::AppendStream(std::int64_t stream, std::string_view bytes, Clock::time_point when) {
    if (stopped_)
        return false;
    // What a former stream left cut off is not part of this one.
    const std::size_t carried = stream == stream_ ? streamCut_ : 0;
    // Where the last whole character ends, in the code page in force, the carried bytes
    // read before the chunk.
    std::size_t cut = 0;
    try {
        if (carried > 0) {
            std::string joined;
            CopyOut(store_.Size() - carried, store_.Size(), joined);
            joined.append(bytes);
            cut = IncompleteEndLength(joined);
        } else {
            cut = IncompleteEndLength(bytes);
        }
        // No code page cuts a character this long: not a character; the line reads it as
        // U+FFFD itself.
        if (cut > kMaxCut)
            cut = 0;
    } catch (const std::bad_alloc&) {
        Stop(kOutOfMemory, when);
        return false;
    }
    if (!Add(bytes, kStream, when, static_cast<std::uint8_t>(carried << 4 | cut)))
        return false;
    stream_ = stream;
    streamCut_ = static_cast<std::uint8_t>(cut);
    return true;
}

bool CompactLog::FinishStream(std::int64_t stream, Clock::time_point when) {
    if (stream != stream_ || streamCut_ == 0)
        return false;
    streamCut_ = 0;
    return Add({}, kStreamEnd, when, 0);
}

bool CompactLog::AppendSent(std::string_view bytes, Clock::time_point when) {
    return Add(bytes, kSent, when, 0);
}

bool CompactLog::AppendNote(std::u16string_view text, Clock::time_point when) {
    return Add(std::string_view(reinterpret_cast<const char*>(text.data()),
                                text.size() * sizeof(char16_t)),
               kNote, when, 0);
}

void CompactLog::StopForLackOfMemory(Clock::time_point when) {
    if (stopped_)
        return;
    stopped_ = true;
    stoppedAt_ = when;
}

void CompactLog::Clear() {
    // A character cut off at the end may still be completed by the next chunk: its start
    // stays in the store, before the first line.
    std::string kept;
    if (streamCut_ > 0)
        CopyOut(store_.Size() - streamCut_, store_.Size(), kept);
    store_.Clear();
    lines_.clear();
    timeBases_.clear();
    try {
        store_.Append(kept);
    } catch (...) {
        store_.Clear();
        streamCut_ = 0;
    }
    start_ = store_.Size();
    ++generation_;
}

// ---- reading -------------------------------------------------------------------------------

std::uint64_t CompactLog::LineBegin(std::size_t line) const {
    return line == 0 ? start_ : lines_[line - 1].end;
}

bool CompactLog::AppendLineBytes(std::size_t line, std::string& out) const {
    if (line >= lines_.size())
        return false;
    const Kind kind = lines_[line].kind;
    if (kind != kDatagram && kind != kStream && kind != kSent)
        return false;
    CopyOut(LineBegin(line), lines_[line].end, out);
    return true;
}

std::uint64_t CompactLog::BytesBefore(std::size_t line) const {
    return LineBegin(std::min(line, lines_.size())) - start_;
}

void CompactLog::AppendLineText(std::size_t index, const std::string& currentCodePage,
                                bool milliseconds, std::u16string& out) const {
    if (index == lines_.size()) {
        AppendStamp(stoppedAt_, milliseconds, out);
        out.append(StoppedText(role_, stopReason_));
        out.push_back(u'\n');
        return;
    }
    const Line& line = lines_[index];
    AppendStamp(LineTime(index), milliseconds, out);
    std::string bytes;
    CopyTextBytes(index, bytes);
    const std::string& codePage = codePages_[line.codePage];
    switch (line.kind) {
        case kStreamEnd:
            out.push_back(kReplacementCharacter);
            break;
        case kInMemoryNote:
            out.append(InMemoryNoteText());
            break;
        case kNote:
            for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
                char16_t unit;
                std::memcpy(&unit, bytes.data() + i, sizeof(unit));
                out.push_back(unit);
            }
            break;
        case kSent:
            // NUL stays NUL as the code page's own conversion keeps it; lines logged before
            // the code page was switched are read as received text (NUL as U+2400).
            if (codePage == currentCodePage)
                AppendAnsi(out, bytes);
            else
                AppendReceivedTextIn(codePage, out, bytes);
            break;
        case kDatagram:
        case kStream:
            AppendReceivedTextIn(codePage, out, bytes);
            break;
    }
    out.push_back(u'\n');
}

bool CompactLog::AppendPlainLineUtf8(std::size_t index, bool milliseconds, std::string& out) const {
    if (index >= lines_.size())
        return false;
    const Line& line = lines_[index];
    if ((line.kind != kStream && line.kind != kDatagram) || !KeepsAscii(codePages_[line.codePage]))
        return false;
    // Read straight after the stamp, and taken back when they are not plain.
    const std::size_t at = out.size();
    out += Stamp(LineTime(index), milliseconds);
    const std::size_t textAt = out.size();
    CopyTextBytes(index, out);
    const std::string_view text(out.data() + textAt, out.size() - textAt);
    if (!AllAsciiBytes(text)) {
        out.resize(at);
        return false;
    }
    if (text.find('\0') != std::string_view::npos) {
        const std::string bytes(text);
        out.resize(textAt);
        for (const char c : bytes) {
            if (c == '\0')
                out += "\xE2\x90\x80";  // U+2400, as a NUL reads in the views
            else
                out += c;
        }
    }
    out += '\n';
    return true;
}

CompactLog::LineContent CompactLog::LineBytes(std::size_t index, std::string& out,
                                              Clock::time_point& when) const {
    if (index >= lines_.size())
        return LineContent::kText;
    const Line& line = lines_[index];
    switch (line.kind) {
        case kDatagram:
        case kStream:
        case kSent:
            CopyOut(LineBegin(index), line.end, out);
            when = LineTime(index);
            return LineContent::kBytes;
        case kStreamEnd:
            return LineContent::kCutEnd;
        case kNote:
        case kInMemoryNote:
            break;
    }
    return LineContent::kText;
}

std::u16string CompactLog::Text(std::size_t first, std::size_t count, bool milliseconds) const {
    std::u16string out;
    const std::size_t end = std::min(LineCount(), first + std::min(count, LineCount()));
    if (first >= end)
        return out;
    out.reserve(static_cast<std::size_t>(BytesBefore(end) - BytesBefore(first)) +
                (end - first) * 22);
    const std::string current = GetAnsiCodePage();
    for (std::size_t line = first; line < end; ++line)
        AppendLineText(line, current, milliseconds, out);
    return out;
}

std::uint64_t CompactLog::Measure(std::size_t first, std::size_t end) const {
    end = std::min(end, LineCount());
    if (first >= end)
        return 0;
    constexpr std::uint64_t kStampAndFeed = 22;
    return BytesBefore(end) - BytesBefore(first) + kStampAndFeed * (end - first);
}

std::size_t CompactLog::TailStart(std::uint64_t size) const {
    const std::size_t count = LineCount();
    // The tail from line i measures less the larger i is: find the last i whose tail still
    // measures `size`.
    std::size_t low = 0, high = count;  // Measure(low, count) >= size unless low == 0
    while (high - low > 1) {
        const std::size_t middle = low + (high - low) / 2;
        if (Measure(middle, count) >= size)
            low = middle;
        else
            high = middle;
    }
    return low;
}

LogSnapshot CompactLog::Snapshot() const {
    LogSnapshot snapshot;
    snapshot.lines = LineCount();
    snapshot.generation = generation_;
    std::size_t count = 0;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Kind kind = lines_[i].kind;
        count += kind == kDatagram || kind == kStream || kind == kSent;
    }
    snapshot.pieces.reserve(count);
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Kind kind = lines_[i].kind;
        if (kind != kDatagram && kind != kStream && kind != kSent)
            continue;
        const std::int64_t micros =
            std::chrono::duration_cast<std::chrono::microseconds>(LineTime(i).time_since_epoch())
                .count();
        snapshot.pieces.push_back({LineBegin(i), lines_[i].end, micros, i});
    }
    snapshot.bytes = store_.Reader();
    return snapshot;
}
