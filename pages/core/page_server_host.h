// The host node of a server page (TCP or UDP): the port chosen with the port dialog,
// the server socket opened on it and closed again, the host node's label and image, and
// what the page's start and stop buttons need to know. The page supplies how its engine opens and
// closes the socket. User-interface thread only.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <string>

#include "net/socket_handle.h"
#include "pages/core/button_states.h"
#include "platform/win_types.h"

class CDialogP;
struct ConnectInfo;
struct HostInfo;

class ServerHost {
public:
    struct Socket {
        // Opens the server socket on the port; INVALID_SOCKET when that failed.
        std::function<SOCKET(std::uint16_t port)> open;
        std::function<void(SOCKET)> close;
        // Runs after the socket was opened or closed (may be empty).
        std::function<void()> changed;
        // Why the socket last opened serves no IPv6 peers (an errno), 0 when it does (may be
        // empty: IPv4 only).
        std::function<int()> ipv6Error;
        // Runs before the socket is opened (may be empty); false: the server stays stopped,
        // and the user has been told why.
        std::function<bool()> prepare;
    };

    // `dialogColour` is the port dialog's background.
    ServerHost(CDialogP& page, COLORREF dialogColour, Socket socket);

    // While the server listens: says on which port, and asks nothing. Otherwise asks for
    // the port; a valid port becomes the server's (replacing an earlier one), the server
    // starts on it and the host node is shown.
    void Create();
    // Opens the server socket on the chosen port (reports why it cannot).
    void Start();
    // Closes the server socket; the entries stay.
    void Stop();

    // What the host node's label shows after the address and port (" (TLS)").
    void SetLabelSuffix(const std::string& suffix);

    // For the page's button states: a port was chosen, the socket is open.
    ServerState State() const;

    // A new peer (an accepted connection, a sender heard for the first time): an entry
    // "address:port" under the host node, open, carrying the record. Inside the
    // WM_CONNECT_NEW handler; returns the handler's result.
    LRESULT AddPeerEntry(ConnectInfo* record);

    // For the host node's tooltip while the server socket is open: the machine's IPv6
    // addresses it is reached on too, or why it serves IPv4 only. Empty while closed.
    QString FamilyNote() const;

    // The server socket is open.
    bool IsOpen() const;
    // The server socket, or INVALID_SOCKET while closed.
    SOCKET ServerSocket() const;

    // Create with `port` already chosen (the command line's servers): the same steps
    // without the port dialog.
    void StartOnPort(int port);
    // The port chosen, without starting (a session whose server was not listening; 0 forgets
    // the port); nothing while the server listens. The chosen port, 0 when none.
    void ChoosePort(int port);
    int Port() const;

private:
    // The host node shows the server socket `sock` open, or closed when INVALID_SOCKET.
    void SetOpen(HTREEITEM hostItem, HostInfo& info, SOCKET sock);

    CDialogP& page_;
    COLORREF dialogColour_;
    Socket socket_;
};
