// LogStore: the bytes of one log, in the order they were stored, read back by offset.
//
// A small log lives in one block from the heap. A log that outgrows it moves to a temporary
// file of its own that has no name (created unlinked in the user's cache directory, else in
// the temporary directory), written in large pieces from a buffer; so a long flood costs
// disk, not memory, and no file outlives the process, however it ends. Where no file can be
// made, or descriptors run short (sockets need them more), the log stays in memory
// (WantsFile / MoveToFile tell the owner, which notes it).
//
// Not thread-safe: the owning log's user serialises every call. Free of Qt.
#pragma once

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

    // Adds `bytes` at the end, whole or not at all (then it throws, see WriteFailed).
    void Append(std::string_view bytes);
    // Appends bytes [from, to) to `out`. A failed read of the file appends fewer.
    void Read(std::uint64_t from, std::uint64_t to, std::string& out) const;
    // Empties the store and gives back its file and memory.
    void Clear();

    // True when appending `incoming` bytes would outgrow memory kept for small logs and no
    // file has been tried yet: the owner calls MoveToFile first.
    bool WantsFile(std::size_t incoming) const {
        return fd_ < 0 && !memoryOnly_ && size_ + incoming > kFirstBlockSize;
    }
    // Moves the log into a new unnamed file. False when none can be made: the log stays in
    // memory from then on (until Clear).
    bool MoveToFile();
    bool InFile() const { return fd_ >= 0; }

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
    // Writes [flushed_, size_) from the buffer; throws WriteFailed.
    void Flush();
    void WriteAt(const char* data, std::size_t length, std::uint64_t offset);

    std::uint64_t size_ = 0;
    std::vector<std::unique_ptr<char[]>> blocks_;  // the log while in memory
    int fd_ = -1;                                  // the file, once the log moved there
    std::uint64_t flushed_ = 0;                    // bytes in the file; the rest is buffered
    std::unique_ptr<char[]> buffer_;               // holds [flushed_, size_)
    std::size_t bufferSize_ = 0;
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
