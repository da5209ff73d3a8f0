#include "pages/tcp/tcp_client_connect.h"

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
}

CTcpClientConnect::~CTcpClientConnect() {
    Abandon();
    // A helper still connecting finds no window when it reports.
    DestroyMessageWindow(window_);
}

bool CTcpClientConnect::Start(SOCKET sock, const Endpoint& address) {
    if (Pending(sock) || sock == INVALID_SOCKET)
        return false;
    if (!StartConnecting(sock, address, window_, kConnectDoneMessage))
        return false;
    auto giveUp = std::make_unique<QTimer>();
    giveUp->setSingleShot(true);
    giveUp->callOnTimeout([this, sock] { Finish(sock, false); });
    giveUp->start(g_giveUpForTesting.value_or(kGiveUpTime));
    pending_[sock] = std::move(giveUp);
    return true;
}

void CTcpClientConnect::Cancel(SOCKET sock) {
    pending_.erase(sock);
}

void CTcpClientConnect::Abandon() {
    pending_.clear();
}

// User-interface thread, from the event loop (posted messages never run inside a lock wait).
LRESULT CTcpClientConnect::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    // A late outcome of a connect given up or cancelled before is not ours any more
    // (socket handles are never reused).
    const auto sock = static_cast<SOCKET>(wParam);
    if (message == kConnectDoneMessage && Pending(sock))
        Finish(sock, lParam == 0);
    return 0;
}

void CTcpClientConnect::Finish(SOCKET sock, bool connected) {
    // Over before `done` runs: it may show a message box or start again. The timer may be
    // the one running this.
    const auto found = pending_.find(sock);
    if (found == pending_.end())
        return;
    found->second.release()->deleteLater();
    pending_.erase(found);
    done_(sock, connected);
}
