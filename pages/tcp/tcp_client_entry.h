// A TCP client entry's label and connected state, from the record's data: the remote end is
// the record's serverAddr (the address and port the user entered), never read back from the
// label. Shared by Connect and "全部连接". User-interface thread only.
#pragma once

#include <QString>

#include "net/connect_info.h"

class CTcpPage;

// "remote" for an entry not connected; "local<->remote" once connected on `sock`.
QString ClientEntryLabel(const ConnectInfo& record, SOCKET sock = INVALID_SOCKET);

// The record is connected on `sock` (its receive thread runs): connected since now, labelled
// "local<->remote", shown open. Takes g_connectLock (UiCritSecGuard).
void MarkClientConnected(CTcpPage& page, ConnectInfo& record, SOCKET sock);
