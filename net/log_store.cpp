#include "net/log_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

namespace {

constexpr const char* kLeftFilePrefix = "wirelark-log-";

// An absolute directory from the environment, or empty.
std::string AbsoluteFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] == '/' ? std::string(value) : std::string();
}

// A file without a name in `directory`, readable and writable by this user only; -1 if
// none can be made there (errno says why). Where the file system knows no O_TMPFILE the
// file is made under a fresh name with O_EXCL and unlinked at once; its mode 0600 keeps
// other users out for the moment it has a name.
int OpenUnnamedFile(const std::string& directory) {
    int fd = open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || errno == EMFILE || errno == ENFILE)
        return fd;
    // The name carries the process id: a file left by a process killed before the unlink
    // is swept at a later start (SweepLeftFiles).
    std::string name = directory + "/" + kLeftFilePrefix + std::to_string(getpid()) + "-XXXXXX";
    fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0)
        unlink(name.c_str());
    return fd;
}

// Every log file costs a descriptor, which sockets need too. Once per process the soft limit
// is raised to the hard one (the program uses no select), and a log moves to a file only
// while its descriptor lies in the lower half of that limit: the upper half stays for
// sockets, and a log that finds none left stays in memory.
bool DescriptorToSpare(int fd) {
    static std::once_flag raised;
    static rlim_t limit = 0;
    std::call_once(raised, [] {
        rlimit current{};
        if (getrlimit(RLIMIT_NOFILE, &current) != 0)
            return;
        if (current.rlim_cur < current.rlim_max) {
            rlimit wanted = current;
            wanted.rlim_cur = current.rlim_max;
            if (setrlimit(RLIMIT_NOFILE, &wanted) == 0)
                current = wanted;
        }
        limit = current.rlim_cur;
    });
    return limit == 0 || limit == RLIM_INFINITY || static_cast<rlim_t>(fd) < limit / 2;
}

}  // namespace

std::vector<std::string> LogStore::FileDirectories() {
    std::vector<std::string> directories;
    std::string cache = AbsoluteFromEnvironment("XDG_CACHE_HOME");
    if (cache.empty()) {
        const std::string home = AbsoluteFromEnvironment("HOME");
        if (!home.empty()) {
            cache = home + "/.cache";
            mkdir(cache.c_str(), 0700);  // fine if it exists
        }
    }
    if (!cache.empty()) {
        std::string own = cache + "/wirelark";
        mkdir(own.c_str(), 0700);
        directories.push_back(std::move(own));
    }
    const std::string temporary = AbsoluteFromEnvironment("TMPDIR");
    directories.push_back(temporary.empty() ? std::string("/tmp") : temporary);
    return directories;
}

LogStore::~LogStore() = default;

void LogStore::SweepLeftFiles() {
    const std::string prefix = kLeftFilePrefix;
    for (const std::string& directory : FileDirectories()) {
        DIR* listing = opendir(directory.c_str());
        if (listing == nullptr)
            continue;
        while (const dirent* entry = readdir(listing)) {
            const std::string name = entry->d_name;
            if (name.compare(0, prefix.size(), prefix) != 0)
                continue;
            // "wirelark-log-<pid>-XXXXXX"; names without a process id are not ours to judge.
            char* end = nullptr;
            const long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
            if (pid <= 0 || end == nullptr || *end != '-' || pid == getpid())
                continue;
            if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
                continue;  // still running (or someone else's: not ours to know)
            struct stat status {};
            if (fstatat(dirfd(listing), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISREG(status.st_mode) && status.st_uid == geteuid()) {
                unlinkat(dirfd(listing), name.c_str(), 0);
            }
        }
        closedir(listing);
    }
}

// ---- in memory -----------------------------------------------------------------------------

LogStore::Place LogStore::Locate(std::uint64_t offset) {
    if (offset < kFirstBlockSize) {
        const auto at = static_cast<std::size_t>(offset);
        return {0, at, kFirstBlockSize - at};
    }
    const std::uint64_t rest = offset - kFirstBlockSize;
    const auto at = static_cast<std::size_t>(rest % kBlockSize);
    return {1 + static_cast<std::size_t>(rest / kBlockSize), at, kBlockSize - at};
}

void LogStore::AppendInMemory(std::string_view bytes) {
    const std::uint64_t sizeBefore = size_;
    const std::size_t blocksBefore = blocks_.size();
    try {
        while (!bytes.empty()) {
            const Place place = Locate(size_);
            if (place.block == blocks_.size()) {
                blocks_.reserve(blocks_.size() + 1);
                blocks_.emplace_back(new char[place.block == 0 ? kFirstBlockSize : kBlockSize]);
            }
            const std::size_t take = std::min(bytes.size(), place.room);
            std::memcpy(blocks_[place.block].get() + place.at, bytes.data(), take);
            size_ += take;
            bytes.remove_prefix(take);
        }
    } catch (const std::bad_alloc&) {
        size_ = sizeBefore;
        blocks_.resize(blocksBefore);
        throw;
    }
}

// ---- in the file ---------------------------------------------------------------------------

namespace {

// Writes all of [data, data + length) at `offset`; 0 or errno.
int WriteAll(int fd, const char* data, std::size_t length, std::uint64_t offset) {
    while (length > 0) {
        const ssize_t written = pwrite(fd, data, length, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? errno : ENOSPC;
        data += written;
        length -= static_cast<std::size_t>(written);
        offset += static_cast<std::uint64_t>(written);
    }
    return 0;
}

}  // namespace

bool LogStore::MoveToFile() {
    if (file_)
        return true;
    int fd = -1;
    for (const std::string& directory : FileDirectories()) {
        fd = OpenUnnamedFile(directory);
        if (fd >= 0 || errno == EMFILE || errno == ENFILE)
            break;
    }
    if (fd >= 0 && !DescriptorToSpare(fd)) {
        close(fd);
        fd = -1;
    }
    if (fd < 0) {
        memoryOnly_ = true;
        return false;
    }
    // What the first block holds becomes the buffer's content, written with the next piece.
    std::shared_ptr<const int> file;
    try {
        if (blocks_.empty())
            blocks_.emplace_back(new char[kFirstBlockSize]);
        file = std::shared_ptr<const int>(new int(fd), [](const int* owned) {
            close(*owned);
            delete owned;
        });
    } catch (const std::bad_alloc&) {
        close(fd);
        throw;
    }
    file_ = std::move(file);
    buffer_ = std::move(blocks_.front());
    bufferSize_ = kFirstBlockSize;
    bufferStart_ = 0;
    blocks_.clear();
    flushed_ = 0;
    return true;
}

void LogStore::PendingWrite::Run() {
    result.store(WriteAll(*file, data.get(), length, offset), std::memory_order_release);
}

void LogStore::WriteSealed() {
    if (!sealed_)
        return;
    // A piece taken by a thread still writing it is written here too: the same bytes at the
    // same place, so whichever write ends last changes nothing.
    if (sealed_->result.load(std::memory_order_acquire) != 0) {
        const int error = WriteAll(Fd(), sealed_->data.get(), sealed_->length, sealed_->offset);
        if (error != 0)
            throw WriteFailed{error};
    }
    flushed_ = sealed_->offset + sealed_->length;
    if (sealed_.use_count() == 1 && sealed_->capacity == kWritePiece)
        spare_ = std::move(sealed_->data);
    sealed_.reset();
}

void LogStore::Seal() {
    WriteSealed();
    // A log that keeps growing gets pieces of kWritePiece; many small logs keep small buffers.
    const std::size_t next = std::min(kWritePiece, bufferSize_ * 4);
    std::unique_ptr<char[]> fresh;
    if (spare_ && next == kWritePiece && bufferSize_ == kWritePiece)
        fresh = std::move(spare_);
    else
        fresh.reset(new char[next]);  // may throw: nothing has changed yet
    auto piece = std::make_shared<PendingWrite>();
    piece->file = file_;
    piece->data = std::move(buffer_);
    piece->capacity = bufferSize_;
    piece->length = static_cast<std::size_t>(size_ - bufferStart_);
    piece->offset = bufferStart_;
    sealed_ = std::move(piece);
    buffer_ = std::move(fresh);
    bufferSize_ = next;
    bufferStart_ = size_;
}

std::shared_ptr<LogStore::PendingWrite> LogStore::TakeWrite() {
    if (!sealed_ || sealed_->taken)
        return nullptr;
    sealed_->taken = true;
    return sealed_;
}

int LogStore::FinishWrite(std::shared_ptr<PendingWrite> write) {
    if (!write || write != sealed_)
        return 0;
    const int result = write->result.load(std::memory_order_acquire);
    if (result != 0)
        return result < 0 ? EIO : result;  // the piece stays: the log reads it from memory
    write.reset();  // the log's the only hold left: its buffer can be kept for reuse
    WriteSealed();  // written: nothing more is written here
    return 0;
}

char* LogStore::ReceiveSpace(std::size_t size) {
    if (!file_)
        return nullptr;
    if (size > bufferSize_ - static_cast<std::size_t>(size_ - bufferStart_))
        Seal();
    if (size > bufferSize_)
        return nullptr;
    return buffer_.get() + (size_ - bufferStart_);
}

void LogStore::AppendToFile(std::string_view bytes) {
    char* end = buffer_.get() + (size_ - bufferStart_);
    const std::size_t room = bufferSize_ - static_cast<std::size_t>(size_ - bufferStart_);
    if (bytes.data() == end && bytes.size() <= room) {
        size_ += bytes.size();  // landed there already
        return;
    }
    if (bytes.size() > room) {
        Seal();
        if (bytes.size() > bufferSize_) {
            // Larger than a piece: everything before it goes first, then it goes whole.
            WriteSealed();
            const int error = WriteAll(Fd(), bytes.data(), bytes.size(), size_);
            if (error != 0)
                throw WriteFailed{error};
            size_ += bytes.size();
            flushed_ = bufferStart_ = size_;
            return;
        }
        end = buffer_.get();
    }
    std::memcpy(end, bytes.data(), bytes.size());
    size_ += bytes.size();
}

// ---- both ----------------------------------------------------------------------------------

void LogStore::Append(std::string_view bytes) {
    if (size_ + bytes.size() > failBeyond_)
        throw std::bad_alloc();
    if (file_)
        AppendToFile(bytes);
    else
        AppendInMemory(bytes);
}

void LogStore::Read(std::uint64_t from, std::uint64_t to, std::string& out) const {
    to = std::min(to, size_);
    if (!file_) {
        while (from < to) {
            const Place place = Locate(from);
            const auto take =
                static_cast<std::size_t>(std::min<std::uint64_t>(to - from, place.room));
            out.append(blocks_[place.block].get() + place.at, take);
            from += take;
        }
        return;
    }
    if (from < flushed_) {
        const std::uint64_t end = std::min(to, flushed_);
        std::size_t at = out.size();
        out.resize(at + static_cast<std::size_t>(end - from));
        while (from < end) {
            const ssize_t got = pread(Fd(), out.data() + at, static_cast<std::size_t>(end - from),
                                      static_cast<off_t>(from));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                out.resize(at);
                return;
            }
            at += static_cast<std::size_t>(got);
            from += static_cast<std::uint64_t>(got);
        }
    }
    if (from < to && from < bufferStart_ && sealed_) {
        const std::uint64_t end = std::min(to, bufferStart_);
        out.append(sealed_->data.get() + (from - sealed_->offset),
                   static_cast<std::size_t>(end - from));
        from = end;
    }
    if (from < to)
        out.append(buffer_.get() + (from - bufferStart_), static_cast<std::size_t>(to - from));
}

void LogStore::Clear() {
    file_.reset();  // closed once a piece being written lets go of it too
    flushed_ = 0;
    sealed_.reset();
    bufferStart_ = 0;
    buffer_.reset();
    bufferSize_ = 0;
    spare_.reset();
    blocks_.clear();
    blocks_.shrink_to_fit();
    size_ = 0;
    memoryOnly_ = false;
}

// ---- readers for other threads -------------------------------------------------------------

LogStoreReader LogStore::Reader() const {
    LogStoreReader reader;
    if (Fd() < 0) {
        Read(0, size_, reader.copy_);
        return reader;
    }
    reader.fd_ = fcntl(Fd(), F_DUPFD_CLOEXEC, 0);
    reader.fileLost_ = reader.fd_ < 0;
    reader.fileEnd_ = flushed_;
    // What is not in the file yet: a sealed piece still being written, and the buffer.
    Read(flushed_, size_, reader.copy_);
    return reader;
}

LogStoreReader::~LogStoreReader() {
    if (mapped_)
        munmap(const_cast<char*>(mapped_), static_cast<std::size_t>(fileEnd_));
    if (fd_ >= 0)
        close(fd_);
}

std::optional<std::string_view> LogStoreReader::View(std::uint64_t from, std::uint64_t to) const {
    to = std::min(to, Size());
    if (from >= to)
        return std::string_view();
    if (from >= fileEnd_)
        return std::string_view(copy_).substr(static_cast<std::size_t>(from - fileEnd_),
                                              static_cast<std::size_t>(to - from));
    if (to > fileEnd_ || fd_ < 0)
        return std::nullopt;
    if (!mapTried_) {
        mapTried_ = true;
        // The file only grows and is never emptied while a descriptor holds it, so the
        // mapping never loses pages.
        void* map =
            mmap(nullptr, static_cast<std::size_t>(fileEnd_), PROT_READ, MAP_SHARED, fd_, 0);
        if (map != MAP_FAILED) {
            madvise(map, static_cast<std::size_t>(fileEnd_), MADV_SEQUENTIAL);
            mapped_ = static_cast<const char*>(map);
        }
    }
    if (!mapped_)
        return std::nullopt;
    return std::string_view(mapped_ + from, static_cast<std::size_t>(to - from));
}

LogStoreReader::LogStoreReader(LogStoreReader&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      fileLost_(other.fileLost_),
      fileEnd_(other.fileEnd_),
      copy_(std::move(other.copy_)),
      mapped_(std::exchange(other.mapped_, nullptr)),
      mapTried_(other.mapTried_) {}

LogStoreReader& LogStoreReader::operator=(LogStoreReader&& other) noexcept {
    if (this != &other) {
        if (mapped_)
            munmap(const_cast<char*>(mapped_), static_cast<std::size_t>(fileEnd_));
        if (fd_ >= 0)
            close(fd_);
        mapped_ = std::exchange(other.mapped_, nullptr);
        mapTried_ = other.mapTried_;
        fd_ = std::exchange(other.fd_, -1);
        fileLost_ = other.fileLost_;
        fileEnd_ = other.fileEnd_;
        copy_ = std::move(other.copy_);
    }
    return *this;
}

bool LogStoreReader::Read(std::uint64_t from, std::uint64_t to, std::string& out) const {
    to = std::min(to, Size());
    if (from < fileEnd_) {
        if (fileLost_) {
            errno = EMFILE;
            return false;
        }
        const std::uint64_t end = std::min(to, fileEnd_);
        std::size_t at = out.size();
        out.resize(at + static_cast<std::size_t>(end - from));
        while (from < end) {
            const ssize_t got = pread(fd_, out.data() + at, static_cast<std::size_t>(end - from),
                                      static_cast<off_t>(from));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                if (got == 0)
                    errno = EIO;
                out.resize(at);
                return false;
            }
            at += static_cast<std::size_t>(got);
            from += static_cast<std::uint64_t>(got);
        }
    }
    if (from < to)
        out.append(copy_, static_cast<std::size_t>(from - fileEnd_),
                   static_cast<std::size_t>(to - from));
    return true;
}
