#include "net/tcp_connect.h"

#include <errno.h>

#include "net/worker_thread.h"
#include "platform/window_messages.h"

namespace {

struct ConnectParam {
    SOCKET sock;
    Endpoint address;
    HWND window;
    UINT message;
};

// Helper thread: one blocking connect, one post, then it ends.
void ConnectThread(ConnectParam* param) {
    const ConnectParam own = *param;
    delete param;
    LPARAM error = 0;
    if (ConnectSocket(own.sock, own.address) == SOCKET_ERROR)
        error = errno != 0 ? errno : ECONNABORTED;
    PostMessageW(own.window, own.message, static_cast<WPARAM>(own.sock), error);
}

}  // namespace

bool StartConnecting(SOCKET sock, const Endpoint& address, HWND window, UINT message) {
    auto* param = new ConnectParam{sock, address, window, message};
    if (StartWorkerThread(ConnectThread, param) == 0) {
        delete param;
        return false;
    }
    return true;
}
