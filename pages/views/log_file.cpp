#include "pages/views/log_file.h"

#include <QMetaObject>
#include <QSaveFile>
#include <chrono>
#include <string>

#include "net/compact_log.h"
#include "net/crit_sec.h"
#include "net/file_writeback.h"

namespace {

// Holds g_connectLock from a worker thread, giving up when `stop` is set meanwhile.
class TriedLock {
public:
    explicit TriedLock(const std::atomic<bool>& stop) {
        while (!(held_ = g_connectLock.TryEnter())) {
            if (stop.load())
                return;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    ~TriedLock() {
        if (held_)
            g_connectLock.Leave();
    }
    bool Held() const { return held_; }

private:
    bool held_ = false;
};

}  // namespace

bool SaveLogToFile(const CompactLog& log, std::size_t lines, const QString& path, LogForm form,
                   bool milliseconds, const std::atomic<bool>& stop,
                   std::atomic<std::size_t>& done) {
    // Written to a temporary file and renamed at the end: a failed save leaves whatever
    // file was there.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // About this many characters per batch: short holds of the lock, little memory.
    constexpr std::uint64_t kBatchSize = 1024 * 1024;
    std::uint64_t generation = 0;
    std::uint64_t written = 0;
    std::string bytes, plain;
    for (std::size_t first = 0, end = 0; first < lines; first = end) {
        bytes.clear();
        {
            TriedLock lock(stop);
            if (!lock.Held() || stop.load())
                break;
            if (first == 0)
                generation = log.Generation();
            else if (log.Generation() != generation)
                break;  // cleared: the lines to save are gone
            end = first + 1;
            while (end < lines && MeasureLogLines(log, first, end + 1, form) <= kBatchSize) ++end;
            // Lines of plain text go as they are; runs of the others through UTF-16.
            std::size_t convertFrom = first;
            const auto convert = [&](std::size_t upTo) {
                if (upTo > convertFrom) {
                    const std::u16string text =
                        LogLinesText(log, convertFrom, upTo - convertFrom, form, milliseconds);
                    bytes += QStringView(text).toUtf8().toStdString();
                }
            };
            for (std::size_t line = first; form == LogForm::Text && line < end; ++line) {
                const std::size_t at = bytes.size();
                if (!log.AppendPlainLineUtf8(line, milliseconds, bytes))
                    continue;
                // The converted lines before it go before it.
                if (convertFrom < line) {
                    plain.assign(bytes, at);
                    bytes.resize(at);
                    convert(line);
                    bytes += plain;
                }
                convertFrom = line + 1;
            }
            convert(end);
        }
        if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
                static_cast<qint64>(bytes.size()) ||
            !file.flush())
            break;
        // The disk starts on each batch at once, so the last one is all the commit waits for.
        StartWriteback(file.handle(), written, bytes.size());
        written += bytes.size();
        done.store(end, std::memory_order_relaxed);
    }
    if (done.load() < lines || stop.load()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

LogSaver::LogSaver(const CompactLog& log, std::size_t lines, QString path, LogForm form,
                   bool milliseconds, QObject* parent)
    : QObject(parent),
      log_(log),
      lines_(lines),
      path_(std::move(path)),
      form_(form),
      milliseconds_(milliseconds) {}

LogSaver::~LogSaver() {
    stop_.store(true);
    if (thread_.joinable())
        thread_.join();
}

void LogSaver::Start() {
    thread_ = std::thread([this] {
        const bool saved = SaveLogToFile(log_, lines_, path_, form_, milliseconds_, stop_, done_);
        // Queued to the window's thread (this object lives there until the thread is
        // joined); a saver destroyed meanwhile takes the call with it.
        QMetaObject::invokeMethod(
            this,
            [this, saved] {
                if (thread_.joinable())
                    thread_.join();
                emit finished(saved && !Cancelled());
            },
            Qt::QueuedConnection);
    });
}
