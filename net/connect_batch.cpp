#include "net/connect_batch.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>
#include <unordered_map>
#include <utility>

#include "net/descriptor_reserve.h"
#include "platform/window_messages.h"

namespace {

using Clock = std::chrono::steady_clock;

// How soon the worker posts again after a post failed.
constexpr int kRepostMs = 50;

// A connect in progress on the worker: its target and when it is given up.
struct Flight {
    ConnectTarget target;
    Clock::time_point deadline;
};

ConnectOutcome Failed(std::uint64_t key, int error) {
    return {key, INVALID_SOCKET, error != 0 ? error : ECONNABORTED};
}

// A descriptor whose connect succeeded becomes a blocking handle, as the receive threads
// expect.
ConnectOutcome Connected(std::uint64_t key, int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        const int error = errno;
        ::close(fd);
        return Failed(key, error);
    }
    return {key, AdoptSocket(fd), 0};
}

}  // namespace

ConnectBatch::ConnectBatch(HWND window, UINT message) : window_(window), message_(message) {}

ConnectBatch::~ConnectBatch() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    if (worker_.joinable()) {
        Wake();
        worker_.join();
    }
    for (const ConnectOutcome& outcome : outcomes_) closesocket(outcome.sock);
    if (epollFd_ >= 0)
        ::close(epollFd_);
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

bool ConnectBatch::Start(std::vector<ConnectTarget> targets, std::chrono::milliseconds giveUp) {
    if (!worker_.joinable()) {
        if (wakeFd_ < 0)
            wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (epollFd_ < 0)
            epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
        if (wakeFd_ < 0 || epollFd_ < 0)
            return false;
        epoll_event wake{};
        wake.events = EPOLLIN;
        wake.data.fd = wakeFd_;
        if (::epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd_, &wake) != 0 && errno != EEXIST)
            return false;
        try {
            worker_ = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
            return false;
        }
    }
    {
        std::lock_guard lock(mutex_);
        if (unfinished_ == 0 && outcomes_.empty())
            failures_ = 0;  // a new run
        for (ConnectTarget& target : targets) queue_.push_back({target, giveUp});
        unfinished_ += targets.size();
    }
    Wake();
    return true;
}

std::vector<ConnectOutcome> ConnectBatch::TakeOutcomes() {
    std::vector<ConnectOutcome> taken;
    {
        std::lock_guard lock(mutex_);
        taken.swap(outcomes_);
        posted_ = false;
    }
    for (const ConnectOutcome& outcome : taken) failures_ += outcome.error != 0;
    return taken;
}

void ConnectBatch::Cancel(std::uint64_t key) {
    std::lock_guard lock(mutex_);
    const auto queued = std::find_if(queue_.begin(), queue_.end(),
                                     [&](const Queued& q) { return q.target.key == key; });
    if (queued != queue_.end()) {
        queue_.erase(queued);
        --unfinished_;
        return;
    }
    const auto ended = std::find_if(outcomes_.begin(), outcomes_.end(),
                                    [&](const ConnectOutcome& o) { return o.key == key; });
    if (ended != outcomes_.end()) {
        closesocket(ended->sock);
        outcomes_.erase(ended);
        return;
    }
    if (inFlight_.count(key) != 0 && cancelled_.insert(key).second) {
        --unfinished_;  // the worker closes it and delivers nothing
        Wake();
    }
}

void ConnectBatch::CancelAll() {
    std::lock_guard lock(mutex_);
    unfinished_ -= queue_.size();
    queue_.clear();
    for (const ConnectOutcome& outcome : outcomes_) closesocket(outcome.sock);
    outcomes_.clear();
    cancelled_ = inFlight_;
    unfinished_ = 0;
    if (!cancelled_.empty())
        Wake();
}

bool ConnectBatch::Running() const {
    std::lock_guard lock(mutex_);
    return unfinished_ != 0 || !outcomes_.empty();
}

std::size_t ConnectBatch::PeakInFlight() const {
    std::lock_guard lock(mutex_);
    return peakInFlight_;
}

void ConnectBatch::Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof(one));
}

// Worker thread. Holds mutex_ for a moment per outcome batch, never while connecting.
void ConnectBatch::Deliver(std::vector<ConnectOutcome>& outcomes) {
    if (outcomes.empty())
        return;
    {
        std::lock_guard lock(mutex_);
        for (const ConnectOutcome& outcome : outcomes) {
            inFlight_.erase(outcome.key);
            if (cancelled_.erase(outcome.key) != 0) {
                closesocket(outcome.sock);  // cancelled meanwhile: nobody wants it
                continue;
            }
            --unfinished_;
            outcomes_.push_back(outcome);
        }
    }
    outcomes.clear();
    PostIfDue();
}

// Worker thread. A post that fails (memory ran out) leaves posted_ clear, so the next
// delivery, or the worker's retry while outcomes wait, posts again.
void ConnectBatch::PostIfDue() {
    {
        std::lock_guard lock(mutex_);
        if (posted_ || outcomes_.empty())
            return;
        posted_ = true;
    }
    if (PostMessageW(window_, message_, 0, 0))
        return;
    std::lock_guard lock(mutex_);
    posted_ = false;
}

bool ConnectBatch::PostDue() const {
    std::lock_guard lock(mutex_);
    return !posted_ && !outcomes_.empty();
}

// Worker thread: keeps up to kMaxInFlight non-blocking connects going and waits for them
// (and for Start, Cancel and the destructor, through wakeFd_) in one epoll.
void ConnectBatch::Run() {
    std::unordered_map<int, Flight> flights;  // by descriptor
    std::vector<Queued> starting;
    std::vector<ConnectOutcome> ended;
    std::vector<epoll_event> events(kMaxInFlight + 1);
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                break;
            if (!cancelled_.empty()) {
                for (auto it = flights.begin(); it != flights.end();) {
                    const std::uint64_t key = it->second.target.key;
                    if (cancelled_.erase(key) == 0) {
                        ++it;
                        continue;
                    }
                    ::close(it->first);
                    inFlight_.erase(key);
                    it = flights.erase(it);
                }
            }
            while (flights.size() + starting.size() < kMaxInFlight && !queue_.empty()) {
                inFlight_.insert(queue_.front().target.key);
                starting.push_back(queue_.front());
                queue_.pop_front();
            }
            peakInFlight_ = std::max(peakInFlight_, flights.size() + starting.size());
        }
        const Clock::time_point now = Clock::now();
        for (const Queued& queued : starting) {
            const ConnectTarget& target = queued.target;
            const AddressFamily family = target.address.Family();
            const int fd = ::socket(family == AddressFamily::kIpv6 ? AF_INET6 : AF_INET,
                                    SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (fd < 0 || RefuseIfInReserve(fd)) {
                ended.push_back(Failed(target.key, errno));
                continue;
            }
            sockaddr_storage address{};
            const socklen_t length = target.address.ToSocketAddress(address, family);
            if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0) {
                ended.push_back(Connected(target.key, fd));
                continue;
            }
            const int error = errno;
            epoll_event watch{};
            watch.events = EPOLLOUT;
            watch.data.fd = fd;
            if ((error != EINPROGRESS && error != EINTR) ||
                ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &watch) != 0) {
                ::close(fd);
                ended.push_back(Failed(target.key, error == EINPROGRESS ? errno : error));
                continue;
            }
            flights.emplace(fd, Flight{target, now + queued.giveUp});
        }
        starting.clear();
        Deliver(ended);

        // Targets still queued while there is room (every connect of the round failed at
        // once, for want of descriptors say) are started at once, not after a wake that may
        // never come; outcomes whose post failed are posted again shortly.
        int timeout = PostDue() ? kRepostMs : -1;
        {
            std::lock_guard lock(mutex_);
            if (!queue_.empty() && flights.size() < kMaxInFlight)
                timeout = 0;
        }
        if (!flights.empty()) {
            Clock::time_point first = Clock::time_point::max();
            for (const auto& [fd, flight] : flights) first = std::min(first, flight.deadline);
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(first - Clock::now());
            const int untilFirst =
                static_cast<int>(std::clamp<std::int64_t>(wait.count(), 0, 1000));
            timeout = timeout < 0 ? untilFirst : std::min(timeout, untilFirst);
        }
        const int ready =
            ::epoll_wait(epollFd_, events.data(), static_cast<int>(events.size()), timeout);
        for (int i = 0; i < ready; ++i) {
            const int fd = events[static_cast<std::size_t>(i)].data.fd;
            if (fd == wakeFd_) {
                std::uint64_t count;
                [[maybe_unused]] const ssize_t read = ::read(wakeFd_, &count, sizeof(count));
                continue;
            }
            const auto flight = flights.find(fd);
            if (flight == flights.end())
                continue;
            int error = 0;
            socklen_t length = sizeof(error);
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                error = errno;
            ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
            const std::uint64_t key = flight->second.target.key;
            flights.erase(flight);
            if (error == 0) {
                ended.push_back(Connected(key, fd));
            } else {
                ::close(fd);
                ended.push_back(Failed(key, error));
            }
        }
        const Clock::time_point after = Clock::now();
        for (auto it = flights.begin(); it != flights.end();) {
            if (it->second.deadline > after) {
                ++it;
                continue;
            }
            ::close(it->first);
            ended.push_back(Failed(it->second.target.key, ETIMEDOUT));
            it = flights.erase(it);
        }
        Deliver(ended);
        PostIfDue();
    }
    for (const auto& [fd, flight] : flights) ::close(fd);
}
