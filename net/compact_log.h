// CompactLog: a record's received or sent log, kept as the bytes as they came plus one small
// index entry per line (time stamp, length, code page in force), and turned into text only
// when a stretch of it is shown or saved. It holds about one byte per byte logged, where a
// wide-text copy held two and more.
//
// Every line reads as "stamp text\n". A line keeps the code page that was in force when it
// was logged, so switching the code page later does not change how earlier lines read. A
// TCP stream's character cut at the end of one chunk reads whole with the next chunk's line;
// an end that is never completed reads as one U+FFFD on a line of its own. In received lines
// every NUL shows as U+2400.
//
// The bytes live in a LogStore: a long log in an unnamed temporary file, so that memory
// holds only the index (16 bytes a line) and the store's buffers. Each line keeps its moment
// to the microsecond: 32 bits after a time base the log keeps once per 71 minutes (or
// whenever the clock goes back), so the index stays 16 bytes a line. Where no file can be made,
// the log stays in memory and says so once, in a line of its own.
//
// When memory runs out, the disk is full or the file cannot be written, the log keeps what
// it has, refuses everything after that and shows, as its last line, that it stopped and
// why; no exception leaves it.
//
// Not thread-safe: the record's owner serialises use (received logs under g_connectLock,
// sent logs on the user-interface thread). Free of Qt.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/chunked_vector.h"
#include "net/log_store.h"

// A log's lines of bytes (a peer's pieces and the messages sent) as they were when taken:
// each line's place in the bytes and its moment, and a reader of the bytes. Any one thread.
struct LogSnapshot {
    struct Piece {
        std::uint64_t begin;  // the piece's bytes in `bytes`: [begin, end)
        std::uint64_t end;
        std::int64_t micros;  // when it was logged, microseconds since the epoch
        std::size_t line;     // its line in the log
    };
    std::vector<Piece> pieces;  // in the log's order
    std::size_t lines = 0;      // the log's lines when taken
    std::uint64_t generation = 0;
    LogStoreReader bytes;
};

class CompactLog {
public:
    using Clock = std::chrono::system_clock;

    // What the log holds; it words its stop line by it.
    enum Role : std::uint8_t { kReceivedLog, kSentLog };
    explicit CompactLog(Role role = kReceivedLog) : role_(role) {}
    CompactLog(const CompactLog&) = delete;
    CompactLog& operator=(const CompactLog&) = delete;

    // --- appending; each returns false, and logs nothing, once the log can take no more ---
    // A message read as a whole (a UDP datagram); empty is an ordinary empty line.
    bool AppendReceived(std::string_view bytes, Clock::time_point when = Clock::now());
    // A chunk of the byte stream `stream` (a socket). The first chunk of another stream
    // starts afresh: nothing cut off in the former one joins it.
    bool AppendStream(std::int64_t stream, std::string_view bytes,
                      Clock::time_point when = Clock::now());
    // Room for `size` bytes to land at the log's end (a read straight into the log's
    // buffer), which AppendStream or AppendReceived then takes without copying; null while
    // the log is in memory or has stopped (read into a buffer of one's own then).
    char* ReceiveSpace(std::size_t size);
    // A sealed piece of the log's buffer for the caller to write to the file without holding
    // the lock that guards the log (LogStore::PendingWrite::Run), or null.
    std::shared_ptr<LogStore::PendingWrite> TakeWrite() { return store_.TakeWrite(); }
    // Hands a written piece back (see LogStore::FinishWrite); false when its write failed: the
    // log keeps its bytes and stops, its last line saying why.
    bool FinishWrite(std::shared_ptr<LogStore::PendingWrite> write,
                     Clock::time_point when = Clock::now());
    // `stream` has ended. If a character is still cut off, appends a line showing one U+FFFD
    // and returns true; false if it appended nothing.
    bool FinishStream(std::int64_t stream, Clock::time_point when = Clock::now());
    // Bytes sent, read in the code page in force (NUL stays NUL).
    bool AppendSent(std::string_view bytes, Clock::time_point when = Clock::now());
    // The program's own text (notes), whatever the code page.
    bool AppendNote(std::u16string_view text, Clock::time_point when = Clock::now());

    // Memory ran out elsewhere on the log's way (its page could not be told of new lines):
    // the log stops as if its own memory had run out.
    void StopForLackOfMemory(Clock::time_point when = Clock::now());

    // Empties the log. A log that stopped stays stopped (its reason stays its only line).
    void Clear();

    // --- reading ------------------------------------------------------------------------
    // Lines, the stop line included.
    std::size_t LineCount() const { return lines_.size() + (stopped_ ? 1 : 0); }
    bool Empty() const { return LineCount() == 0; }
    // Bytes held for lines [0, line): a measure of how long the text up to `line` is.
    std::uint64_t BytesBefore(std::size_t line) const;
    // Bumped by every Clear, so that a reader can tell a cleared log from a longer one.
    std::uint64_t Generation() const { return generation_; }
    // Memory ran out or the file took no more: no more appends.
    bool Stopped() const { return stopped_; }
    enum StopReason : std::uint8_t { kOutOfMemory, kDiskFull, kWriteError };
    StopReason StoppedBecause() const { return stopReason_; }
    // Whether the bytes are in a file (else in memory).
    bool InFile() const { return store_.InFile(); }
    // The text of lines [first, first + count) (cut to the lines there are).
    // `milliseconds`: stamps read "YYYY-MM-DD hh:mm:ss.mmm  " instead of "...hh:mm:ss  ".
    std::u16string Text(std::size_t first, std::size_t count, bool milliseconds = false) const;
    std::u16string Text() const { return Text(0, LineCount()); }
    // The moment line `line` was logged (to the microsecond; the stop line's too).
    Clock::time_point LineTime(std::size_t line) const;
    // A stamp as the lines read: "YYYY-MM-DD hh:mm:ss  " or, with `milliseconds`,
    // "YYYY-MM-DD hh:mm:ss.mmm  ".
    static std::string Stamp(Clock::time_point when, bool milliseconds);
    // Appends to `out` the bytes line `line` was logged with, as they came (a datagram, or
    // a stream's chunk); false, appending nothing, for a line that logged none of a peer's
    // bytes (a note, a stream's end, the stop line).
    bool AppendLineBytes(std::size_t line, std::string& out) const;
    // Appends line `line` as UTF-8 text, stamp and line feed included, exactly as Text would
    // read it, when it is a peer's bytes that need no conversion (plain ASCII in a code page
    // that keeps ASCII; NUL reads as U+2400); false, appending nothing, otherwise. For
    // writers of long logs: most lines of a flood take this way.
    bool AppendPlainLineUtf8(std::size_t line, bool milliseconds, std::string& out) const;
    // About how many characters lines [first, end) show: their bytes and their stamps.
    std::uint64_t Measure(std::size_t first, std::size_t end) const;
    // The first line of the shortest tail of the log that measures at least `size` (0 when
    // the whole log measures less).
    std::size_t TailStart(std::uint64_t size) const;
    // What a line holds: bytes of a peer's or of a send, the program's own text (notes, the
    // stop line), or nothing of its own (the end of a character cut off at a stream's end:
    // its bytes are on the line before).
    enum class LineContent : std::uint8_t { kBytes, kText, kCutEnd };
    // For a line of bytes, appends them to `out` as they came or went (a stream line's own
    // bytes, whatever character they cut) and gives its moment in `when`.
    LineContent LineBytes(std::size_t line, std::string& out, Clock::time_point& when) const;

    // The lines of bytes held so far, readable on another thread while the log goes on or
    // is cleared (see LogSnapshot). Taken as the log asks to be read (received logs under
    // g_connectLock); throws std::bad_alloc.
    LogSnapshot Snapshot() const;

    // The text of the stop line (without stamp and line feed), in the interface's language
    // when it is shown; the two below are the texts for memory that ran out.
    static std::u16string StoppedText(Role role, StopReason reason);
    static std::u16string ReceivedStoppedText();
    static std::u16string SentStoppedText();
    // The line a log gets once where it outgrows the memory kept for small logs and no
    // temporary file can be made for it (no usable directory, or descriptors run short).
    static std::u16string InMemoryNoteText();

    // The log behaves as if memory ran out when holding more than `bytes` would take more.
    void FailAllocationBeyondForTesting(std::uint64_t bytes) { store_.FailBeyondForTesting(bytes); }

private:
    enum Kind : std::uint8_t { kDatagram, kStream, kStreamEnd, kSent, kNote, kInMemoryNote };
    struct Line {
        std::uint64_t end;       // offset just past the line's bytes in the store
        std::uint32_t micro;     // time stamp: microseconds after the line's time base
        std::uint16_t codePage;  // index into codePages_
        Kind kind;
        // Stream lines: bytes before the line's own that end a character cut off in the
        // line before (high nibble), and bytes at its end left for the next line (low).
        std::uint8_t carry;
    };
    static constexpr std::size_t kMaxCut = 8;  // longer than any cut-off character

    // Stores `bytes` and the line; false (and the log stops) when memory or the file takes
    // no more.
    bool Add(std::string_view bytes, Kind kind, Clock::time_point when, std::uint8_t carry);
    void Stop(StopReason reason, Clock::time_point when);
    void CopyOut(std::uint64_t from, std::uint64_t to, std::string& out) const {
        store_.Read(from, to, out);
    }
    std::uint64_t LineBegin(std::size_t line) const;
    // The bytes line `line` reads as text: a character cut off at the end of the line before
    // included, one cut off at its own end left to the next line.
    void CopyTextBytes(std::size_t line, std::string& out) const {
        const Line& entry = lines_[line];
        CopyOut(LineBegin(line) - (entry.carry >> 4), entry.end - (entry.carry & 0x0F), out);
    }
    std::uint16_t CodePageIndex();
    void AppendLineText(std::size_t line, const std::string& currentCodePage, bool milliseconds,
                        std::u16string& out) const;

    LogStore store_;
    std::uint64_t start_ = 0;    // bytes kept before the first line (a cut character's start)
    ChunkedVector<Line> lines_;  // grows by chunks: never copied under the lock
    std::vector<std::string> codePages_;
    std::int64_t stream_ = -1;    // the stream the last stream line came from
    std::uint8_t streamCut_ = 0;  // bytes at its end still waiting for the next chunk
    Role role_;
    bool stopped_ = false;
    StopReason stopReason_ = kOutOfMemory;
    // Where a run of lines begins whose stamps count from `micros` (since the epoch); a new
    // one starts when a stamp would not fit 32 bits or the clock went back.
    struct TimeBase {
        std::size_t firstLine;
        std::int64_t micros;
    };
    std::vector<TimeBase> timeBases_;
    // The stamp a line added now gets (a new time base when needed).
    std::uint32_t StampOf(Clock::time_point when);
    Clock::time_point stoppedAt_{};
    std::uint64_t generation_ = 0;
};
