#include "pages/core/page_settings.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "platform/message_box.h"

namespace {

// Changes that come within this time of each other go in one write.
constexpr auto kGatherTime = std::chrono::milliseconds(100);

QString ErrorText(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
            return QCoreApplication::translate("PageSettings", "没有写入权限");
        case EISDIR:
            return QCoreApplication::translate("PageSettings", "这是一个文件夹");
        case ENOTDIR:
            return QCoreApplication::translate("PageSettings", "路径中有一级不是文件夹");
        case EROFS:
            return QCoreApplication::translate("PageSettings", "文件系统是只读的");
        case ENOSPC:
        case EDQUOT:
            return QCoreApplication::translate("PageSettings", "磁盘空间不足");
        default:
            return QString::fromLocal8Bit(std::strerror(error));
    }
}

// Why the settings file at `path` cannot be written, found by trying it without writing
// or waiting (QSettings only says that it failed).
QString WhyNotWritable(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        ::close(fd);
        return QCoreApplication::translate("PageSettings",
                                           "写入失败");  // it opens, yet the write failed
    }
    if (errno != ENOENT)
        return ErrorText(errno);
    // Not there yet: the nearest folder that is there must let the file be made.
    QString dir = QFileInfo(path).absolutePath();
    struct stat status {};
    while (::stat(QFile::encodeName(dir).constData(), &status) != 0 && errno == ENOENT &&
           dir != QDir::rootPath()) {
        dir = QFileInfo(dir).absolutePath();
    }
    if (!S_ISDIR(status.st_mode))
        return ErrorText(ENOTDIR);
    if (::access(QFile::encodeName(dir).constData(), W_OK) != 0)
        return ErrorText(errno);
    return QCoreApplication::translate("PageSettings", "写入失败");
}

// Writes the kept changes on a thread of its own. Keep, Pending and Flush run on the
// user-interface thread, Run on the writer thread; `mutex_` guards what they share.
class SettingsWriter {
public:
    explicit SettingsWriter(PageSettingsOpener open)
        : open_(std::move(open)), thread_([this] { Run(); }) {}
    // Writes what waits, then ends the thread.
    ~SettingsWriter() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    SettingsWriter(const SettingsWriter&) = delete;
    SettingsWriter& operator=(const SettingsWriter&) = delete;

    const PageSettingsOpener& Opener() const { return open_; }

    void Keep(const QString& key, const QVariant& value) {
        {
            const std::lock_guard lock(mutex_);
            pending_[key] = {value, ++queued_};
        }
        wake_.notify_all();
    }

    // The value a change not yet written holds, if any.
    bool Pending(const QString& key, QVariant* value) const {
        const std::lock_guard lock(mutex_);
        const auto found = pending_.find(key);
        if (found == pending_.end())
            return false;
        *value = found->second.value;
        return true;
    }

    void Flush() {
        std::unique_lock lock(mutex_);
        const std::uint64_t target = queued_;
        flushWanted_ = true;
        wake_.notify_all();
        written_.wait(lock, [&] { return writtenUpTo_ >= target; });
        flushWanted_ = false;
    }

private:
    struct Change {
        QVariant value;
        std::uint64_t number = 0;  // order of the change; the last one of a key counts
    };

    // Writer thread.
    void Run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stopping_ || !pending_.empty(); });
            if (pending_.empty())
                return;  // stopping, nothing left
            // A burst of switches becomes one write.
            wake_.wait_for(lock, kGatherTime, [&] { return stopping_ || flushWanted_; });
            const std::map<QString, Change> batch = pending_;
            const std::uint64_t upTo = queued_;
            lock.unlock();
            Write(batch);
            lock.lock();
            // Changes made while writing stay for the next write.
            for (const auto& [key, change] : batch) {
                const auto found = pending_.find(key);
                if (found != pending_.end() && found->second.number == change.number)
                    pending_.erase(found);
            }
            writtenUpTo_ = upTo;
            written_.notify_all();
        }
    }

    // Writer thread, without the lock.
    void Write(const std::map<QString, Change>& batch) {
        const std::unique_ptr<QSettings> settings = open_();
        if (!settings)
            return;
        for (const auto& [key, change] : batch) settings->setValue(key, change.value);
        settings->sync();
        if (settings->status() == QSettings::NoError || told_)
            return;
        told_ = true;
        const QString text = QCoreApplication::translate("PageSettings", "设置无法保存到 %1：%2。")
                                 .arg(settings->fileName(), WhyNotWritable(settings->fileName()));
        if (QCoreApplication* app = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(
                app,
                [text] {
                    ShowMessageBox(QApplication::activeWindow(), text,
                                   QCoreApplication::translate("PageSettings", "提示"));
                },
                Qt::QueuedConnection);
        }
    }

    const PageSettingsOpener open_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;     // a change, a flush or the end
    std::condition_variable written_;  // a write finished
    std::map<QString, Change> pending_;
    std::uint64_t queued_ = 0;
    std::uint64_t writtenUpTo_ = 0;
    bool flushWanted_ = false;
    bool stopping_ = false;
    bool told_ = false;  // writer thread only: the failure box was shown for this file
    std::thread thread_;
};

std::unique_ptr<SettingsWriter>& Writer() {
    static std::unique_ptr<SettingsWriter> writer;
    return writer;
}

}  // namespace

void SetPageSettingsOpener(PageSettingsOpener open) {
    Writer().reset();  // writes what waits
    if (open)
        Writer() = std::make_unique<SettingsWriter>(std::move(open));
}

QString PageSettingsName(int templateId) {
    switch (templateId) {
        case 129:
            return QStringLiteral("tcpServer");
        case 130:
            return QStringLiteral("tcpClient");
        case 140:
            return QStringLiteral("udpServer");
        case 141:
            return QStringLiteral("udpClient");
        default:
            return QStringLiteral("page%1").arg(templateId);
    }
}

QVariant ReadKeptSetting(const QString& key, const QVariant& fallback) {
    if (!Writer())
        return fallback;
    QVariant value;
    if (Writer()->Pending(key, &value))
        return value;
    const std::unique_ptr<QSettings> settings = Writer()->Opener()();
    return settings ? settings->value(key, fallback) : fallback;
}

void KeepSetting(const QString& key, const QVariant& value) {
    if (Writer())
        Writer()->Keep(key, value);
}

bool ReadPageSetting(const QString& key, bool fallback) {
    return ReadKeptSetting(key, fallback).toBool();
}

void WritePageSetting(const QString& key, bool value) {
    KeepSetting(key, value);
}

void FlushKeptSettings() {
    if (Writer())
        Writer()->Flush();
}

QString ReadPageText(const QString& key) {
    return ReadKeptSetting(key, QString()).toString();
}

void WritePageText(const QString& key, const QString& value) {
    KeepSetting(key, value);
}
