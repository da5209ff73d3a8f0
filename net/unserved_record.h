// A record that no receive thread serves: none could be started (the system's thread limit,
// or memory), or the one started could not set itself up. Its entry must not look as if the
// peer had closed: the received log says why.
#pragma once

#include <string>

#include "net/connect_info.h"

// The line such a record's received log ends with, in the interface's language.
std::u16string ReceiveNotStartedNote();

// Appends the note to the record's received log, closes its socket and tells the page of
// the close (WM_CONNECT_DATA, wParam 1). `record` may be null. The caller holds
// g_connectLock.
void EndUnservedRecord(ConnectInfo* record, HWND notifyWnd);
