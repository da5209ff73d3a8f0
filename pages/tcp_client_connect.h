// The TCP client page's connect in progress, at most one at a time. The blocking connect
// runs on a helper thread (net/tcp_connect.h) so that the window keeps painting and every
// page keeps receiving; its outcome, or the give-up once the give-up time has passed, comes
// back on the user-interface thread through the `done` call. The socket stays the caller's:
// on a failure or a give-up the caller closes it, which also ends the helper thread.
// User-interface thread only.
#pragma once

#include <netinet/in.h>

#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>

#include "net/socket_handle.h"
#include "platform/win_types.h"

class CTcpClientConnect {
public:
    // `connected` false: refused, unreachable, or given up.
    using Done = std::function<void(SOCKET sock, bool connected)>;

    static constexpr std::chrono::milliseconds kGiveUpTime{20000};
    // Shortens (or lengthens) the give-up time of connects started from now on; nullopt
    // restores kGiveUpTime.
    static void SetGiveUpTimeForTesting(std::optional<std::chrono::milliseconds> giveUp);

    explicit CTcpClientConnect(Done done);
    // Abandons a pending connect without calling `done`.
    ~CTcpClientConnect();
    CTcpClientConnect(const CTcpClientConnect&) = delete;
    CTcpClientConnect& operator=(const CTcpClientConnect&) = delete;

    // Starts connecting `sock`; false (nothing pending, `done` not called) when no helper
    // thread could start or a connect is already pending.
    bool Start(SOCKET sock, const sockaddr_in& address);
    bool Pending() const { return pending_ != INVALID_SOCKET; }
    // Forgets the pending connect: `done` will not be called for it.
    void Abandon();

private:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void Finish(bool connected);

    Done done_;
    HWND window_ = nullptr;  // where the helper thread posts the outcome
    QTimer giveUp_;
    SOCKET pending_ = INVALID_SOCKET;
};
