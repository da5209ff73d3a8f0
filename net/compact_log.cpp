#include "net/compact_log.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "net/connect_info.h"
#include "text/code_page.h"

const std::u16string_view CompactLog::kReceivedStoppedText =
    u"（内存不足：已停止接收此连接的数据，之前收到的信息全部保留）";
const std::u16string_view CompactLog::kSentStoppedText =
    u"（内存不足：此后发送的信息不再记录，之前的记录全部保留）";

namespace {

constexpr char16_t kReplacementCharacter = u'\uFFFD';

std::uint32_t Seconds(CompactLog::Clock::time_point when) {
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(when.time_since_epoch()).count();
    return static_cast<std::uint32_t>(std::max<long long>(0, seconds));
}

void AppendStamp(std::uint32_t second, std::u16string& out) {
    const std::string stamp =
        FormatTimeStamp(CompactLog::Clock::time_point(std::chrono::seconds(second)));
    for (char c : stamp) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
}

}  // namespace

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

void CompactLog::FreeBlock::operator()(char* block) const {
    if (mapped)
        munmap(block, kBlockSize);
    else
        delete[] block;
}

CompactLog::Block CompactLog::NewBlock(std::size_t index) {
    if (index == 0)
        return Block(new char[kFirstBlockSize], FreeBlock{false});
    // Twice the size, then the parts before and after an aligned block given back.
    const std::size_t mapped = 2 * kBlockSize;
    void* area = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (area == MAP_FAILED)
        throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(area);
    const std::uintptr_t aligned = (start + kBlockSize - 1) & ~(std::uintptr_t{kBlockSize} - 1);
    if (aligned > start)
        munmap(area, aligned - start);
    if (aligned + kBlockSize < start + mapped)
        munmap(reinterpret_cast<void*>(aligned + kBlockSize),
               start + mapped - aligned - kBlockSize);
    char* block = reinterpret_cast<char*>(aligned);
    if (index >= kHugeFrom)
        madvise(block, kBlockSize, MADV_HUGEPAGE);  // only a hint: fine if refused
    return Block(block, FreeBlock{true});
}

CompactLog::Place CompactLog::Locate(std::uint64_t offset) {
    if (offset < kFirstBlockSize) {
        const auto at = static_cast<std::size_t>(offset);
        return {0, at, kFirstBlockSize - at};
    }
    const std::uint64_t rest = offset - kFirstBlockSize;
    const auto at = static_cast<std::size_t>(rest % kBlockSize);
    return {1 + static_cast<std::size_t>(rest / kBlockSize), at, kBlockSize - at};
}

void CompactLog::Store(std::string_view bytes) {
    if (size_ + bytes.size() > failBeyond_)
        throw std::bad_alloc();
    while (!bytes.empty()) {
        const Place place = Locate(size_);
        if (place.block == blocks_.size()) {
            blocks_.reserve(blocks_.size() + 1);
            blocks_.push_back(NewBlock(place.block));
        }
        const std::size_t take = std::min(bytes.size(), place.room);
        std::memcpy(blocks_[place.block].get() + place.at, bytes.data(), take);
        size_ += take;
        bytes.remove_prefix(take);
    }
}

bool CompactLog::Add(std::string_view bytes, Kind kind, Clock::time_point when,
                     std::uint8_t carry) {
    if (stopped_)
        return false;
    const std::uint64_t sizeBefore = size_;
    const std::size_t blocksBefore = blocks_.size();
    try {
        // The index first: what Store adds is then never left without its line.
        if (lines_.size() == lines_.capacity())
            lines_.reserve(lines_.size() + lines_.size() / 2 + 16);
        const std::uint16_t codePage = CodePageIndex();
        Store(bytes);
        lines_.push_back(Line{size_, Seconds(when), codePage, kind, carry});
        return true;
    } catch (const std::bad_alloc&) {
        // Keep everything logged before; drop what this line began to store.
        size_ = sizeBefore;
        blocks_.resize(blocksBefore);
        stopped_ = true;
        stoppedSecond_ = Seconds(when);
        return false;
    }
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
            CopyOut(size_ - carried, size_, joined);
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
        stopped_ = true;
        stoppedSecond_ = Seconds(when);
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
    stoppedSecond_ = Seconds(when);
}

void CompactLog::Clear() {
    // A character cut off at the end may still be completed by the next chunk: its start
    // stays in the store, before the first line.
    std::string kept;
    if (streamCut_ > 0)
        CopyOut(size_ - streamCut_, size_, kept);
    blocks_.clear();
    blocks_.shrink_to_fit();
    lines_.clear();
    lines_.shrink_to_fit();
    size_ = 0;
    try {
        Store(kept);
    } catch (const std::bad_alloc&) {
        size_ = 0;
        streamCut_ = 0;
    }
    start_ = size_;
    ++generation_;
}

// ---- reading -------------------------------------------------------------------------------

std::uint64_t CompactLog::LineBegin(std::size_t line) const {
    return line == 0 ? start_ : lines_[line - 1].end;
}

std::uint64_t CompactLog::BytesBefore(std::size_t line) const {
    return LineBegin(std::min(line, lines_.size())) - start_;
}

void CompactLog::CopyOut(std::uint64_t from, std::uint64_t to, std::string& out) const {
    while (from < to) {
        const Place place = Locate(from);
        const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(to - from, place.room));
        out.append(blocks_[place.block].get() + place.at, take);
        from += take;
    }
}

void CompactLog::AppendLineText(std::size_t index, const std::string& currentCodePage,
                                std::u16string& out) const {
    if (index == lines_.size()) {
        AppendStamp(stoppedSecond_, out);
        out.append(role_ == kReceivedLog ? kReceivedStoppedText : kSentStoppedText);
        out.push_back(u'\n');
        return;
    }
    const Line& line = lines_[index];
    AppendStamp(line.second, out);
    std::string bytes;
    const std::uint64_t carried = line.carry >> 4;
    const std::uint64_t cut = line.carry & 0x0F;
    CopyOut(LineBegin(index) - carried, line.end - cut, bytes);
    const std::string& codePage = codePages_[line.codePage];
    switch (line.kind) {
        case kStreamEnd:
            out.push_back(kReplacementCharacter);
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

std::u16string CompactLog::Text(std::size_t first, std::size_t count) const {
    std::u16string out;
    const std::size_t end = std::min(LineCount(), first + std::min(count, LineCount()));
    if (first >= end)
        return out;
    out.reserve(static_cast<std::size_t>(BytesBefore(end) - BytesBefore(first)) +
                (end - first) * 22);
    const std::string current = GetAnsiCodePage();
    for (std::size_t line = first; line < end; ++line) AppendLineText(line, current, out);
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
