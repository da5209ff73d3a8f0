#include "pages/tcp_client_connect.h"

#include "net/tcp_connect.h"
#include "platform/window_messages.h"

namespace {
// Posted by the helper thread: wParam = the socket, lParam = 0 or the errno of the failure.
constexpr UINT kConnectDoneMessage = WM_USER + 310;

std::optional<std::chrono::milliseconds> g_giveUpForTesting;
}  // namespace

void CTcpClientConnect::SetGiveUpTimeForTesting(std::optional<std::chrono::milliseconds> giveUp) {
    g_giveUpForTesting = giveUp;
}

CTcpClientConnect::CTcpClientConnect(Done done) : done_(std::move(done)) {
    window_ = CreateMessageWindow([this](UINT message, WPARAM wParam, LPARAM lParam) {
        return OnMessage(message, wParam, lParam);
    });
    giveUp_.setSingleShot(true);
    giveUp_.callOnTimeout([this] { Finish(false); });
}

CTcpClientConnect::~CTcpClientConnect() {
    Abandon();
    // A helper still connecting finds no window when it reports.
    DestroyMessageWindow(window_);
}

bool CTcpClientConnect::Start(SOCKET sock, const sockaddr_in& address) {
    if (Pending() || sock == INVALID_SOCKET)
        return false;
    if (!StartConnecting(sock, address, window_, kConnectDoneMessage))
        return false;
    pending_ = sock;
    giveUp_.start(g_giveUpForTesting.value_or(kGiveUpTime));
    return true;
}

void CTcpClientConnect::Abandon() {
    giveUp_.stop();
    pending_ = INVALID_SOCKET;
}

// User-interface thread, from the event loop (posted messages never run inside a lock wait).
LRESULT CTcpClientConnect::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    // A late outcome of a connect given up or abandoned before is not ours any more
    // (socket handles are never reused).
    if (message == kConnectDoneMessage && Pending() && static_cast<SOCKET>(wParam) == pending_)
        Finish(lParam == 0);
    return 0;
}

void CTcpClientConnect::Finish(bool connected) {
    const SOCKET sock = pending_;
    Abandon();  // over before `done` runs: it may show a message box or start again
    done_(sock, connected);
}
