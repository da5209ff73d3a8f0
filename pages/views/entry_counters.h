// The entries' counters on screen: each entry's tooltip in the tree shows what it received
// and sent, since when it is connected or known and, on TCP pages, how many bytes wait to be
// sent; "计数清零" in the received view's menu zeroes the shown entry's counters (the logs
// stay). The tooltip is worked out when it is about to show, never per notification.
//
// Threads: user-interface thread only; the counters are read and zeroed under
// g_connectLock (UiCritSecGuard), never inside a notification handler.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <optional>

class CDialogP;
struct ConnectInfo;

// The tooltip of an entry whose counters are these; `waiting`: bytes queued on a TCP
// connection (nothing on UDP pages).
struct EntryCounts {
    std::int64_t receivedBytes = 0;
    std::int64_t receivedLines = 0;
    std::int64_t sentBytes = 0;
    std::int64_t sentMessages = 0;
    std::int64_t knownSinceSeconds = 0;  // since the epoch; 0: a TCP entry not connected
    std::optional<std::uint64_t> waiting;
    QString tls;  // a TLS entry: protocol and fingerprint (or only "TLS" before its handshake)
};
QString EntryCountsText(const EntryCounts& counts);

class EntryCounters : public QObject {
    Q_OBJECT

public:
    // Installs the tooltip on `page`'s tree and the clear item in its received view's menu;
    // the page owns the result.
    static void Install(CDialogP& page);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit EntryCounters(CDialogP& page);
    EntryCounts CountsOf(const ConnectInfo& record);
    void ZeroShown();

    CDialogP& page_;
};
