// The host node's context menu: commands on every entry of a page at once ("全部连接",
// "全部断开", "全部删除", "发送给全部"). Each page names what the commands mean for it;
// what they do alike (deleting every entry, sending the send box's text to every entry that
// can take it) lives here. The top-row buttons keep following what is shown.
//
// Threads: user-interface thread only; takes g_connectLock (UiCritSecGuard) around the
// engine's map and the records' sockets.
#pragma once

#include <functional>

#include "net/connect_info.h"
#include "pages/core/record_tree.h"

class CDialogP;
class CTcpPage;
class CUdpPage;

struct AllEntriesCommands {
    // Empty: the item is not offered.
    std::function<void()> connectAll;
    std::function<void()> disconnectAll;
    std::function<void()> deleteAll;
    std::function<void()> sendToAll;
    // "停止全部连接", offered while `connecting` holds.
    std::function<void()> stopConnects;
    std::function<bool()> connecting;
};

// Adds the commands to the tree menu of `page`, shown for the host node only (greyed while
// `busy` holds, when given: the menu itself never goes away).
void AddAllEntriesMenu(CDialogP& page, AllEntriesCommands commands,
                       std::function<bool()> busy = {});

// Deletes every entry that carries a record (closing its socket, unregistering it from
// `records` under `keyOf`), then shows the host node. Children without a record stay.
void DeleteAllEntries(CDialogP& page, ConnectMap& records, RecordTree::KeyOf keyOf);

// The send box's text to every entry for which `canTake` holds (called under the lock),
// through the page's send door; each send is logged in its entry's own sent log. Stops at
// the first send the page refused (it has told the user why). Says so when no entry can take
// it.
void SendToAllEntries(CDialogP& page, const std::function<bool(const ConnectInfo&)>& canTake);

// The menu of a TCP page: "全部断开" closes every open connection (their receive threads
// report the closes; messages still waiting are dropped), "全部删除", "发送给全部" to every
// open connection. `connectAll` (the client page's) is offered when given; `stopConnects`
// runs first in "全部断开" and "全部删除" (connects still running are given up), and is
// offered on its own as "停止全部连接" while `connecting` holds. While `busy` holds, the
// items are greyed.
void AddTcpAllEntriesMenu(CTcpPage& page, std::function<void()> connectAll = {},
                          std::function<void()> stopConnects = {}, std::function<bool()> busy = {},
                          std::function<bool()> connecting = {});
// The menu of a UDP page: "全部删除" and "发送给全部" to every entry for which `canTake`
// holds (every sender heard; every client whose socket is still open). A datagram partner
// has no connection to close.
void AddUdpAllEntriesMenu(CUdpPage& page, std::function<bool(const ConnectInfo&)> canTake);
