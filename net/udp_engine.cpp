#include "net/udp_engine.h"

#include <errno.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "net/dual_stack.h"
#include "net/engine_registry.h"
#include "net/udp_membership.h"
#include "net/unserved_record.h"
#include "net/worker_thread.h"
#include "platform/allocation_fault.h"
#include "platform/window_messages.h"

namespace {

// Room for the largest datagram IPv4 can carry, plus the NUL after it: a datagram is
// never cut.
constexpr int kLargestDatagram = 65535;
// Socket receive buffer asked for on every UDP socket the engine serves.
constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;
// Datagrams read but not yet handed to the page, at most: beyond this the reading thread
// waits and the socket's own buffer takes the rest.
constexpr std::size_t kQueuedBytesLimit = 32u << 20;
constexpr std::size_t kQueuedDatagramsLimit = 1u << 20;
// Datagrams, and records notified, under one hold of g_connectLock at most, so that the
// user-interface thread never waits long for the lock behind a large batch (a hold also
// ends early once the window waits for the lock).
constexpr std::size_t kDatagramsPerLockHold = 8192;
constexpr std::size_t kRecordsPerLockHold = 256;
constexpr auto kLockHoldBudget = std::chrono::milliseconds(3);

ConnectInfo* FindPeer(EngineRegistry& registry, const ConnectKey& key) {
    auto it = registry.map.find(key);
    return it == registry.map.end() ? nullptr : it->second;
}

// Delivering thread, holding g_connectLock: makes, registers and announces the record of
// a sender heard for the first time. When memory runs out on the way nothing is left
// registered (the sender's datagrams then go nowhere) and std::bad_alloc is thrown.
void OnNewPeer(EngineRegistry& registry, const Endpoint& sender, const ThreadParam& own) {
    auto record = std::make_unique<ConnectInfo>();
    record->id = sender.Port();
    record->clientAddr = sender;
    record->serverAddr = own.serverAddr;
    registry.map[UdpKey(record->clientAddr)] = record.get();
    LRESULT handled = 0;
    if (!TrySendMessageW(own.notifyWnd, WM_CONNECT_NEW, 0, reinterpret_cast<LPARAM>(record.get()),
                         handled)) {
        registry.map.erase(UdpKey(sender));  // the page never saw it
        throw std::bad_alloc();
    }
    record.release();  // the page's from now on
}

// Receive errors the program did not cause: a refused-port report from an earlier send,
// an interrupted call. Reception goes on.
bool IsPassingReceiveError(int error) {
    return error == EINTR || error == ECONNREFUSED || error == EHOSTUNREACH ||
           error == ENETUNREACH || error == EAGAIN;
}

// Datagrams read from one socket, in arrival order, not yet handed to the page.
struct DatagramBatch {
    struct Datagram {
        Endpoint sender;     // an IPv4 sender as IPv4, whichever family the socket has
        std::size_t offset;  // into bytes
        int length;
    };
    std::string bytes;
    std::vector<Datagram> datagrams;

    void Clear() {
        bytes.clear();
        datagrams.clear();
    }
};

// Between the thread that reads a socket and the thread that hands what it read to the
// page: the reader never waits for the page, so a page busy for a moment costs no
// datagrams; the deliverer takes everything read meanwhile at once, so a flood costs one
// notification per record and batch instead of one per datagram.
class DatagramQueue {
public:
    // Reading thread. Waits while the queue is full.
    void Push(const Endpoint& sender, const char* data, int length) {
        std::unique_lock lock(mutex_);
        roomLeft_.wait(lock, [&] {
            return pending_.datagrams.size() < kQueuedDatagramsLimit &&
                   pending_.bytes.size() < kQueuedBytesLimit;
        });
        pending_.datagrams.push_back({sender, pending_.bytes.size(), length});
        pending_.bytes.append(data, static_cast<std::size_t>(length));
        if (pending_.datagrams.size() == 1)
            arrived_.notify_one();
    }
    // Reading thread: nothing more will come.
    void Finish() {
        std::lock_guard lock(mutex_);
        finished_ = true;
        arrived_.notify_one();
    }
    // Delivering thread: waits for datagrams and swaps all of them into `out` (emptied
    // first). False once nothing is left and nothing more will come.
    bool Take(DatagramBatch& out) {
        out.Clear();
        std::unique_lock lock(mutex_);
        arrived_.wait(lock, [&] { return finished_ || !pending_.datagrams.empty(); });
        if (pending_.datagrams.empty())
            return false;
        std::swap(out, pending_);
        roomLeft_.notify_one();
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::condition_variable roomLeft_;
    DatagramBatch pending_;
    bool finished_ = false;
};

// What both threads of a socket share.
struct UdpPipe {
    ThreadParam own;
    DatagramQueue queue;
};

// A batch's datagrams by record key: the keys in the order of their first datagram, and
// for each key its datagrams in arrival order.
struct GroupedBatch {
    std::vector<ConnectKey> keys;
    std::map<ConnectKey, std::vector<std::size_t>> datagrams;
};

GroupedBatch GroupByKey(const DatagramBatch& batch, bool serverMode, const ConnectKey& localKey) {
    GroupedBatch grouped;
    for (std::size_t i = 0; i < batch.datagrams.size(); ++i) {
        const ConnectKey key = serverMode ? UdpKey(batch.datagrams[i].sender) : localKey;
        auto [group, added] = grouped.datagrams.try_emplace(key);
        if (added)
            grouped.keys.push_back(key);
        group->second.push_back(i);
    }
    return grouped;
}

// What one hold of g_connectLock may still do: records and datagrams up to their limits,
// time up to kLockHoldBudget, and nothing more once the window waits for the lock (after
// the first record, so that every hold gets work done). The counts are checked at every
// step, the clock and a waiting window at every record and every 64th datagram.
class LockHoldBudget {
public:
    bool AllowsRecord() const {
        return records_ < kRecordsPerLockHold && datagrams_ < kDatagramsPerLockHold &&
               !OutOfTime(started_);
    }
    bool AllowsDatagram() const {
        return datagrams_ < kDatagramsPerLockHold && (datagrams_ % 64 != 63 || !OutOfTime(true));
    }
    void LoggedDatagram() { ++datagrams_; }
    // A record's turn ended; `touched`: datagrams were logged on it (it will be notified).
    void EndRecord(bool touched) {
        records_ += touched ? 1 : 0;
        started_ = true;
    }

private:
    bool OutOfTime(bool yieldToWindow) const {
        return std::chrono::steady_clock::now() >= deadline_ ||
               (yieldToWindow && g_connectLock.WindowWaiting());
    }

    const std::chrono::steady_clock::time_point deadline_ =
        std::chrono::steady_clock::now() + kLockHoldBudget;
    std::size_t records_ = 0;
    std::size_t datagrams_ = 0;
    bool started_ = false;
};

// Hands a batch to the page: each datagram is logged on its record in arrival order (a
// sender's first makes and announces the record in server mode), and every record that
// got data is notified once per hold of the lock, before any new sender is announced. A
// flood from many senders thus costs one notification per sender and batch. Returns false
// once the program has closed the socket (the page is stopping or tearing down: no record
// is made or touched any more).
bool Deliver(const ThreadParam& own, const ConnectKey& localKey, const DatagramBatch& batch) {
    const bool serverMode = own.serverMode != 0;
    const GroupedBatch grouped = GroupByKey(batch, serverMode, localKey);
    std::vector<ConnectInfo*> touched;
    const auto notifyTouched = [&] {
        // A record whose page could not be told (memory ran out) stops logging, saying so.
        for (ConnectInfo* record : touched) NotifyAppended(record, own.notifyWnd);
        touched.clear();
    };
    std::size_t group = 0;    // index into grouped.keys
    std::size_t inGroup = 0;  // datagrams of that group already logged
    while (group < grouped.keys.size()) {
        // A window waiting for the lock gets it before this thread takes it again.
        CritSecGuard lock(g_connectLock);
        if (!IsSocketOpen(own.sock))
            return false;
        LockHoldBudget budget;
        while (group < grouped.keys.size() && budget.AllowsRecord()) {
            const ConnectKey& key = grouped.keys[group];
            const std::vector<std::size_t>& indices = grouped.datagrams.at(key);
            ConnectInfo* record = FindPeer(*own.registry, key);
            if (record == nullptr && serverMode) {
                notifyTouched();
                OnNewPeer(*own.registry, batch.datagrams[indices[inGroup]].sender, own);
                record = FindPeer(*own.registry, key);
            }
            // A client endpoint the page has replaced (same address, another socket) is
            // not ours.
            const bool ours = record != nullptr && (serverMode || record->sock == own.sock);
            if (!ours) {
                inGroup = indices.size();
            } else {
                for (; inGroup < indices.size() && budget.AllowsDatagram();
                     ++inGroup, budget.LoggedDatagram()) {
                    const DatagramBatch::Datagram& datagram = batch.datagrams[indices[inGroup]];
                    // n == 0 is an empty datagram, logged like any other. Notified below.
                    if (!AppendReceived(record, batch.bytes.data() + datagram.offset,
                                        datagram.length, nullptr)) {
                        // The record can hold no more (its log says why): the rest of its
                        // datagrams go nowhere, the page still hears of that last line.
                        inGroup = indices.size();
                        break;
                    }
                }
                touched.push_back(record);
            }
            budget.EndRecord(ours);
            if (inGroup == indices.size()) {
                ++group;
                inGroup = 0;
            }
        }
        notifyTouched();
    }
    return true;
}

// Deliver; when memory runs out on the way, the rest of the batch is dropped and the
// socket is served on.
bool DeliverOrDrop(const ThreadParam& own, const ConnectKey& localKey, const DatagramBatch& batch) {
    try {
        return Deliver(own, localKey, batch);
    } catch (const std::bad_alloc&) {
        return true;
    }
}

// Delivering thread of one UDP socket; ends when the socket is closed and its reader has
// ended. Holds g_connectLock while it logs datagrams and until the page has handled the
// messages it sends for them.
void UdpDeliverThread(std::shared_ptr<UdpPipe>* start) {
    const std::shared_ptr<UdpPipe> pipe = std::move(*start);
    delete start;
    Endpoint local;
    GetSocketEndpoint(pipe->own.sock, local);
    const ConnectKey localKey = UdpKey(local);
    DatagramBatch batch;
    while (pipe->queue.Take(batch)) {
        if (!DeliverOrDrop(pipe->own, localKey, batch))
            break;
    }
    // Closed: whatever the reader still queues goes nowhere.
    while (pipe->queue.Take(batch)) {
    }
}

// Sets up a receive thread: its pipe and its buffer. A server socket has no entry to say
// it on, so this tries again while the socket is open; a client endpoint's entry says why
// it receives nothing (and its socket is closed). Null when there is nothing to serve.
std::shared_ptr<UdpPipe> SetUpReceiving(const ThreadParam& own, std::vector<char>& buffer) {
    for (;;) {
        try {
            ReachAllocationPoint(AllocationPoint::kReceiveThreadStart);
            auto pipe = std::make_shared<UdpPipe>();
            pipe->own = own;
            buffer.resize(kLargestDatagram + 1);
            return pipe;
        } catch (const std::bad_alloc&) {
        }
        if (own.serverMode == 0) {
            CritSecGuard lock(g_connectLock);
            Endpoint local;
            GetSocketEndpoint(own.sock, local);
            ConnectInfo* record = FindPeer(*own.registry, UdpKey(local));
            if (record != nullptr && record->sock == own.sock)
                EndUnservedRecord(record, own.notifyWnd);
            return nullptr;
        }
        if (!IsSocketOpen(own.sock))
            return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

}  // namespace

// Receive thread of one UDP socket: reads every datagram as it comes and queues it for the
// socket's delivering thread, which reports to own.notifyWnd. Ends only when the program
// closes the socket. Does not take g_connectLock (unless it delivers itself).
void UdpReceiveThread(ThreadParam* param) {
    const ThreadParam own = *param;
    delete param;
    std::vector<char> buffer;
    const std::shared_ptr<UdpPipe> pipe = SetUpReceiving(own, buffer);
    if (!pipe)
        return;
    auto* start = new (std::nothrow) std::shared_ptr<UdpPipe>(pipe);
    const bool queued = start != nullptr && StartWorkerThread(UdpDeliverThread, start) != 0;
    if (!queued)
        delete start;  // no second thread to be had: this one delivers as it reads

    Endpoint local;
    GetSocketEndpoint(pipe->own.sock, local);
    const ConnectKey localKey = UdpKey(local);
    DatagramBatch single;
    for (;;) {
        Endpoint sender;
        const int n = RecvFromSocket(pipe->own.sock, buffer.data(), kLargestDatagram, &sender);
        if (n == SOCKET_ERROR) {
            const int error = errno;
            if (error == EBADF)
                break;  // the program closed the socket
            if (!IsPassingReceiveError(error)) {
                // A shortage of buffers or memory: give it time instead of spinning.
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            continue;
        }
        try {
            if (queued) {
                pipe->queue.Push(sender, buffer.data(), n);
                continue;
            }
            single.Clear();
            single.datagrams.push_back({sender, 0, n});
            single.bytes.assign(buffer.data(), static_cast<std::size_t>(n));
        } catch (const std::bad_alloc&) {
            continue;  // no room for this datagram: it is dropped, the next may fit
        }
        if (!DeliverOrDrop(pipe->own, localKey, single))
            break;
    }
    pipe->queue.Finish();
}

UdpEngine::UdpEngine() : registry_(std::make_shared<EngineRegistry>()) {}

UdpEngine::~UdpEngine() {
    // Threads still running keep the registry; they must not find records the page is
    // about to free, or has freed.
    UiCritSecGuard lock(g_connectLock);
    registry_->map.clear();
}

void UdpEngine::SetNotifyWindow(HWND window) {
    registry_->notifyWnd = window;
}
void UdpEngine::SetClientNotifyWindow(HWND window) {
    registry_->clientNotifyWnd = window;
}
HWND UdpEngine::NotifyWindow() const {
    return registry_->notifyWnd;
}
HWND UdpEngine::ClientNotifyWindow() const {
    return registry_->clientNotifyWnd;
}

SOCKET UdpEngine::BindEndpoint(std::uint16_t port) {
    const SOCKET s = OpenServerSocket(
        SOCK_DGRAM, port,
        [](SOCKET opened) {
            // Room for bursts while the page handles earlier datagrams (the system caps the
            // size).
            SetSocketOption(opened, SOL_SOCKET, SO_RCVBUF, kReceiveBufferBytes);
            ReceiveOwnGroupsOnly(opened);  // groups only once the page joins them
            return 0;
        },
        ipv6Error_);
    Endpoint address;
    if (s == INVALID_SOCKET)
        return INVALID_SOCKET;
    if (GetSocketEndpoint(s, address) == SOCKET_ERROR) {
        const int error = errno;
        closesocket(s);
        errno = error;
        return INVALID_SOCKET;
    }
    auto* param = new ThreadParam;
    param->sock = s;
    param->notifyWnd = registry_->notifyWnd;
    param->serverAddr = address;
    param->serverMode = 1;
    param->registry = registry_;
    if (StartWorkerThread(UdpReceiveThread, param) == 0) {
        delete param;
        closesocket(s);
        errno = EAGAIN;  // no thread to receive with
        return INVALID_SOCKET;
    }
    return s;
}

int UdpEngine::CloseEndpoint(SOCKET s) {
    closesocket(s);
    return 0;
}

bool UdpEngine::StartClientReceiving(ConnectInfo* record) {
    SetSocketOption(record->sock, SOL_SOCKET, SO_RCVBUF, kReceiveBufferBytes);
    auto* param = new ThreadParam;
    param->sock = record->sock;
    param->notifyWnd = registry_->clientNotifyWnd;
    param->serverAddr = record->serverAddr;
    param->serverMode = 0;
    param->registry = registry_;
    if (StartWorkerThread(UdpReceiveThread, param) == 0) {
        delete param;
        return false;
    }
    return true;
}

int UdpEngine::SendDatagram(SOCKET s, const char* data, const Endpoint& to, int len) {
    int sent;
    do {
        sent = SendToSocket(s, data, len, to);
    } while (sent == SOCKET_ERROR && errno == EINTR);
    return sent;
}

ConnectMap& UdpEngine::Peers() {
    return registry_->map;
}
