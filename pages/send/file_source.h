// Files the user sends from the send box: on TCP a FileSource read chunk by chunk as the
// connection's sender thread writes it (never read whole); on UDP a file small enough to be
// one datagram, read whole.
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// The largest UDP payload over IPv4.
inline constexpr std::size_t kMaxDatagramFileSize = 65507;

class FileSource {
public:
    // Opens a regular file for reading (user-interface thread), never waiting on it. Null,
    // with `error` set to the message to show, when it cannot be opened or is not a regular
    // file (a named pipe, a socket, a device, a folder).
    static std::shared_ptr<FileSource> Open(const QString& path, QString* error);
    ~FileSource();
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    const QString& Path() const { return path_; }
    // The size when opened: what the send promises to write.
    std::uint64_t Size() const { return size_; }
    // Up to `size` bytes from `offset` into `buffer`: the count read, 0 past the end, -1 on
    // a read error. Any thread; holds no state between calls.
    std::ptrdiff_t ReadAt(std::uint64_t offset, char* buffer, std::size_t size) const;

private:
    FileSource(QString path, int fd, std::uint64_t size);

    QString path_;
    int fd_;
    std::uint64_t size_;
};

// The whole file as one datagram's bytes (user-interface thread). Nothing, with `error` set,
// when it cannot be read or holds more than kMaxDatagramFileSize bytes.
std::optional<std::string> ReadDatagramFile(const QString& path, QString* error);
// The same for a file opened already.
std::optional<std::string> ReadDatagram(const FileSource& file, QString* error);

// The sent log's lines for a file: the file sent (its name and size), and, when it could not
// be read to its end, how much of it went.
QString FileSentNote(const QString& path, std::uint64_t size);
QString FileCutNote(std::uint64_t went);
