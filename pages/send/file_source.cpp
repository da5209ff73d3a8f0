#include "pages/send/file_source.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

namespace {

QString CannotRead(const QString& path) {
    return QCoreApplication::translate("FileSource", "无法读取文件：%1").arg(path);
}

QString TooLarge() {
    return QCoreApplication::translate("FileSource", "文件超过 %1 字节，无法作为一个数据报发送。")
        .arg(kMaxDatagramFileSize);
}

}  // namespace

FileSource::FileSource(QString path, int fd, std::uint64_t size)
    : path_(std::move(path)), fd_(fd), size_(size) {}

FileSource::~FileSource() {
    ::close(fd_);
}

std::shared_ptr<FileSource> FileSource::Open(const QString& path, QString* error) {
    // Opened without blocking and checked before anything is read: a named pipe would
    // otherwise hold the window until something writes into it, and a pipe, a socket, a
    // device or a folder is not a file that can be sent.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    struct stat status {};
    const bool regular = fd >= 0 && ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    // A regular file reads as usual from here on.
    const int flags = regular ? ::fcntl(fd, F_GETFL) : -1;
    if (!regular || flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        if (fd >= 0)
            ::close(fd);
        if (error)
            *error = CannotRead(path);
        return nullptr;
    }
    return std::shared_ptr<FileSource>(
        new FileSource(path, fd, static_cast<std::uint64_t>(status.st_size)));
}

std::ptrdiff_t FileSource::ReadAt(std::uint64_t offset, char* buffer, std::size_t size) const {
    for (;;) {
        const ssize_t n = ::pread(fd_, buffer, size, static_cast<off_t>(offset));
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

std::optional<std::string> ReadDatagramFile(const QString& path, QString* error) {
    const std::shared_ptr<FileSource> file = FileSource::Open(path, error);
    if (!file)
        return std::nullopt;
    return ReadDatagram(*file, error);
}

std::optional<std::string> ReadDatagram(const FileSource& file, QString* error) {
    const QString& path = file.Path();
    if (file.Size() > kMaxDatagramFileSize) {
        if (error)
            *error = TooLarge();
        return std::nullopt;
    }
    // One byte more than the limit asked for: a file that grew since is caught too.
    std::string bytes(kMaxDatagramFileSize + 1, '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const std::ptrdiff_t n = file.ReadAt(got, bytes.data() + got, bytes.size() - got);
        if (n < 0) {
            if (error)
                *error = CannotRead(path);
            return std::nullopt;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    if (got > kMaxDatagramFileSize) {
        if (error)
            *error = TooLarge();
        return std::nullopt;
    }
    bytes.resize(got);
    return bytes;
}

QString FileSentNote(const QString& path, std::uint64_t size) {
    return QCoreApplication::translate("FileSource", "（文件 %1，%2 字节）")
        .arg(QFileInfo(path).fileName())
        .arg(size);
}

QString FileCutNote(std::uint64_t went) {
    return QCoreApplication::translate("FileSource", "（读取文件出错：只发出了前 %1 字节）")
        .arg(went);
}
