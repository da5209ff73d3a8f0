#include "pages/tools/timed_sender.h"

#include <algorithm>

namespace {

// Ticks a late timer event may still run; more behind are skipped, so that a window busy
// for a while does not answer with a burst.
constexpr std::int64_t kMaxCatchUp = 4;

}  // namespace

TimedSender::TimedSender(QObject* parent) : QObject(parent) {
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &TimedSender::OnTick);
}

TimedSender::~TimedSender() {
    timer_.stop();
    running_ = false;
}

void TimedSender::Start(int intervalMs, int count, SendDoor door) {
    Stop();
    door_ = std::move(door);
    intervalMs_ = std::max(1, intervalMs);
    count_ = std::max(0, count);
    sent_ = 0;
    skipped_ = 0;
    ticksDone_ = 0;
    running_ = true;
    const std::uint64_t run = ++run_;
    started_ = std::chrono::steady_clock::now();
    timer_.start(intervalMs_);
    // The first send at once, but from the event loop, as every later one.
    QTimer::singleShot(0, this, [this, run] {
        if (run == run_)
            OnTick();
    });
}

void TimedSender::Stop() {
    if (running_)
        Finish(End::kStopped, {});
}

void TimedSender::OnTick() {
    if (!running_ || inDoor_)
        return;
    using namespace std::chrono;
    const auto elapsed = duration_cast<microseconds>(steady_clock::now() - started_).count();
    const std::int64_t due = elapsed / (std::int64_t{intervalMs_} * 1000) + 1;  // tick 0 at once
    std::int64_t toRun = due - ticksDone_;
    if (toRun <= 0)
        return;  // the first tick's own event came after the timer's
    if (toRun > kMaxCatchUp) {
        skipped_ += toRun - kMaxCatchUp;
        toRun = kMaxCatchUp;
    }
    ticksDone_ = due;
    const std::uint64_t run = run_;
    for (std::int64_t i = 0; i < toRun; ++i) {
        inDoor_ = true;
        const SendOutcome outcome = door_();
        inDoor_ = false;
        if (run != run_)
            return;  // the door's page stopped or restarted the run meanwhile
        switch (outcome.kind) {
            case SendOutcome::kSent:
                ++sent_;
                if (count_ > 0 && sent_ >= count_) {
                    Finish(End::kCountReached, {});
                    return;
                }
                break;
            case SendOutcome::kStillWaiting:
                ++skipped_;
                break;
            case SendOutcome::kFailed:
                Finish(End::kFailed, outcome.failure);
                return;
        }
    }
}

void TimedSender::Finish(End end, const QString& failure) {
    timer_.stop();
    running_ = false;
    ++run_;
    emit finished(end, failure);
}
