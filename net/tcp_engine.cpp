#include "net/tcp_engine.h"

#include <errno.h>

#include <chrono>
#include <new>
#include <thread>

#include "net/connection_stream.h"
#include "net/dual_stack.h"
#include "net/engine_registry.h"
#include "net/tls_stream.h"
#include "net/unserved_record.h"
#include "net/worker_thread.h"
#include "platform/allocation_fault.h"
#include "platform/window_messages.h"

namespace {

// Receives never ask for more than this, so a NUL always fits after the chunk.
constexpr int kReceiveBufferSize = 10240;
// One batch (one notification) at most: this many reads, or this long under the lock.
constexpr int kReadsPerBatch = 64;
constexpr auto kBatchBudget = std::chrono::milliseconds(2);

ConnectInfo* FindConnection(EngineRegistry& registry, std::uint32_t id) {
    auto it = registry.map.find(id);
    return it == registry.map.end() ? nullptr : it->second;
}

// Accept thread. Announces the new connection and starts its receive thread. When memory
// runs out before the page knows of the connection, the connection is closed and forgotten
// (the peer sees the close); after that, its entry says why it is closed.
void OnAccepted(const std::shared_ptr<EngineRegistry>& registry, SOCKET listening,
                const Endpoint& peer, HWND window, SOCKET accepted,
                const std::shared_ptr<TlsContext>& tls) {
    std::uint32_t id;
    ConnectInfo* record;
    {
        CritSecGuard lock(g_connectLock);
        // Stopped while this connection was being accepted: the page may be tearing down
        // and deleting its records; register nothing it would miss.
        record = IsSocketOpen(listening) ? new (std::nothrow) ConnectInfo : nullptr;
        if (record == nullptr) {
            closesocket(accepted);
            return;
        }
        record->sock = accepted;
        record->clientAddr = peer;
        try {
            // Before anyone can look: the receive thread and the page's sends find the stream.
            if (tls)
                AttachStream(accepted, TlsStream::ForServer(accepted, tls));
            AddConnection(*registry, record);
        } catch (const std::bad_alloc&) {
            delete record;
            closesocket(accepted);
            return;
        }
        id = record->id;
    }
    // Without the lock: the page inserts its entry; the record cannot go before this returns.
    LRESULT handled = 0;
    if (!TrySendMessageW(window, WM_CONNECT_NEW, 0, reinterpret_cast<LPARAM>(record), handled)) {
        CritSecGuard lock(g_connectLock);
        registry->map.erase(id);
        closesocket(accepted);
        delete record;
        return;
    }

    auto* param = new (std::nothrow) ThreadParam;
    if (param != nullptr) {
        param->sock = accepted;
        param->id = id;
        param->notifyWnd = window;
        param->registry = registry;
    }
    // Under the lock, so the record carries its thread before that thread can report on it;
    // and the page may have deleted the record since it handled WM_CONNECT_NEW.
    CritSecGuard lock(g_connectLock);
    const std::uintptr_t thread = param != nullptr ? StartWorkerThread(TcpReceiveThread, param) : 0;
    if (thread == 0)
        delete param;
    ConnectInfo* current = FindConnection(*registry, id);
    if (current == nullptr || current->sock != accepted)
        return;
    if (thread != 0)
        current->thread = thread;
    else
        EndUnservedRecord(current, window);  // shown closed, with the reason
}

// Receive thread, no lock held: waits while the page keeps the record's reading paused.
// Returns at once when it is not paused, or gone, or no longer on this socket (a closed
// socket's read then fails at once). The pause is read under g_connectLock, and the resume
// count with it, so a resume between the two cannot be missed; the time-out only bounds
// how late a close or delete of a paused record is noticed.
void WaitWhilePaused(const ThreadParam& own) {
    for (;;) {
        std::uint64_t seen = 0;
        {
            CritSecGuard lock(g_connectLock);
            ConnectInfo* record = FindConnection(*own.registry, own.id);
            if (record == nullptr || record->sock != own.sock || !record->receivePaused)
                return;
            std::lock_guard resume(own.registry->resumeMutex);
            seen = own.registry->resumes;
        }
        std::unique_lock resume(own.registry->resumeMutex);
        own.registry->resumed.wait_for(resume, std::chrono::milliseconds(100),
                                       [&] { return own.registry->resumes != seen; });
    }
}

// Errors of accept that say nothing about the listening socket itself.
bool IsTransientAcceptError(int error) {
    switch (error) {
        case EINTR:
        case ECONNABORTED:
        case EPROTO:
        case EPERM:
        case ENETDOWN:
        case ENOPROTOOPT:
        case EHOSTDOWN:
        case ENONET:
        case EHOSTUNREACH:
        case EOPNOTSUPP:
        case ENETUNREACH:
            return true;
        default:
            return false;
    }
}

// Accept thread: counts a peer refused (`refused`) or waiting in the backlog and tells the
// page once until it reads the count.
void NoteShortage(EngineRegistry& registry, HWND window, bool refused, int error) {
    {
        std::lock_guard lock(registry.shortageMutex);
        if (refused)
            ++registry.refusedPeers;
        else
            registry.backlogWaiting = true;
        registry.shortageError = error;
        if (registry.shortagePosted)
            return;
        registry.shortagePosted = true;
    }
    if (PostMessageW(window, WM_CONNECT_SHORTAGE, 0, 0))
        return;
    std::lock_guard lock(registry.shortageMutex);
    registry.shortagePosted = false;  // the next shortage tries again
}

}  // namespace

std::uint32_t AddConnection(EngineRegistry& registry, ConnectInfo* record) {
    CritSecGuard lock(g_connectLock);
    const std::uint32_t id = registry.nextId++;
    registry.map[id] = record;
    record->id = id;
    return registry.nextId;
}

// Accept thread of one listening socket. Ends only when the program closes the socket.
void AcceptThread(ThreadParam* param) {
    const ThreadParam own = *param;
    delete param;
    for (;;) {
        Endpoint peer;
        bool refused = false;
        const SOCKET accepted = AcceptSocket(own.sock, &peer, &refused);
        if (accepted != INVALID_SOCKET) {
            OnAccepted(own.registry, own.sock, peer, own.notifyWnd, accepted, own.tls);
            continue;
        }
        const int error = errno;
        if (refused) {
            NoteShortage(*own.registry, own.notifyWnd, true, error);
            continue;
        }
        if (error == EBADF)
            return;  // StopListening closed the socket
        if (IsTransientAcceptError(error))
            continue;
        if (error == EMFILE || error == ENFILE)
            NoteShortage(*own.registry, own.notifyWnd, false, error);
        // Out of descriptors or memory (or something unforeseen): wait for the shortage to
        // pass instead of spinning, and keep listening.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// Receive thread of one connection; reports to own.notifyWnd. This thread alone writes the
// record's received log to its file: a sealed piece of the log's buffer is written after the
// batch, without the lock. Each read is its own stamped line; what arrived while a read was logged
// is taken under the same hold of g_connectLock (bounded in reads and time, and cut short when the
// user-interface thread waits for the lock), and the page gets one WM_CONNECT_DATA for the batch.
// The lock is held from the lookup until the page has handled it.
void TcpReceiveThread(ThreadParam* param) {
    const ThreadParam own = *param;
    delete param;
    try {
        // Whatever the thread needs before its first read (today only its stack).
        ReachAllocationPoint(AllocationPoint::kReceiveThreadStart);
    } catch (const std::bad_alloc&) {
        CritSecGuard lock(g_connectLock);
        ConnectInfo* record = FindConnection(*own.registry, own.id);
        if (record != nullptr && record->sock == own.sock)
            EndUnservedRecord(record, own.notifyWnd);
        closesocket(own.sock);
        return;
    }
    // The connection's bytes go through its stream (the plain socket, or one that decrypts).
    const std::shared_ptr<ConnectionStream> stream = StreamOf(own.sock);
    // A stream that must begin (a TLS handshake) does so before the first read; what it has
    // to say goes to the log first.
    std::vector<std::u16string> notes;
    const bool begun = stream->Begin(notes);
    if (!notes.empty() || !stream->Summary().empty()) {
        CritSecGuard lock(g_connectLock);
        ConnectInfo* record = FindConnection(*own.registry, own.id);
        if (record != nullptr && record->sock == own.sock) {
            record->tlsSummary = stream->Summary();
            for (const std::u16string& note : notes) record->recvLog.AppendNote(note);
            if (!notes.empty()) {
                record->unread = 1;
                NotifyAppended(record, own.notifyWnd);
            }
        }
    }
    char buffer[kReceiveBufferSize];
    bool refused = false;  // the record can hold no more: what comes is read and dropped
    bool paused = false;   // the page paused reading (seen at the end of the last batch)
    // A piece of the log written to its file after the last batch, without the lock; handed
    // back to the log in the next one.
    std::shared_ptr<LogStore::PendingWrite> written;
    for (bool ended = !begun; !ended;) {
        if (paused)
            WaitWhilePaused(own);
        paused = false;
        int n = stream->Read(buffer, kReceiveBufferSize - 1);
        if (n == SOCKET_ERROR && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (refused)
            continue;  // the peer is not held up; its close is still reported
        std::shared_ptr<LogStore::PendingWrite> toWrite;
        {
            CritSecGuard lock(g_connectLock);
            ConnectInfo* record = FindConnection(*own.registry, own.id);
            // A record that moved on to another socket (the client page reconnected it) no
            // longer belongs to this thread.
            if (record == nullptr || record->sock != own.sock)
                continue;
            if (written && !record->recvLog.FinishWrite(std::move(written)))
                refused = true;  // the file took no more: the log says so on its last line
            written.reset();
            const auto deadline = std::chrono::steady_clock::now() + kBatchBudget;
            // The first read of a batch lands in the thread's buffer (the lock was not held);
            // the others straight in the log's buffer, which then copies nothing.
            char* landing = buffer;
            for (int reads = 1; !refused; ++reads) {
                landing[n] = '\0';
                if (!AppendReceivedStream(record, own.sock, landing, n, nullptr)) {
                    refused = true;
                    break;
                }
                if (reads == kReadsPerBatch || g_connectLock.WindowWaiting() ||
                    std::chrono::steady_clock::now() >= deadline) {
                    break;
                }
                landing = record->recvLog.ReceiveSpace(kReceiveBufferSize);
                if (landing == nullptr)
                    landing = buffer;
                n = stream->ReadNow(landing, kReceiveBufferSize - 1);
                if (n > 0)
                    continue;
                // Nothing more waiting (or interrupted): back to the blocking read. Closed or
                // failed: the batch is reported, then the close.
                ended = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
                break;
            }
            // The page could not be told (memory ran out): the log has stopped, say so there.
            if (!NotifyAppended(record, own.notifyWnd))
                refused = true;
            paused = record->receivePaused;  // still registered: the lock is held since the lookup
            toWrite = record->recvLog.TakeWrite();
        }
        // The file is written without the lock: the window and the other connections go on.
        if (toWrite) {
            toWrite->Run();
            written = std::move(toWrite);
        }
    }
    {
        CritSecGuard lock(g_connectLock);
        ConnectInfo* record = FindConnection(*own.registry, own.id);
        // Found with our socket (peer closed) or with none (the page disconnected it): the
        // page learns of the close. With another socket it has been reconnected: leave it.
        if (record != nullptr && (record->sock == own.sock || record->sock == INVALID_SOCKET)) {
            if (written)
                record->recvLog.FinishWrite(std::move(written));
            FinishReceivedStream(record, own.sock, own.notifyWnd);
            if (const std::u16string end = stream->EndNote(); !end.empty()) {
                record->recvLog.AppendNote(end);
                record->unread = 1;
                NotifyAppended(record, own.notifyWnd);
            }
            MarkPeerClosed(record, own.notifyWnd);
        }
    }
    // Handles are never reused, so this closes nothing but our own socket (if still open).
    closesocket(own.sock);
}

TcpEngine::TcpEngine() : registry_(std::make_shared<EngineRegistry>()) {}

TcpEngine::~TcpEngine() {
    // Threads still running keep the registry; they must not find records the page is
    // about to free, or has freed.
    UiCritSecGuard lock(g_connectLock);
    registry_->map.clear();
}

void TcpEngine::SetNotifyWindow(HWND window) {
    registry_->notifyWnd = window;
}
HWND TcpEngine::NotifyWindow() const {
    return registry_->notifyWnd;
}

SOCKET TcpEngine::StartListening(std::uint16_t port, std::shared_ptr<TlsContext> tls) {
    // Lets Listen follow Stop listening while accepted connections or TIME_WAIT remain on
    // the port; a port another socket listens on is still refused.
    const SOCKET listening = OpenServerSocket(
        SOCK_STREAM, port,
        [](SOCKET opened) { return SetSocketOption(opened, SOL_SOCKET, SO_REUSEADDR, 1); },
        ipv6Error_);
    if (listening == INVALID_SOCKET)
        return INVALID_SOCKET;
    // Closes the socket, keeping the reason the caller reads in errno.
    const auto fail = [listening](int error) {
        closesocket(listening);
        errno = error;
        return INVALID_SOCKET;
    };
    if (ListenSocket(listening, SOMAXCONN) == SOCKET_ERROR)
        return fail(errno);
    auto* param = new ThreadParam;
    param->sock = listening;
    param->notifyWnd = registry_->notifyWnd;
    param->registry = registry_;
    param->tls = std::move(tls);
    if (StartWorkerThread(AcceptThread, param) == 0) {
        delete param;
        return fail(EAGAIN);  // no thread to accept with
    }
    return listening;
}

int TcpEngine::StopListening(SOCKET listening) {
    closesocket(listening);
    return 0;
}

std::uint32_t TcpEngine::AddConnection(ConnectInfo* record) {
    UiCritSecGuard lock(g_connectLock);  // entered again, without waiting, inside
    return ::AddConnection(*registry_, record);
}

int TcpEngine::StartReceiving(ConnectInfo* record, HWND window) {
    auto* param = new ThreadParam;
    param->sock = record->sock;
    param->id = record->id;
    param->notifyWnd = window;
    param->registry = registry_;
    if (StartWorkerThread(TcpReceiveThread, param) == 0) {
        delete param;
        return SOCKET_ERROR;
    }
    return 0;
}

void TcpEngine::SetReceivePaused(ConnectInfo* record, bool paused) {
    UiCritSecGuard lock(g_connectLock);
    record->receivePaused = paused;
    if (!paused) {
        {
            std::lock_guard resume(registry_->resumeMutex);
            ++registry_->resumes;
        }
        registry_->resumed.notify_all();
    }
}

TcpEngine::Shortage TcpEngine::TakeShortage() {
    std::lock_guard lock(registry_->shortageMutex);
    registry_->shortagePosted = false;
    Shortage shortage{registry_->refusedPeers, registry_->backlogWaiting, registry_->shortageError};
    registry_->backlogWaiting = false;
    return shortage;
}

ConnectMap& TcpEngine::Connections() {
    return registry_->map;
}
