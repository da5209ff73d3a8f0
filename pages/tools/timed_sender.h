// TimedSender: sends the same message again and again at a fixed interval, for a number of
// sends or until stopped, through a "send door" the page gives it (the page queues or sends
// the message and logs it as a Send).
//
// It never queues behind a slow peer: when the door says the previous message is still
// waiting, the tick is skipped and counted. Ticks come from a precise timer and are kept on
// the schedule they started with: a tick the event loop ran late is caught up on the next
// one (a few at most), and ticks further behind are counted as skipped rather than sent in
// a burst.
//
// User-interface thread only: the door runs on it, from the event loop.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>

// What one send through the door came to.
struct SendOutcome {
    enum Kind {
        kSent,          // the message went (or was queued with nothing ahead of it)
        kStillWaiting,  // the previous message has not gone yet: this tick is skipped
        kFailed,        // the send failed: the sender stops and reports `failure` once
    };
    Kind kind = kSent;
    QString failure;

    static SendOutcome Sent() { return {kSent, {}}; }
    static SendOutcome StillWaiting() { return {kStillWaiting, {}}; }
    static SendOutcome Failed(QString message) { return {kFailed, std::move(message)}; }
};

class TimedSender : public QObject {
    Q_OBJECT

public:
    using SendDoor = std::function<SendOutcome()>;

    // Why a run ended.
    enum class End {
        kCountReached,  // the number of sends asked for went
        kStopped,       // Stop() (the page: the user, a disconnect, close, delete)
        kFailed,        // a send failed; finished() carries its message
    };

    explicit TimedSender(QObject* parent = nullptr);
    // Ends a run without finished().
    ~TimedSender() override;

    // Starts a run (ending one that runs, as Stop() does): the first send at once from the
    // event loop, then one every `intervalMs` (at least 1), until `count` sends went
    // (0: until stopped). Counts restart at 0.
    void Start(int intervalMs, int count, SendDoor door);
    // Ends the run, if one runs, with finished(kStopped).
    void Stop();

    bool IsRunning() const { return running_; }
    // Of the current or last run: messages sent, and ticks that sent nothing because the
    // previous message was still waiting or the window was too busy to run them on time.
    std::int64_t SentCount() const { return sent_; }
    std::int64_t SkippedCount() const { return skipped_; }
    int IntervalMs() const { return intervalMs_; }
    int Count() const { return count_; }

signals:
    // The run ended; `failure` is the failed send's message (kFailed), else empty. Emitted
    // once per run, after the sender stopped: a handler may Start() again.
    void finished(TimedSender::End end, const QString& failure);

private:
    void OnTick();
    void Finish(End end, const QString& failure);

    QTimer timer_;
    SendDoor door_;
    int intervalMs_ = 0;
    int count_ = 0;
    bool running_ = false;
    bool inDoor_ = false;    // a door that turns the event loop must not be entered again
    std::uint64_t run_ = 0;  // bumped by every Start and end: a stale first tick does nothing
    std::chrono::steady_clock::time_point started_;
    std::int64_t ticksDone_ = 0;  // ticks run or skipped since the start
    std::int64_t sent_ = 0;
    std::int64_t skipped_ = 0;
};
