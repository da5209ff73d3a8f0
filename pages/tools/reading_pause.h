// ReadingPause: what the answering tools (echo, reply rules) share to keep a TCP peer that
// does not read from filling memory with answers: beyond kMaxWaiting bytes of answers waiting
// for a peer, the page stops reading from it, and reads again once they are down to
// kResumeAt. User-interface thread; Forget also inside the WM_CONNECT_DATA handler.
#pragma once

#include <cstdint>
#include <set>

class CDialogP;
struct ConnectInfo;

class ReadingPause {
public:
    static constexpr std::uint64_t kMaxWaiting = 16u << 20;
    static constexpr std::uint64_t kResumeAt = kMaxWaiting / 2;

    explicit ReadingPause(CDialogP& page) : page_(page) {}

    // `waiting` bytes of answers wait for `record`'s peer: pauses its reading beyond the
    // limit, resumes it once they are down to kResumeAt.
    void Check(ConnectInfo* record, std::uint64_t waiting);
    // The record's reception ended or it is about to be freed: nothing to resume.
    void Forget(const ConnectInfo* record) { paused_.erase(record); }
    // The record's reception ended: nothing to resume, and nothing holds its reading back.
    // Inside the WM_CONNECT_DATA handler, whose worker holds the lock.
    void ReceptionEnded(ConnectInfo& record);
    // Every paused record reads again (the tool was switched off).
    void ResumeAll();

private:
    CDialogP& page_;
    std::set<const ConnectInfo*> paused_;
};
