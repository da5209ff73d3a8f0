#include "pages/views/log_file.h"

#include <QSaveFile>
#include <QString>
#include <cstdint>
#include <string>

#include "net/compact_log.h"
#include "net/crit_sec.h"

bool SaveLogToFile(const CompactLog& log, std::size_t lines, const QString& path, LogForm form,
                   bool milliseconds) {
    // Written to a temporary file and renamed at the end: a failed save leaves whatever
    // file was there.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // About this many characters per batch: short holds of the lock, little memory.
    constexpr std::uint64_t kBatchSize = 4 * 1024 * 1024;
    for (std::size_t first = 0, end = 0; first < lines; first = end) {
        std::u16string text;
        {
            UiCritSecGuard lock(g_connectLock);
            end = first + 1;
            while (end < lines && MeasureLogLines(log, first, end + 1, form) <= kBatchSize) ++end;
            text = LogLinesText(log, first, end - first, form, milliseconds);
        }
        const QByteArray bytes = QStringView(text).toUtf8();
        if (file.write(bytes) != bytes.size()) {
            file.cancelWriting();
            return false;
        }
    }
    return file.commit();
}
