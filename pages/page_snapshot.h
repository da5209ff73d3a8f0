// A page's set-up as a session keeps it, and the way back: DescribePage reads what the user
// made on a page, ClearPage takes it all away, RebuildPage makes it again through the
// page's own commands (the same steps as the buttons and menus, without their dialogs).
// What a page holds beyond its set-up (peers that connected to it, logs, counters) is not
// described.
//
// Threads: user-interface thread only; the records' sockets are read under g_connectLock.
#pragma once

#include <QCoreApplication>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/endpoint.h"

class CDialogP;

struct TcpClientEntrySetup {
    Endpoint address;  // the server's address (its port is `port`)
    int port = 0;
    bool connected = false;
    // TLS entries: the name typed (SNI and the certificate's check), and whether a failed
    // verification ends the connection.
    bool tls = false;
    bool verify = false;
    std::string host;
};

struct UdpClientSetup {
    Endpoint address;  // the remote end: a host, a broadcast address or a group (port apart)
    int remotePort = 0;
    int localPort = 0;
    int multicastTtl = 1;  // what it sends to a group lives this many hops
};

struct PageSnapshot {
    // Server pages: the chosen port (0: none) and whether the server listens (or receives).
    int serverPort = 0;
    bool listening = false;
    bool echo = false;
    // The TCP server: listens with TLS, with the certificate chain and key chosen (empty:
    // the program's own).
    bool tls = false;
    QString certificate;
    QString key;
    // The UDP server's multicast groups.
    std::vector<Endpoint> groups;
    // The client pages' entries, first to last.
    std::vector<TcpClientEntrySetup> tcpClients;
    std::vector<UdpClientSetup> udpClients;
    // The hex switches: each view's form, and the send box read as hex.
    bool hexReceived = false;
    bool hexSent = false;
    bool hexSend = false;
    // The page's reply rules and how it cuts what it receives into messages (the rules
    // tool's own JSON form); empty: none.
    QJsonObject rules;
};

// What could not be set up, item by item. Connects end later than RebuildPage returns:
// `settled` runs once the last one pending has ended.
class RebuildReport {
public:
    void Failed(const QString& item, const QString& why) {
        failures_ << QCoreApplication::translate("PageSnapshot", "%1：%2").arg(item, why);
    }
    void Began() { ++pending_; }
    void Ended() {
        if (--pending_ == 0 && settled)
            settled();
    }
    int Pending() const { return pending_; }
    const QStringList& Failures() const { return failures_; }

    std::function<void()> settled;

private:
    QStringList failures_;
    int pending_ = 0;
};

// The page's short name in file names and messages: "tcp-server", "tcp-client",
// "udp-server", "udp-client".
QString PageKindName(const CDialogP& page);
PageSnapshot DescribePage(CDialogP& page);
// Every entry deleted (connects given up), groups left, the server stopped and its port
// forgotten, echo off.
void ClearPage(CDialogP& page);
// Makes `snapshot` on a cleared page. What cannot be made is told to `report` (never by a
// message box), naming the item and why.
void RebuildPage(CDialogP& page, const PageSnapshot& snapshot,
                 const std::shared_ptr<RebuildReport>& report);
