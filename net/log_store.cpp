#include "net/log_store.h"

#include <fcntl.h>
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
    std::string name = directory + "/wirelark-log-XXXXXX";
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

LogStore::~LogStore() {
    if (fd_ >= 0)
        close(fd_);
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

bool LogStore::MoveToFile() {
    if (fd_ >= 0)
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
    if (blocks_.empty()) {
        try {
            blocks_.emplace_back(new char[kFirstBlockSize]);
        } catch (const std::bad_alloc&) {
            close(fd);
            throw;
        }
    }
    fd_ = fd;
    buffer_ = std::move(blocks_.front());
    bufferSize_ = kFirstBlockSize;
    blocks_.clear();
    flushed_ = 0;
    return true;
}

void LogStore::WriteAt(const char* data, std::size_t length, std::uint64_t offset) {
    while (length > 0) {
        const ssize_t written = pwrite(fd_, data, length, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            throw WriteFailed{written < 0 ? errno : ENOSPC};
        data += written;
        length -= static_cast<std::size_t>(written);
        offset += static_cast<std::uint64_t>(written);
    }
}

void LogStore::Flush() {
    WriteAt(buffer_.get(), static_cast<std::size_t>(size_ - flushed_), flushed_);
    flushed_ = size_;
    // A log that keeps growing gets pieces of kWritePiece; many small logs keep small buffers.
    if (bufferSize_ < kWritePiece) {
        const std::size_t grown = std::min(kWritePiece, bufferSize_ * 4);
        if (auto bigger = std::unique_ptr<char[]>(new (std::nothrow) char[grown])) {
            buffer_ = std::move(bigger);
            bufferSize_ = grown;
        }
    }
}

void LogStore::AppendToFile(std::string_view bytes) {
    if (bytes.size() > bufferSize_ - static_cast<std::size_t>(size_ - flushed_)) {
        Flush();
        if (bytes.size() > bufferSize_) {
            WriteAt(bytes.data(), bytes.size(), flushed_);
            flushed_ += bytes.size();
            size_ = flushed_;
            return;
        }
    }
    std::memcpy(buffer_.get() + (size_ - flushed_), bytes.data(), bytes.size());
    size_ += bytes.size();
}

// ---- both ----------------------------------------------------------------------------------

void LogStore::Append(std::string_view bytes) {
    if (size_ + bytes.size() > failBeyond_)
        throw std::bad_alloc();
    if (fd_ >= 0)
        AppendToFile(bytes);
    else
        AppendInMemory(bytes);
}

void LogStore::Read(std::uint64_t from, std::uint64_t to, std::string& out) const {
    to = std::min(to, size_);
    if (fd_ < 0) {
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
            const ssize_t got = pread(fd_, out.data() + at, static_cast<std::size_t>(end - from),
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
    if (from < to)
        out.append(buffer_.get() + (from - flushed_), static_cast<std::size_t>(to - from));
}

void LogStore::Clear() {
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    flushed_ = 0;
    buffer_.reset();
    bufferSize_ = 0;
    blocks_.clear();
    blocks_.shrink_to_fit();
    size_ = 0;
    memoryOnly_ = false;
}

// ---- readers for other threads -------------------------------------------------------------

LogStoreReader LogStore::Reader() const {
    LogStoreReader reader;
    if (fd_ < 0) {
        Read(0, size_, reader.copy_);
        return reader;
    }
    reader.fd_ = fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    reader.fileLost_ = reader.fd_ < 0;
    reader.fileEnd_ = flushed_;
    reader.copy_.assign(buffer_.get(), static_cast<std::size_t>(size_ - flushed_));
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
