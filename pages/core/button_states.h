// Which of a page's buttons are enabled, as one pure function per page of what the page
// shows and of its server's state. The page base applies the result to every button it
// created (pages/core/dialog_p.h, ApplyButtons); nothing else enables or disables a page button.
#pragma once

#include <set>

// Button slots in the page base, by command.
struct ButtonSlots {
    // Every page's.
    int create = 1;
    int remove = 5;  // Delete
    int send = 9;
    int clearSent = 10;
    int clearReceived = 11;
    // The TCP server page's.
    int listen = 2;
    int stopListening = 3;
    // The TCP pages'.
    int disconnect = 4;
    // The TCP client page's.
    int connect = 6;
    // The UDP server page's.
    int startReceiving = 7;
    int stopReceiving = 8;
};
inline constexpr ButtonSlots kSlot{};

// What the views show: nothing yet, the host node, or an entry (with or without a record,
// whose own socket is open or closed). TCP and UDP pages describe it alike.
struct ShownState {
    enum class What { Nothing, Host, Entry };
    What what = What::Nothing;
    bool record = false;
    bool open = false;
};

// A server page's host node: a port was chosen, and the server socket is open.
struct ServerState {
    bool portChosen = false;
    bool open = false;
};

// The slots of the enabled buttons.
using ButtonSet = std::set<int>;

ButtonSet TcpServerButtons(const ShownState& shown, const ServerState& server);
ButtonSet TcpClientButtons(const ShownState& shown);
ButtonSet UdpServerButtons(const ShownState& shown, const ServerState& server);
// `endedSinceShown`: an endpoint's reception ended since an entry was last shown (Delete
// then waits until an entry is shown again).
ButtonSet UdpClientButtons(const ShownState& shown, bool endedSinceShown);
