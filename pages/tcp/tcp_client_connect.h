// The TCP client page's connects in progress, any number at a time, one per socket. Each
// blocking connect runs on a helper thread (net/tcp_connect.h) so that the window keeps painting
// and every page keeps receiving; its outcome, or the give-up once the give-up time has passed,
// comes back on the user-interface thread through the `done` call. The socket stays the caller's:
// on a failure or a give-up the caller closes it, which also ends the helper thread.
// User-interface thread only.
#pragma once

#include <QTimer>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "net/endpoint.h"
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

    // Starts connecting `sock`; false (nothing pending for it, `done` not called) when no
    // helper thread could start or `sock` is connecting already.
    bool Start(SOCKET sock, const Endpoint& address);
    // Some connect, or the one of `sock`, is in progress.
    bool Pending() const { return !pending_.empty(); }
    bool Pending(SOCKET sock) const { return pending_.count(sock) != 0; }
    // Forgets the connect of `sock` (every one without an argument): `done` will not be
    // called for it. The caller closes the socket, which ends the helper thread.
    void Cancel(SOCKET sock);
    void Abandon();

private:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void Finish(SOCKET sock, bool connected);

    Done done_;
    HWND window_ = nullptr;  // where the helper threads post their outcomes
    // The give-up timer of each socket connecting.
    std::map<SOCKET, std::unique_ptr<QTimer>> pending_;
};
