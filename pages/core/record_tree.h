// RecordTree: a page's endpoint tree and the records it holds. The root is the host node
// (the local machine; its item data is the page's HostInfo), each child an entry whose item
// data is a ConnectInfo and whose record's treeItem points back at it. The tree owns the
// records from the moment they are shown as entries (or registered in the page's engine map)
// until DeleteEntry or ReleaseAll frees them; nobody else frees a record.
//
// Threads: user-interface thread only (the local address is looked up on a helper thread and
// handed back through the event loop). DeleteEntry and ReleaseAll take g_connectLock
// (UiCritSecGuard) around the map and the records' sockets.
#pragma once

#include <QIcon>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "net/connect_info.h"
#include "pages/core/host_info.h"
#include "pages/core/page_address.h"

class CTreeCtrlEx;

// The host node's label: the local address, ":" and the port once one is chosen, and the
// label's suffix.
QString HostNodeLabel(const HostInfo& info);

// Node images (indices into the tree's image list).
enum NodeImage : int {
    kImageHostIdle = 0,
    kImageHostOpen = 1,
    kImageEntryClosed = 2,
    kImageEntryOpen = 3,
    kImageEntryClosedUnread = 4,
    kImageEntryOpenUnread = 5,
};

class RecordTree {
public:
    // Set once, by the page base: a record became an entry (AddEntry; it may run inside a
    // WM_CONNECT_NEW handler), and a record is about to be freed.
    std::function<void(ConnectInfo& record)> onAdded;
    std::function<void(const ConnectInfo* record)> onFreeing;

    RecordTree();
    ~RecordTree();

    // Makes `tree` the page's tree: the host node, the six node images, a fresh HostInfo as
    // the host node's item data. The local address is looked up off the window's thread (a
    // dead name service must not hold the start): the host node's label and HostInfo get it
    // when it comes, and stay empty when there is none.
    void Init(CTreeCtrlEx* tree);
    // The lookup of the local address (tests shorten its time limit).
    AddressLookup& HostLookup() { return *hostLookup_; }
    CTreeCtrlEx* Tree() const { return tree_; }

    struct HostNode {
        HTREEITEM item;
        HostInfo* info;  // may be null
    };
    // The host node and its HostInfo; nothing when there is no tree or no root.
    std::optional<HostNode> GetHostNode() const;
    bool IsHostNode(HTREEITEM item) const;
    // The record of an entry; null for the host node, null items and entries without one.
    ConnectInfo* RecordOf(HTREEITEM item) const;
    // The tree's selected (caret) item, and its record.
    HTREEITEM Selected() const;
    ConnectInfo* SelectedRecord() const { return RecordOf(Selected()); }
    bool IsSelected(const ConnectInfo* record) const;

    // An entry labelled `label` under the host node, carrying `record`, the host node
    // expanded. Null when there is no host node.
    HTREEITEM AddEntry(ConnectInfo& record, const QString& label, int image);
    void SetImage(HTREEITEM item, int image);
    // Runs `each` for every entry with a record, first to last.
    void ForEachRecord(const std::function<void(HTREEITEM entry, ConnectInfo& record)>& each);
    // `record` while it is still one of the tree's entries, else null: a tool that kept a
    // record across the event loop checks that the user has not deleted it meanwhile.
    ConnectInfo* StillListed(const ConnectInfo* record);

    // Closes the entry's socket (if open), unregisters its record from `records` (found
    // under `keyOf(record)`), frees it and removes the entry. Nothing for the host node or a
    // null item.
    using KeyOf = ConnectKey (*)(const ConnectInfo& record);
    void DeleteEntry(HTREEITEM item, ConnectMap& records, KeyOf keyOf);
    // The page's one tear-down: under g_connectLock, closes the host node's socket (so that
    // no engine thread registers a record after this), then closes and frees, once each,
    // every record of the map (shown or not) and of the tree, then the HostInfo, and empties
    // the tree. Worker threads then find their records gone and end without notifying.
    void ReleaseAll(ConnectMap& records);

private:
    void Free(ConnectInfo* record);
    // The local address came: the host node shows it (with its port once one is chosen).
    void OnLocalAddress(const std::optional<Endpoint>& address);

    std::unique_ptr<AddressLookup> hostLookup_;

    CTreeCtrlEx* tree_ = nullptr;
    std::vector<QIcon> imageList_;
};
