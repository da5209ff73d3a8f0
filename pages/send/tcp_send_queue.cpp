#include "pages/send/tcp_send_queue.h"

#include <errno.h>

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

#include "net/connection_stream.h"
#include "net/worker_thread.h"
#include "pages/send/file_source.h"

namespace {

// Bytes per send call: small enough that a peer's progress shows, large enough that a big
// message costs few calls.
constexpr std::size_t kChunk = 4096;
// How long Queue waits for a message on an idle connection to go: a peer that reads
// takes it in far less, so the page logs it at once, as a direct send would.
constexpr auto kQuickSend = std::chrono::milliseconds(100);

// The most of a message the window writes itself before a sender takes over.
constexpr std::size_t kAtOnceLimit = 1024 * 1024;

// Bytes per read and send of a file: larger, since a file is usually big and each chunk
// costs a read as well.
constexpr std::size_t kFileChunk = 64 * 1024;

const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

}  // namespace

// One connection's queue, shared by the user-interface thread and the connection's sender
// thread. Every field is guarded by `mutex`.
struct TcpSendQueue::Channel {
    std::mutex mutex;
    std::condition_variable changed;
    SOCKET sock = INVALID_SOCKET;
    std::shared_ptr<ConnectionStream> stream;  // of `sock`; set once, before any sender
    std::deque<Message> waiting;               // the front one is being written
    std::size_t frontWent = 0;                 // bytes of the front message the system has taken
    std::uint64_t waitingBytes = 0;            // bytes of `waiting` not taken yet
    std::uint64_t taken = 0;                   // bytes taken over the channel's life (progress)
    std::deque<Message> delivered;             // gone, not yet reported
    bool failed = false;
    bool running = false;    // a sender thread serves the channel
    bool abandoned = false;  // the sender stops at its next step
    bool forgotten = false;  // dropped by the page: nothing more is reported
    bool wakePosted = false;
    TcpSendQueue* owner = nullptr;

    // Sender thread, mutex held: asks the owner to drain, once per batch.
    void WakeOwner() {
        if (abandoned || owner == nullptr || wakePosted)
            return;
        wakePosted = true;
        // Posted while `mutex` is held: the owner marks every channel abandoned, under
        // this mutex, before it is destroyed, so it is still alive here.
        QCoreApplication::postEvent(owner, new QEvent(kWakeEvent));
    }
};

namespace {

// Sends all `size` bytes (a file's chunk, read once); the bytes sent, or SOCKET_ERROR when
// the connection failed. Sender thread, no lock held.
int SendAll(ConnectionStream& stream, const char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const int sent = stream.Write(data + done, static_cast<int>(size - done));
        if (sent == SOCKET_ERROR) {
            if (errno == EINTR)
                continue;
            return SOCKET_ERROR;
        }
        done += static_cast<std::size_t>(sent);
    }
    return static_cast<int>(done);
}

// Sender thread of one channel: writes until the queue is empty, a send fails or the
// page forgets the channel. Takes no lock but the channel's.
void SendWaiting(void* context) {
    auto* handed = static_cast<std::shared_ptr<TcpSendQueue::Channel>*>(context);
    const std::shared_ptr<TcpSendQueue::Channel> channel = std::move(*handed);
    delete handed;

    char buffer[kChunk];
    std::unique_ptr<char[]> fileBuffer;  // made for the first file
    std::unique_lock lock(channel->mutex);
    while (!channel->abandoned && !channel->waiting.empty()) {
        // Elements of a deque stay in place while others are added behind them, and only
        // this thread removes the front.
        TcpSendQueue::Message& front = channel->waiting.front();
        const std::size_t went = channel->frontWent;
        ConnectionStream& stream = *channel->stream;
        int sent = 0;
        bool fileFailed = false;
        if (front.file) {
            const std::uint64_t left = front.file->Size() - went;
            const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(kFileChunk, left));
            if (length > 0) {
                lock.unlock();
                if (!fileBuffer)
                    fileBuffer = std::make_unique<char[]>(kFileChunk);
                const std::ptrdiff_t read = front.file->ReadAt(went, fileBuffer.get(), length);
                if (read > 0)
                    sent = SendAll(stream, fileBuffer.get(), static_cast<std::size_t>(read));
                fileFailed = read <= 0;  // unreadable, or shorter than when it was opened
                lock.lock();
            }
        } else {
            const std::size_t length = std::min(kChunk, front.bytes.size() - went);
            std::memcpy(buffer, front.bytes.data() + went, length);
            if (length > 0) {
                lock.unlock();
                do {
                    sent = stream.Write(buffer, static_cast<int>(length));
                } while (sent == SOCKET_ERROR && errno == EINTR);
                lock.lock();
            }
        }
        if (sent == SOCKET_ERROR) {
            channel->failed = true;
            channel->WakeOwner();
            break;
        }
        channel->frontWent += static_cast<std::size_t>(sent);
        channel->taken += static_cast<std::uint64_t>(sent);
        channel->waitingBytes -= static_cast<std::uint64_t>(sent);
        front.fileFailed = fileFailed;
        if (fileFailed) {
            front.fileWent = channel->frontWent;
            channel->waitingBytes -= TcpSendQueue::Size(front) - channel->frontWent;
        } else if (front.file) {
            front.fileWent = channel->frontWent;
        }
        if (fileFailed || channel->frontWent == TcpSendQueue::Size(front)) {
            channel->delivered.push_back(std::move(front));
            channel->waiting.pop_front();
            channel->frontWent = 0;
            channel->WakeOwner();
        }
        channel->changed.notify_all();
    }
    channel->running = false;
    channel->changed.notify_all();
}

// User-interface thread, the channel's mutex held, nothing waiting and no sender: writes
// what the system takes of a message of bytes without waiting (a file always goes through
// the sender, which reads it). The bytes written; a failed connection marks the channel.
std::size_t WriteAtOnce(TcpSendQueue::Channel& channel, const TcpSendQueue::Message& message) {
    if (message.file || message.bytes.empty())
        return 0;
    // Bounded, so that a peer reading as fast as the window writes cannot hold the window:
    // the rest of a long message goes through the sender.
    const std::size_t limit = std::min(kAtOnceLimit, message.bytes.size());
    std::size_t went = 0;
    while (went < limit) {
        const std::size_t length = std::min(kChunk * 16, limit - went);
        const int sent =
            channel.stream->WriteNow(message.bytes.data() + went, static_cast<int>(length));
        if (sent == SOCKET_ERROR) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                channel.failed = true;
            break;
        }
        went += static_cast<std::size_t>(sent);
    }
    return went;
}

}  // namespace

// User-interface thread: starts the channel's sender thread (the caller has set `running`).
// False when no thread could be started.
static bool StartSender(const std::shared_ptr<TcpSendQueue::Channel>& channel) {
    auto* handed = new std::shared_ptr<TcpSendQueue::Channel>(channel);
    if (StartWorkerThread(SendWaiting, static_cast<void*>(handed)) != 0)
        return true;
    delete handed;
    return false;
}

TcpSendQueue::TcpSendQueue(QObject* parent) : QObject(parent), stallTimer_(new QTimer(this)) {
    connect(stallTimer_, &QTimer::timeout, this, [this] { CheckStalls(); });
    SetStallTimeoutForTesting(stallTimeout_);
}

TcpSendQueue::~TcpSendQueue() {
    ForgetAll();
}

void TcpSendQueue::SetStallTimeoutForTesting(std::chrono::milliseconds timeout) {
    stallTimeout_ = timeout;
    // Checked often enough that the report comes close to the time, rarely enough to cost
    // nothing.
    stallTimer_->setInterval(static_cast<int>(
        std::clamp<std::chrono::milliseconds::rep>(timeout.count() / 10, 10, 500)));
}

bool TcpSendQueue::Queue(ConnectInfo* record, SOCKET sock, Message message) {
    return Enqueue(record, sock, std::move(message), true);
}

bool TcpSendQueue::QueueWithoutWaiting(ConnectInfo* record, SOCKET sock, Message message) {
    return Enqueue(record, sock, std::move(message), false);
}

bool TcpSendQueue::Enqueue(ConnectInfo* record, SOCKET sock, Message message, bool waitBriefly) {
    Entry& entry = entries_[record];
    if (entry.channel) {
        std::lock_guard lock(entry.channel->mutex);
        // A queue that failed, or that served a socket the record no longer has, is done.
        if (entry.channel->failed || entry.channel->sock != sock) {
            entry.channel->abandoned = true;
            entry.channel->forgotten = true;
            entry.channel.reset();
        }
    }
    if (!entry.channel) {
        entry = Entry{};
        entry.channel = std::make_shared<Channel>();
        entry.channel->sock = sock;
        entry.channel->stream = StreamOf(sock);
        entry.channel->owner = this;
    }
    const std::shared_ptr<Channel> channel = entry.channel;

    bool wasIdle = false;
    bool start = false;
    {
        std::lock_guard lock(channel->mutex);
        wasIdle = channel->waiting.empty() && !channel->running;
        const std::size_t went = wasIdle ? WriteAtOnce(*channel, message) : 0;
        if (channel->failed) {
            channel->WakeOwner();
        } else if (!message.file && went == message.bytes.size()) {
            // Gone whole at once: reported as gone now, and no sender is needed.
            channel->taken += went;
            channel->delivered.push_back(std::move(message));
        } else {
            channel->waitingBytes += Size(message) - went;
            if (wasIdle)  // it is the front message; otherwise the front one is the sender's
                channel->frontWent = went;
            channel->taken += went;
            channel->waiting.push_back(std::move(message));
            start = !channel->running;
            channel->running = true;
        }
    }
    if (wasIdle) {
        entry.progressSeen = 0;
        entry.lastProgress = std::chrono::steady_clock::now();
        entry.stallReported = false;
        std::lock_guard lock(channel->mutex);
        entry.progressSeen = channel->taken;
    }
    if (start && !StartSender(channel)) {
        // Nothing to write with. The new message is taken back whole when nothing of it went
        // (the connection is fine and the caller may try again); part of a message that went
        // at once cannot be: its rest waits, and a sender is tried again with the stall checks.
        bool takenBack = false;
        {
            std::lock_guard lock(channel->mutex);
            channel->running = false;
            if (channel->waiting.size() > 1 || channel->frontWent == 0) {
                channel->waitingBytes -= Size(channel->waiting.back());
                channel->waiting.pop_back();
                takenBack = true;
            }
        }
        if (takenBack) {
            Drain();
            UpdateTimer();
            return false;
        }
    }
    if (wasIdle && waitBriefly) {
        std::unique_lock lock(channel->mutex);
        channel->changed.wait_for(lock, kQuickSend, [&] {
            // (Nothing waits when the message went at once.)
            return channel->waiting.empty() || channel->failed || !channel->running;
        });
    }
    Drain();
    UpdateTimer();
    return true;
}

std::uint64_t TcpSendQueue::Size(const Message& message) {
    return message.file ? message.file->Size() : message.bytes.size();
}

std::optional<TcpSendQueue::Progress> TcpSendQueue::FrontProgress(const ConnectInfo* record) const {
    const auto found = entries_.find(const_cast<ConnectInfo*>(record));
    if (found == entries_.end())
        return std::nullopt;
    const Channel& channel = *found->second.channel;
    std::lock_guard lock(found->second.channel->mutex);
    if (channel.waiting.empty() || channel.failed)
        return std::nullopt;
    return Progress{channel.frontWent, Size(channel.waiting.front())};
}

std::uint64_t TcpSendQueue::WaitingBytes(const ConnectInfo* record) const {
    const auto found = entries_.find(const_cast<ConnectInfo*>(record));
    if (found == entries_.end())
        return 0;
    const Channel& channel = *found->second.channel;
    std::lock_guard lock(found->second.channel->mutex);
    if (channel.failed)
        return 0;
    std::uint64_t waiting = 0;
    for (const Message& message : channel.waiting) waiting += Size(message);
    return waiting - std::min<std::uint64_t>(waiting, channel.frontWent);
}

bool TcpSendQueue::HasPending(const ConnectInfo* record) const {
    const auto found = entries_.find(const_cast<ConnectInfo*>(record));
    if (found == entries_.end())
        return false;
    std::lock_guard lock(found->second.channel->mutex);
    return !found->second.channel->waiting.empty() || !found->second.channel->delivered.empty();
}

std::uint64_t TcpSendQueue::PendingBytes(const ConnectInfo* record) const {
    const auto found = entries_.find(const_cast<ConnectInfo*>(record));
    if (found == entries_.end())
        return 0;
    std::lock_guard lock(found->second.channel->mutex);
    return found->second.channel->failed ? 0 : found->second.channel->waitingBytes;
}

void TcpSendQueue::Forget(const ConnectInfo* record) {
    const auto found = entries_.find(const_cast<ConnectInfo*>(record));
    if (found == entries_.end())
        return;
    {
        std::lock_guard lock(found->second.channel->mutex);
        found->second.channel->abandoned = true;
        found->second.channel->forgotten = true;
    }
    entries_.erase(found);
    UpdateTimer();
}

void TcpSendQueue::ForgetAll() {
    for (auto& [record, entry] : entries_) {
        std::lock_guard lock(entry.channel->mutex);
        entry.channel->abandoned = true;
        entry.channel->forgotten = true;
    }
    entries_.clear();
    UpdateTimer();
}

bool TcpSendQueue::event(QEvent* event) {
    if (event->type() == kWakeEvent) {
        Drain();
        UpdateTimer();
        return true;
    }
    return QObject::event(event);
}

void TcpSendQueue::Drain() {
    struct Report {
        ConnectInfo* record;
        std::shared_ptr<Channel> channel;
        std::deque<Message> delivered;
        bool failed;
    };
    std::vector<Report> reports;
    for (auto it = entries_.begin(); it != entries_.end();) {
        const std::shared_ptr<Channel> channel = it->second.channel;
        Report report{it->first, channel, {}, false};
        bool finished = false;
        {
            std::lock_guard lock(channel->mutex);
            channel->wakePosted = false;
            report.delivered.swap(channel->delivered);
            report.failed = channel->failed;
            finished = channel->failed || (!channel->running && channel->waiting.empty());
            if (channel->failed)
                channel->abandoned = true;  // one report; later messages are dropped
        }
        it = finished ? entries_.erase(it) : std::next(it);
        if (!report.delivered.empty() || report.failed)
            reports.push_back(std::move(report));
    }
    // The callbacks may show message boxes, whose loops run further drains, or make the
    // page forget records: each report is made only while its channel is not forgotten.
    const auto forgotten = [](Channel& channel) {
        std::lock_guard lock(channel.mutex);
        return channel.forgotten;
    };
    for (Report& report : reports) {
        for (const Message& message : report.delivered) {
            if (forgotten(*report.channel) || !onDelivered)
                break;
            onDelivered(report.record, message);
        }
        if (report.failed && onFailed && !forgotten(*report.channel))
            onFailed(report.record, report.channel->sock);
    }
}

void TcpSendQueue::CheckStalls() {
    struct Report {
        ConnectInfo* record;
        std::shared_ptr<Channel> channel;
        Message message;
        std::size_t went;
    };
    std::vector<Report> reports;
    const auto now = std::chrono::steady_clock::now();
    for (auto& [record, entry] : entries_) {
        // Bytes left waiting when no sender could be started: try again.
        bool restart = false;
        {
            std::lock_guard lock(entry.channel->mutex);
            restart = !entry.channel->running && !entry.channel->waiting.empty() &&
                      !entry.channel->failed && !entry.channel->abandoned;
            entry.channel->running = entry.channel->running || restart;
        }
        if (restart && !StartSender(entry.channel)) {
            std::lock_guard lock(entry.channel->mutex);
            entry.channel->running = false;
        }
        std::lock_guard lock(entry.channel->mutex);
        const Channel& channel = *entry.channel;
        if (channel.waiting.empty() || channel.failed)
            continue;
        if (channel.taken != entry.progressSeen) {
            entry.progressSeen = channel.taken;
            entry.lastProgress = now;
            entry.stallReported = false;
        } else if (!entry.stallReported && now - entry.lastProgress >= stallTimeout_) {
            entry.stallReported = true;
            reports.push_back({record, entry.channel, channel.waiting.front(), channel.frontWent});
        }
    }
    for (const Report& report : reports) {
        bool forgotten = false;
        {
            std::lock_guard lock(report.channel->mutex);
            forgotten = report.channel->forgotten;
        }
        if (!forgotten && onStalled)
            onStalled(report.record, report.message, report.went);
    }
    UpdateTimer();
}

void TcpSendQueue::UpdateTimer() {
    bool waiting = false;
    for (const auto& [record, entry] : entries_) {
        std::lock_guard lock(entry.channel->mutex);
        if (!entry.channel->waiting.empty() && !entry.channel->failed) {
            waiting = true;
            break;
        }
    }
    if (waiting && !stallTimer_->isActive())
        stallTimer_->start();
    else if (!waiting && stallTimer_->isActive())
        stallTimer_->stop();
}
