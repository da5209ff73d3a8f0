// The TCP client page's "全部连接": every closed entry connected through one ConnectBatch
// (at most ConnectBatch::kMaxInFlight connects in flight, none blocking the window). Each
// entry turns open as its connect succeeds; refused and timed-out connects leave their
// entries closed and are counted, and the count is shown once when the run is over
// ("N 个连接失败", with the most frequent reason). An entry deleted, or connected by hand,
// meanwhile keeps what it has: the batch's socket for it is closed.
//
// Threads: user-interface thread only. The batch's worker posts its outcomes to a message
// window of this object; they are taken from the event loop, never inside a lock wait.
#pragma once

#include <QString>
#include <QTimer>
#include <cstddef>
#include <deque>
#include <map>
#include <memory>

#include "net/connect_batch.h"
#include "net/endpoint.h"
#include "platform/win_types.h"

class CTcpPage;
struct ConnectInfo;

class TcpClientBatch {
public:
    explicit TcpClientBatch(CTcpPage& page);
    // Gives up every connect still running; the sockets of those close.
    ~TcpClientBatch();
    TcpClientBatch(const TcpClientBatch&) = delete;
    TcpClientBatch& operator=(const TcpClientBatch&) = delete;

    // Starts connecting every entry whose socket is closed and that is not connecting yet.
    void ConnectAll();
    // Gives up every connect still running (no count is shown for them).
    void CancelAll();
    // Connects running, or outcomes not yet shown on their entries.
    bool Running() const;
    // The most connects that were in flight at once.
    std::size_t PeakInFlight() const;

private:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void TakeOutcomes();
    // Adopts the waiting outcomes for a few milliseconds at most, then lets the window paint
    // and handle input before the rest (a thousand receive threads take a while to start).
    void AdoptSome();
    // A connected socket for the record registered under `key`; false when it was not taken.
    bool Adopt(std::uint64_t key, SOCKET sock);

    CTcpPage& page_;
    HWND window_ = nullptr;
    std::unique_ptr<ConnectBatch> batch_;
    std::deque<ConnectOutcome> waiting_;  // taken, not yet adopted
    QTimer more_;                         // the next slice of waiting_
    // While a run goes, outcomes are also fetched on this timer: should a post from the
    // worker be lost, they still reach the page.
    QTimer poll_;
    // Failed connects of the run by errno, for the reason shown with the count.
    std::map<int, std::size_t> reasons_;
    // The family the run's targets share (IPv4 when they are mixed), for the reason's words.
    AddressFamily reasonFamily_ = AddressFamily::kIpv4;
    // Connected, but no receive thread could be started: counted with the failures.
    std::size_t unserved_ = 0;
    // A run was started whose failures are still to be shown once it is over.
    bool reportDue_ = false;
};
