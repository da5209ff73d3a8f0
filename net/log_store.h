// LogStore: the bytes of one log, in the order they were stored, read back by offset.
//
// A small log lives in one block from the heap. A log that outgrows it moves to a temporary
// file of its own that has no name (created unlinked in the user's cache directory, else in
// the temporary directory), written in large pieces from a buffer; so a long flood costs
// disk, not memory, and no file outlives the process, however it ends.
//
// Writing to the file: a full buffer is sealed (it no longer changes) and a fresh one takes
// the next bytes. The thread that appends may take the sealed piece (TakeWrite), write it
// without holding the lock that guards the log (PendingWrite::Run) and hand it back
// (FinishWrite); until then the log reads those bytes from the piece. A piece nobody took
// is written at the next seal by the appending thread itself. A receive thread can also
// read straight into the buffer (ReceiveSpace): appending what landed there copies nothing. Where
// no file can be made, or descriptors run short (sockets need them more), the log stays in memory
// (WantsFile / MoveToFile tell the owner, which notes it).
//
// Not thread-safe: the owning log's user serialises every call. Free of Qt.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class LogStoreReader;

class LogStore {
public:
    // Thrown by Append when the file takes no more; std::bad_alloc when memory runs out.
    struct WriteFailed {
        int error;  // errno
    };

    LogStore() = default;
    ~LogStore();
    LogStore(const LogStore&) = delete;
    LogStore& operator=(const LogStore&) = delete;

    std::uint64_t Size() const { return size_; }

    // Adds `bytes` at the end, whole or not at all (then it throws, see WriteFailed). Bytes
    // that already lie at the end of the buffer (see ReceiveSpace) are not copied.
    void Append(std::string_view bytes);
    // Room for `size` bytes right after the log's end, in the file's buffer, for a read to
    // land in before Append takes it; null while the log is in memory. Seals a buffer that
    // has not that much room (may throw WriteFailed or std::bad_alloc).
    char* ReceiveSpace(std::size_t size);

    // A sealed piece of the buffer and where it goes in the file. It keeps the file and its
    // bytes alive by itself, so it can be written while the log is cleared or freed.
    struct PendingWrite {
        std::shared_ptr<const int> file;  // the descriptor, closed with its last owner
        std::unique_ptr<char[]> data;
        std::size_t capacity = 0;  // of data
        std::size_t length = 0;
        std::uint64_t offset = 0;
        bool taken = false;
        std::atomic<int> result{-1};  // -1 not yet written, 0 written, else errno
        // Writes the piece (pwrite). Any thread, no lock needed.
        void Run();
    };
    // The sealed piece for the caller to write outside the lock, or null (none, or already
    // taken).
    std::shared_ptr<PendingWrite> TakeWrite();
    // A taken piece was written: 0, or the errno of its failed write (the log then keeps
    // the piece in memory, and stops). A piece that is no longer the log's is ignored. Given
    // up by the caller (moved in), the piece's buffer takes the next bytes again: memory
    // already in use is faster to fill than fresh pages.
    int FinishWrite(std::shared_ptr<PendingWrite> write);
    // Appends bytes [from, to) to `out`. A failed read of the file appends fewer.
    void Read(std::uint64_t from, std::uint64_t to, std::string& out) const;
    // Empties the store and gives back its file and memory.
    void Clear();

    // True when appending `incoming` bytes would outgrow memory kept for small logs and no
    // file has been tried yet: the owner calls MoveToFile first.
    bool WantsFile(std::size_t incoming) const {
        return !file_ && !memoryOnly_ && size_ + incoming > kFirstBlockSize;
    }
    // Moves the log into a new unnamed file. False when none can be made: the log stays in
    // memory from then on (until Clear).
    bool MoveToFile();
    bool InFile() const { return file_ != nullptr; }

    // A reader of the bytes stored so far that another thread may use while this store
    // goes on (or is cleared): the file is shared through a descriptor of the reader's own,
    // what is still buffered or in memory is copied. Throws std::bad_alloc; a reader whose
    // descriptor could not be had reads nothing from the file (Read returns false).
    LogStoreReader Reader() const;

    // Append behaves as if memory ran out when the store would hold more than `bytes`.
    void FailBeyondForTesting(std::uint64_t bytes) { failBeyond_ = bytes; }

    // The directories tried for the file, in order: $XDG_CACHE_HOME/wirelark (or
    // ~/.cache/wirelark), made 0700 when missing; then $TMPDIR (or /tmp).
    static std::vector<std::string> FileDirectories();
    // Removes the named log files that processes no longer running left behind (where the
    // file system makes no unnamed files, a log file has a name for a moment; a process
    // killed then leaves it). Blocks on the directories: run it off the window's thread.
    static void SweepLeftFiles();

    static constexpr std::size_t kFirstBlockSize = std::size_t{64} << 10;
    // What the file's buffer grows to: each write to the file is about this large.
    static constexpr std::size_t kWritePiece = std::size_t{1} << 20;

private:
    // In memory: a first block of kFirstBlockSize, then blocks of kBlockSize.
    static constexpr std::size_t kBlockSize = std::size_t{2} << 20;
    struct Place {
        std::size_t block;
        std::size_t at;    // offset in the block
        std::size_t room;  // bytes from there to the block's end
    };
    static Place Locate(std::uint64_t offset);
    void AppendInMemory(std::string_view bytes);
    void AppendToFile(std::string_view bytes);
    // Makes the buffer [bufferStart_, size_) the sealed piece and starts an empty one (a
    // sealed piece still there is written first).
    void Seal();
    // Writes the sealed piece here and now, if there is one; throws WriteFailed.
    void WriteSealed();
    int Fd() const { return file_ ? *file_ : -1; }

    std::uint64_t size_ = 0;
    std::vector<std::unique_ptr<char[]>> blocks_;  // the log while in memory
    std::shared_ptr<const int> file_;              // the file, once the log moved there
    std::uint64_t flushed_ = 0;                    // bytes known to be in the file
    std::shared_ptr<PendingWrite> sealed_;         // holds [flushed_, bufferStart_), if any
    std::uint64_t bufferStart_ = 0;                // where buffer_ begins in the log
    std::unique_ptr<char[]> buffer_;               // holds [bufferStart_, size_)
    std::size_t bufferSize_ = 0;
    std::unique_ptr<char[]> spare_;  // a written piece's buffer of kWritePiece, for reuse
    bool memoryOnly_ = false;
    std::uint64_t failBeyond_ = UINT64_MAX;
};

// The bytes a store held when the reader was made; any one thread. Stored bytes never change
// (a store only grows, and Clear gives its file up rather than emptying it).
class LogStoreReader {
public:
    LogStoreReader() = default;
    ~LogStoreReader();
    LogStoreReader(LogStoreReader&& other) noexcept;
    LogStoreReader& operator=(LogStoreReader&& other) noexcept;

    std::uint64_t Size() const { return fileEnd_ + copy_.size(); }
    // Appends bytes [from, to) to `out`; false (errno set) when the file could not be read.
    bool Read(std::uint64_t from, std::uint64_t to, std::string& out) const;
    // Bytes [from, to) where they lie, without copying them (the file mapped into memory),
    // valid as long as the reader; empty when they cannot be had so (then Read them).
    std::optional<std::string_view> View(std::uint64_t from, std::uint64_t to) const;

private:
    friend class LogStore;
    int fd_ = -1;
    bool fileLost_ = false;      // the store had a file, but no descriptor was had for it
    std::uint64_t fileEnd_ = 0;  // bytes [0, fileEnd_) are read from the file
    std::string copy_;           // bytes [fileEnd_, Size())
    // The file's bytes [0, fileEnd_) mapped, once View needs them (null: not yet, or not
    // possible).
    mutable const char* mapped_ = nullptr;
    mutable bool mapTried_ = false;
};
