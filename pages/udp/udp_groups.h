// The multicast groups the UDP server page has joined, shown as children of its host node
// (with the host's image, no record: RecordOf gives null for them). The host node's menu
// offers "加入组播组…", a group's menu "退出组播组". Memberships belong to the server
// socket: each group is joined again on every new server socket (Start after Stop, a new
// port), and the list stays while the socket is closed.
//
// Threads: user-interface thread only.
#pragma once

#include <QString>
#include <functional>
#include <map>
#include <vector>

#include "net/endpoint.h"
#include "net/socket_handle.h"
#include "pages/core/page_tool.h"
#include "platform/win_types.h"

class CDialogP;

class UdpGroups : public PageTool {
public:
    // `serverSocket` gives the open server socket or INVALID_SOCKET.
    UdpGroups(CDialogP& page, COLORREF dialogColour, std::function<SOCKET()> serverSocket);
    ~UdpGroups() override;

    // Registers with the page: the two items in its tree menu.
    void AddMenu();
    void FillTreeMenu(QMenu& menu, HTREEITEM item) override;
    // Asks for a group and joins it on the server socket.
    void AskAndJoin();
    // Joins `group`; false after telling the user why not.
    bool Join(const Endpoint& group);
    // Leaves the group of `child` and removes the child.
    void Leave(HTREEITEM child);
    bool IsGroupChild(HTREEITEM item) const { return item && groups_.count(item) != 0; }
    std::size_t Count() const { return groups_.size(); }
    // The groups joined, in the order of their addresses.
    std::vector<Endpoint> Joined() const;
    // Leaves every group (a session replaces the set-up).
    void LeaveAll();

    // The server socket was opened or closed: the groups are joined on a new socket, and
    // their images follow the host's.
    void SocketChanged();

private:
    void ShowFailure(const QString& what, int error);

    CDialogP& page_;
    COLORREF dialogColour_;
    std::function<SOCKET()> serverSocket_;
    std::map<HTREEITEM, Endpoint> groups_;
    SOCKET joinedOn_ = INVALID_SOCKET;  // the socket the groups were last joined on
};
