// Many TCP connects at once without blocking anyone: one worker thread opens non-blocking
// sockets and connects them, at most kMaxInFlight at a time, and hands each outcome back
// through the message layer. For the TCP client page's "connect every entry". Free of Qt.
//
// Threads: every member function runs on the thread that owns `window` (the user-interface
// thread); the worker only takes the batch's own mutex, never g_connectLock, and only posts
// (never sends) to the window, so it can never wait for the window.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <vector>

#include "net/endpoint.h"
#include "net/socket_handle.h"
#include "platform/win_types.h"

// One connect to make: `key` is the caller's name for it (a record's id).
struct ConnectTarget {
    std::uint64_t key = 0;
    Endpoint address;
};

// How one connect ended. Connected: `sock` is an open, blocking socket handle that now
// belongs to the caller, `error` is 0. Failed: `sock` is INVALID_SOCKET and `error` the errno
// (ECONNREFUSED, ETIMEDOUT once the give-up time passed, EMFILE, ...).
struct ConnectOutcome {
    std::uint64_t key = 0;
    SOCKET sock = INVALID_SOCKET;
    int error = 0;
};

class ConnectBatch {
public:
    static constexpr std::size_t kMaxInFlight = 256;
    static constexpr std::chrono::milliseconds kGiveUpTime{20000};

    // Outcomes are announced by posting `message` (wParam 0, lParam 0) to `window` whenever
    // some are waiting to be taken: one post for all that arrive until the next take. A post
    // that fails is made again shortly, until one gets through. The socket of a connect
    // fails with EMFILE when only the descriptors kept for the window are left.
    ConnectBatch(HWND window, UINT message);
    // Cancels everything, waits for the worker (which never blocks) and closes the sockets
    // of outcomes never taken.
    ~ConnectBatch();
    ConnectBatch(const ConnectBatch&) = delete;
    ConnectBatch& operator=(const ConnectBatch&) = delete;

    // Queues `targets` to be connected in order, each given up after `giveUp`. Added to a
    // run in progress, or a new run (failures counted from zero) when none is. False when
    // the worker thread could not start: nothing is queued.
    bool Start(std::vector<ConnectTarget> targets, std::chrono::milliseconds giveUp = kGiveUpTime);
    // The outcomes that arrived since the last take, in the order they ended.
    std::vector<ConnectOutcome> TakeOutcomes();
    // Forgets the connect of `key` wherever it is (queued, in flight, or ended but not yet
    // taken): no outcome for it is taken afterwards, and its socket is closed.
    void Cancel(std::uint64_t key);
    void CancelAll();

    // True until every target has an outcome taken or was cancelled: when it turns false
    // after a take, the run is over and Failures() is its count of failed connects.
    bool Running() const;
    std::size_t Failures() const { return failures_; }
    // The most connects that were in flight at once in this batch's life (for tests).
    std::size_t PeakInFlight() const;

private:
    struct Queued {
        ConnectTarget target;
        std::chrono::milliseconds giveUp;
    };
    void Run();  // worker thread
    void Wake();
    // Worker: hands outcomes over (dropping those cancelled meanwhile) and posts once.
    void Deliver(std::vector<ConnectOutcome>& outcomes);
    // Worker: posts when outcomes wait and no post is on its way.
    void PostIfDue();
    bool PostDue() const;

    const HWND window_;
    const UINT message_;
    int wakeFd_ = -1;  // eventfd: the worker's epoll wakes on it
    int epollFd_ = -1;
    std::thread worker_;

    mutable std::mutex mutex_;
    std::deque<Queued> queue_;                     // guarded by mutex_
    std::unordered_set<std::uint64_t> inFlight_;   // keys the worker took; mutex_
    std::unordered_set<std::uint64_t> cancelled_;  // of those, cancelled; mutex_
    std::vector<ConnectOutcome> outcomes_;         // not yet taken; mutex_
    std::size_t unfinished_ = 0;                   // queued or in flight, not cancelled; mutex_
    std::size_t peakInFlight_ = 0;                 // mutex_
    bool posted_ = false;                          // a post is on its way; mutex_
    bool stopping_ = false;                        // mutex_

    std::size_t failures_ = 0;  // user-interface thread only
};
