// Saving a record's whole log to a file, so that nothing logged is out of the user's reach
// however little of it the views hold.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>

#include "pages/views/log_lines.h"

class CompactLog;

// Writes lines [0, lines) of `log` to `path` (created or replaced) as UTF-8 text in `form`,
// as the view shows them. Reads a batch of lines at a time under g_connectLock, so receive
// threads go on logging between batches (lines already written never change); the lock is
// only tried, so that `stop` is seen even while the lock is held for long. `done` counts the
// lines written. A worker thread (never the window's: the disk may be slow). False if the
// file cannot be written, the log was cleared meanwhile (its generation changed) or `stop`
// was set; a failed save leaves whatever file was there.
bool SaveLogToFile(const CompactLog& log, std::size_t lines, const QString& path, LogForm form,
                   bool milliseconds, const std::atomic<bool>& stop,
                   std::atomic<std::size_t>& done);

// One save of a log on a thread of its own. The window's thread starts it, may cancel it
// and hears `finished` (queued to it) when the thread is done. Destroying it cancels and
// waits for the thread.
class LogSaver : public QObject {
    Q_OBJECT

public:
    LogSaver(const CompactLog& log, std::size_t lines, QString path, LogForm form,
             bool milliseconds, QObject* parent = nullptr);
    ~LogSaver() override;

    const CompactLog* Log() const { return &log_; }
    std::size_t Lines() const { return lines_; }
    std::size_t LinesDone() const { return done_.load(std::memory_order_relaxed); }

    void Start();
    // Stops the save; the file is left as it was. Any time.
    void Cancel() { stop_.store(true); }
    // The log is about to be freed or cleared: the thread reads it no more. The caller holds
    // g_connectLock, so the thread, which reads only under it, cannot be reading it now.
    void Abandon() { stop_.store(true); }
    bool Cancelled() const { return stop_.load(); }

signals:
    // Written whole (`saved`), or not (failed or cancelled).
    void finished(bool saved);

private:
    const CompactLog& log_;
    const std::size_t lines_;
    const QString path_;
    const LogForm form_;
    const bool milliseconds_;
    std::atomic<bool> stop_{false};
    std::atomic<std::size_t> done_{0};
    std::thread thread_;
};
