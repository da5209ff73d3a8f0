#include "pages/tools/reading_pause.h"

#include "pages/core/dialog_p.h"

void ReadingPause::Check(ConnectInfo* record, std::uint64_t waiting) {
    if (waiting > kMaxWaiting) {
        if (paused_.insert(record).second)
            page_.SetReadingPaused(record, true);
    } else if (waiting <= kResumeAt && paused_.erase(record) != 0) {
        page_.SetReadingPaused(record, false);
    }
}

void ReadingPause::ResumeAll() {
    const std::set<const ConnectInfo*> paused = std::move(paused_);
    paused_.clear();
    for (const ConnectInfo* record : paused)
        page_.SetReadingPaused(const_cast<ConnectInfo*>(record), false);
}

void ReadingPause::ReceptionEnded(ConnectInfo& record) {
    Forget(&record);
    record.receivePaused = false;
}
