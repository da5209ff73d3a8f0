// Connecting a TCP socket without blocking the caller: the blocking connect runs on a
// detached helper thread, which posts the outcome to a window. Free of Qt.
#pragma once

#include <netinet/in.h>

#include "net/endpoint.h"
#include "net/socket_handle.h"
#include "platform/win_types.h"

// Starts a helper thread that connects `sock` to `address` and then posts `message` to
// `window`: wParam = `sock`, lParam = 0 when connected, otherwise the errno of the failure.
// The caller keeps owning the socket; closing it wakes the helper, which then reports a
// failure (a post to a window destroyed meanwhile is dropped). False when no thread could
// start: nothing will be posted. Any thread.
bool StartConnecting(SOCKET sock, const Endpoint& address, HWND window, UINT message);
