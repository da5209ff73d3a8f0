// PageTool: what a page tool (timed sends, files, echo, the host node's all-entries menu, the
// hex switches, the counters, ...) hears from the page it is registered with. A tool derives
// from it, overrides what it needs, and registers once with CDialogP::AddTool; the page calls
// every registered tool in the order they registered. A tool outlives nothing: it is a child
// of its page, or owned by it.
//
// Threads: user-interface thread only. DataAppended and ReceptionEnded run inside the
// WM_CONNECT_DATA handler, while its worker holds g_connectLock: no UiCritSecGuard, no modal
// loop, no send there (post the work to the event loop instead).
#pragma once

#include "platform/win_types.h"

class QMenu;
struct ConnectInfo;

class PageTool {
public:
    virtual ~PageTool() = default;

    // The tree's context menu opens on `item` (the host node or an entry).
    virtual void FillTreeMenu(QMenu& /*menu*/, HTREEITEM /*item*/) {}
    // The send box's context menu opens (after its edit items).
    virtual void FillSendBoxMenu(QMenu& /*menu*/) {}

    // A record became an entry of the page (inside a WM_CONNECT_NEW handler on server pages:
    // the same rules as DataAppended).
    virtual void RecordAdded(ConnectInfo& /*record*/) {}
    // Inside the handler: new lines were appended to the record's received log.
    virtual void DataAppended(ConnectInfo& /*record*/) {}
    // While true, DataAppended hears of every batch a worker appends; otherwise the page may
    // let workers append without telling it (see ConnectInfo::pageWillLook), which a flood
    // needs.
    virtual bool WantsEveryBatch() const { return false; }
    // Inside the handler: the record's reception ended (the peer closed, the socket failed).
    virtual void ReceptionEnded(ConnectInfo& /*record*/) {}
    // A message for the record went whole (logged and counted already).
    virtual void MessageWent(ConnectInfo& /*record*/) {}
    // The record is about to be freed: forget every pointer to it.
    virtual void RecordFreeing(const ConnectInfo* /*record*/) {}
    // The page is going away: stop what runs (no message boxes from now on).
    virtual void PageClosing() {}
};
