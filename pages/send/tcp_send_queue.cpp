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

#include "net/worker_thread.h"
#include "pages/send/file_source.h"

namespace {

// Bytes per send call: small enough that a peer's progress shows, large enough that a big
// message costs few calls.
constexpr std::size_t kChunk = 4096;
// How long Queue waits for a message on an idle connection to go: a peer that reads
// takes it in far less, so the page logs it at once, as a direct send would.
constexpr auto kQuickSend = std::chrono::milliseconds(100);

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
    std::deque<Message> waiting;     // the front one is being written
    std::size_t frontWent = 0;       // bytes of the front message the system has taken
    std::uint64_t waitingBytes = 0;  // bytes of `waiting` not taken yet
    std::uint64_t taken = 0;         // bytes taken over the channel's life (progress)
    std::deque<Message> delivered;   // gone, not yet reported
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
int SendAll(SOCKET sock, const char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const int sent = SendSocket(sock, data + done, static_cast<int>(size - done));
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
        const SOCKET sock = channel->sock;
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
                    sent = SendAll(sock, fileBuffer.get(), static_cast<std::size_t>(read));
                fileFailed = read <= 0;  // unreadable, or shorter than when it was opened
                lock.lock();
            }
        } else {
            const std::size_t length = std::min(kChunk, front.bytes.size() - went);
            std::memcpy(buffer, front.bytes.data() + went, length);
            if (length > 0) {
                lock.unlock();
                do {
                    sent = SendSocket(sock, buffer, static_cast<int>(length));
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

}  // namespace

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
        entry.channel->owner = this;
    }
    const std::shared_ptr<Channel> channel = entry.channel;

    bool wasIdle = false;
    bool start = false;
    {
        std::lock_guard lock(channel->mutex);
        wasIdle = channel->waiting.empty();
        channel->waitingBytes += Size(message);
        channel->waiting.push_back(std::move(message));
        start = !channel->running;
        channel->running = true;
    }
    if (wasIdle) {
        entry.progressSeen = 0;
        entry.lastProgress = std::chrono::steady_clock::now();
        entry.stallReported = false;
        std::lock_guard lock(channel->mutex);
        entry.progressSeen = channel->taken;
    }
    if (start) {
        auto* handed = new std::shared_ptr<Channel>(channel);
        if (StartWorkerThread(SendWaiting, static_cast<void*>(handed)) == 0) {
            delete handed;
            // Nothing to write with: the message is taken back whole (nothing of it went,
            // since nothing was waiting before it); the connection is fine.
            {
                std::lock_guard lock(channel->mutex);
                channel->running = false;
                channel->waitingBytes -= Size(channel->waiting.back());
                channel->waiting.pop_back();
            }
            Drain();
            UpdateTimer();
            return false;
        }
    }
    if (wasIdle && waitBriefly) {
        std::unique_lock lock(channel->mutex);
        channel->changed.wait_for(lock, kQuickSend, [&] {
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
