// A TCP client entry's label and connected state, from the record's data: the remote end is
// the record's serverAddr (the address and port the user entered), never read back from the
// label. Shared by Connect and "全部连接". User-interface thread only.
#pragma once

#include <QString>
#include <string>

#include "net/connect_info.h"

class CTcpPage;

// How a client entry's connections speak: plain, or TLS to the host as typed.
struct ClientTls {
    bool on = false;
    bool verify = false;  // a certificate that fails verification ends the connection
    std::string host;     // SNI and the certificate's check
};

// "remote" for an entry not connected; "local<->remote" once connected on `sock`; a TLS
// entry's label ends in " (TLS)".
QString ClientEntryLabel(const ConnectInfo& record, SOCKET sock = INVALID_SOCKET);

// The record is connected on `sock` (its receive thread runs): connected since now, labelled
// "local<->remote", shown open. Takes g_connectLock (UiCritSecGuard).
void MarkClientConnected(CTcpPage& page, ConnectInfo& record, SOCKET sock);

// Before the receive thread of a connection just made on `sock` starts: a TLS entry's socket
// gets its TLS stream (the receive thread runs the handshake). False when TLS cannot be
// had (the library could not start): the connection must not go on.
bool PrepareClientStream(const ConnectInfo& record, SOCKET sock);
