// Connection records, the registries that hold them, the two notifications that carry
// network events to the pages, and the helpers both receive threads share.
//
// Records are created by engine threads or pages, registered in an engine's ConnectMap,
// and deleted only by pages (closing the socket first). g_connectLock (net/crit_sec.h)
// guards every map and the fields workers change: recvBytes, recvLines, recvLog, unread and
// sock. Which messages arrive with the lock held is stated with each message below.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "net/compact_log.h"
#include "net/crit_sec.h"
#include "net/endpoint.h"
#include "net/socket_handle.h"
#include "platform/win_types.h"

// The lock rule, per message (every message runs its handler on the user-interface thread):
// - WM_CONNECT_NEW: sent by the TCP accept thread WITHOUT g_connectLock (the record is
//   registered, and cannot be freed before the handler returns, since it has no entry yet);
//   sent by a UDP delivering thread WITH the lock held until the handler returns.
// - WM_CONNECT_DATA: sent by the TCP receive threads and the UDP delivering threads WITH the
//   lock held until the handler returns: the handler uses the record without taking it.
// - Posted, never sent, and without the lock: WM_CONNECT_SHORTAGE, the TCP connect helper's outcome
//   (net/tcp_connect.h) and the TCP sender threads' wake-ups (pages/send/tcp_send_queue.h); their
//   handlers run from the event loop and take the lock (UiCritSecGuard) where they need it.
//
// wParam 0; lParam = the new record, already registered. The page inserts its tree entry.
constexpr UINT WM_CONNECT_NEW = WM_USER + 300;
// wParam 0: a chunk was appended to recvLog; 1: the peer closed (sock is already -1).
// lParam = the record.
constexpr UINT WM_CONNECT_DATA = WM_USER + 301;
constexpr WPARAM CONNECT_DATA_APPENDED = 0;
constexpr WPARAM CONNECT_DATA_CLOSED = 1;
// Posted, without the lock, by a TCP accept thread that could not take a peer for want of
// descriptors (one post until the page reads TcpEngine::TakeShortage). wParam, lParam 0.
constexpr UINT WM_CONNECT_SHORTAGE = WM_USER + 302;

struct ConnectInfo {
    std::uint32_t id = 0;
    // Counters are 64-bit: a flood passes 4 GiB in seconds. The sent ones belong to the
    // user-interface thread alone (see CountSent); the received ones to the lock.
    std::int64_t sentBytes = 0;
    std::int64_t recvBytes = 0;
    CompactLog recvLog;
    CompactLog sendLog{CompactLog::kSentLog};
    std::int64_t recvLines = 0;     // chunks and datagrams logged
    std::int64_t sentMessages = 0;  // messages gone whole
    // When the entry became connected or known (wall clock): the record's birth, reset by
    // the page when it connects the record again.
    std::chrono::system_clock::time_point knownSince = std::chrono::system_clock::now();
    std::uint8_t unread = 0;
    // The page knows there is new data in recvLog and will look at the log again by itself
    // (it shows the entry and follows its log, or has marked the entry as unseen): the
    // workers append without telling it again, so a flood never waits for the window. Set
    // and cleared by the page, under g_connectLock or inside a WM_CONNECT_DATA handler.
    bool pageWillLook = false;
    std::uintptr_t thread = 0;  // receive thread of an accepted connection; nothing waits on it
    SOCKET sock = INVALID_SOCKET;
    // TCP: the receive thread reads nothing more from the peer while set (what it sends
    // waits in the system's buffers). Set and cleared by the page on the user-interface
    // thread under g_connectLock: through TcpEngine::SetReceivePaused (which wakes the
    // thread), or cleared inside a WM_CONNECT_DATA handler (the worker holds the lock).
    bool receivePaused = false;
    // UDP client aimed at a multicast group: the time-to-live of what it sends there (1 to
    // 255), as chosen when it was made and set on its socket then.
    int multicastTtl = 1;
    HTREEITEM treeItem = nullptr;
    Endpoint clientAddr;  // the peer (server pages), or the client's own end (UDP clients)
    Endpoint serverAddr;  // the server a client talks to
    // TLS client entries: the connection speaks TLS to `hostName` (the host as typed: SNI
    // and the certificate's check), and a certificate that fails verification ends it when
    // `tlsVerify`. Set by the page when it makes the entry.
    bool tls = false;
    bool tlsVerify = false;
    std::string hostName;
    // A TLS connection's protocol and fingerprint, for the tooltip (empty: plain, or the
    // handshake not done). Written by the receive thread under g_connectLock.
    std::u16string tlsSummary;
};

class TlsContext;

// Key -> record. The map never owns its records.
using ConnectMap = std::map<ConnectKey, ConnectInfo*>;

// An engine's map and counters; shared by the engine and its threads so that a thread
// woken after its page and engine are gone still finds a (now empty) registry.
struct EngineRegistry;

// Start record of every engine thread: allocated by the starter, copied and freed by the thread.
struct ThreadParam {
    SOCKET sock = INVALID_SOCKET;
    std::uint32_t id = 0;
    HWND notifyWnd = nullptr;
    Endpoint serverAddr;
    std::uint8_t serverMode = 0;  // 1: records keyed by sender; 0: by the socket's own address
    std::shared_ptr<EngineRegistry> registry;  // the map the thread searches
    std::shared_ptr<TlsContext> tls;           // TCP accept thread: accepted connections speak TLS
};

// Registry key of a UDP record: the endpoint itself, so distinct endpoints (of either
// family, zones included) always give distinct keys.
ConnectKey UdpKey(const Endpoint& address);

// "YYYY-MM-DD hh:mm:ss  " of the given moment in the machine's local time zone (two
// trailing blanks). Pure ASCII. Any thread.
std::string FormatTimeStamp(std::chrono::system_clock::time_point now);
std::string FormatTimeStamp();  // of the current time

// Logs a received message of n bytes read as a whole (a UDP datagram) as one stamped line
// of recvLog (NUL shows as U+2400), counters advanced by n, unread set, then WM_CONNECT_DATA
// (wParam 0) sent to notifyWnd (none if it is null: a caller logging a batch notifies once
// for it). False when the record can take no more (memory ran out): its log then ends with
// a line saying so, the page is notified of that line, and the caller stops receiving for
// the record. The caller holds g_connectLock.
bool AppendReceived(ConnectInfo* record, const char* chunk, int n, HWND notifyWnd);
// The same for a chunk of the TCP stream on socket `from`: a character cut off at the
// chunk's end is shown whole on the next chunk's line from `from`. The caller (the
// connection's receive thread) holds g_connectLock.
bool AppendReceivedStream(ConnectInfo* record, SOCKET from, const char* chunk, int n,
                          HWND notifyWnd);
// The stream on `from` has ended: a character still cut off shows as one U+FFFD on a
// stamped line of its own (WM_CONNECT_DATA, wParam 0; the counters already hold its bytes);
// nothing happens if none is. The caller holds g_connectLock.
void FinishReceivedStream(ConnectInfo* record, SOCKET from, HWND notifyWnd);
// Counts a message of `bytes` bytes that has gone whole. User-interface thread (the sent
// counters are the page's alone).
void CountSent(ConnectInfo* record, std::uint64_t bytes);

// Sends WM_CONNECT_DATA (wParam 0) for lines appended to the record, unless the page
// said it will look by itself (pageWillLook): then nothing is sent. When memory runs out
// on the way, the page is not told: the record's log stops (its last line says why, and the
// page shows it when it next shows the record) and false, so the caller stops receiving
// for the record. The caller holds g_connectLock.
bool NotifyAppended(ConnectInfo* record, HWND notifyWnd);
// Closes the record's socket if still open (sock becomes -1), then sends WM_CONNECT_DATA
// (wParam 1). `record` may be null. The caller holds g_connectLock.
void MarkPeerClosed(ConnectInfo* record, HWND notifyWnd);

// The local host's IPv4 address as dotted text: the first address of the host name; when
// the name maps only to loopback addresses, the first non-loopback interface address, or
// 127.0.0.1 when there is none. A host name that cannot be resolved leaves `out`
// unchanged. Always true.
bool GetLocalHostAddress(std::string& out);
// Makes GetLocalHostAddress answer `pinned` (tests use "127.0.0.1"); nullopt undoes it.
void PinLocalHostAddressForTesting(std::optional<std::string> pinned);
