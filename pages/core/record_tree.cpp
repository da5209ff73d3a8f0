#include "pages/core/record_tree.h"

#include <unordered_set>

#include "net/crit_sec.h"
#include "pages/core/ansi_text.h"
#include "pages/core/endpoint_text.h"
#include "platform/resources.h"
#include "skin/tree_ctrl_ex.h"

namespace {
// Node icons in image-list order: host idle, host open, entry closed, entry open,
// entry closed with unseen data, entry open with unseen data.
constexpr int kNodeIconIds[] = {136, 137, 140, 142, 144, 143};
constexpr COLORREF kHostLabelColour = RGB(136, 0, 21);
}  // namespace

RecordTree::RecordTree() : hostLookup_(std::make_unique<AddressLookup>()) {}

// A lookup still running is abandoned with it.
RecordTree::~RecordTree() = default;

void RecordTree::Init(CTreeCtrlEx* tree) {
    tree_ = tree;
    if (!tree_)
        return;
    const HTREEITEM host = tree_->InsertItem(QString());
    tree_->setRootIsDecorated(true);  // buttons and lines, also at the root

    imageList_.clear();
    for (int iconId : kNodeIconIds) imageList_.push_back(LoadIconResource(iconId));
    tree_->setIconSize(QSize(16, 16));
    tree_->SetImageList(imageList_);
    tree_->SetItemImage(host, kImageHostIdle, kImageHostIdle);

    tree_->SetItemData(host, reinterpret_cast<std::uintptr_t>(new HostInfo));

    tree_->SetItemBoldState(host, true);
    tree_->SetItemTextColor(host, kHostLabelColour);

    // An empty name stands for the local host.
    hostLookup_->Start(QString(),
                       [this](std::optional<Endpoint> address) { OnLocalAddress(address); });
}

void RecordTree::OnLocalAddress(const std::optional<Endpoint>& address) {
    const auto host = GetHostNode();
    if (!host || !host->info || !address)
        return;
    HostInfo& info = *host->info;
    info.address = address->AddressText();
    tree_->SetItemText(host->item, HostNodeLabel(info));
}

QString HostNodeLabel(const HostInfo& info) {
    return FromAnsi((info.port > 0 ? EndpointText(info.address, info.port) : info.address) +
                    info.labelSuffix);
}

std::optional<RecordTree::HostNode> RecordTree::GetHostNode() const {
    const HTREEITEM root = tree_ ? tree_->GetRootItem() : nullptr;
    if (!root)
        return std::nullopt;
    return HostNode{root, reinterpret_cast<HostInfo*>(tree_->GetItemData(root))};
}

bool RecordTree::IsHostNode(HTREEITEM item) const {
    return tree_ && item && tree_->GetParentItem(item) == nullptr;
}

ConnectInfo* RecordTree::RecordOf(HTREEITEM item) const {
    if (!tree_ || !item || IsHostNode(item))
        return nullptr;
    return reinterpret_cast<ConnectInfo*>(tree_->GetItemData(item));
}

HTREEITEM RecordTree::Selected() const {
    return tree_ ? tree_->GetSelectedItem() : nullptr;
}

bool RecordTree::IsSelected(const ConnectInfo* record) const {
    return record && record->treeItem && record->treeItem == Selected();
}

HTREEITEM RecordTree::AddEntry(ConnectInfo& record, const QString& label, int image) {
    const auto host = GetHostNode();
    if (!host)
        return nullptr;
    record.treeItem = tree_->InsertItem(label, image, image, host->item, TVI_LAST);
    tree_->SetItemData(record.treeItem, reinterpret_cast<std::uintptr_t>(&record));
    tree_->Expand(host->item);
    if (onAdded)
        onAdded(record);
    return record.treeItem;
}

void RecordTree::SetImage(HTREEITEM item, int image) {
    if (!tree_ || !item)
        return;
    int now = -1, selectedNow = -1;
    tree_->GetItemImage(item, now, selectedNow);
    if (now != image || selectedNow != image)
        tree_->SetItemImage(item, image, image);
}

ConnectInfo* RecordTree::StillListed(const ConnectInfo* record) {
    ConnectInfo* found = nullptr;
    if (record) {
        ForEachRecord([&](HTREEITEM, ConnectInfo& listed) {
            if (&listed == record)
                found = &listed;
        });
    }
    return found;
}

void RecordTree::ForEachRecord(
    const std::function<void(HTREEITEM entry, ConnectInfo& record)>& each) {
    const auto host = GetHostNode();
    if (!host)
        return;
    for (HTREEITEM entry = tree_->GetChildItem(host->item); entry;
         entry = tree_->GetNextSiblingItem(entry)) {
        if (ConnectInfo* record = RecordOf(entry))
            each(entry, *record);
    }
}

void RecordTree::Free(ConnectInfo* record) {
    // A worker blocked on this socket wakes with an error and, finding its record gone from
    // the map, ends without notifying.
    if (record->sock != INVALID_SOCKET)
        closesocket(record->sock);
    record->sock = INVALID_SOCKET;
    if (onFreeing)
        onFreeing(record);
    delete record;
}

void RecordTree::DeleteEntry(HTREEITEM item, ConnectMap& records, KeyOf keyOf) {
    if (!item || IsHostNode(item))
        return;
    UiCritSecGuard lock(g_connectLock);
    if (ConnectInfo* record = RecordOf(item)) {
        const auto found = records.find(keyOf(*record));
        if (found != records.end() && found->second == record)
            records.erase(found);
        Free(record);
    }
    tree_->DeleteItem(item);
}

void RecordTree::ReleaseAll(ConnectMap& records) {
    hostLookup_->Cancel();
    UiCritSecGuard lock(g_connectLock);
    const auto host = GetHostNode();
    if (host && host->info && host->info->sock != INVALID_SOCKET) {
        // Engine threads check their socket under the lock before they register a record.
        closesocket(host->info->sock);
        host->info->sock = INVALID_SOCKET;
    }
    // Records registered but never shown (a connection announced after the window handle
    // went) are freed with those of the entries; each one once.
    std::unordered_set<ConnectInfo*> owned;
    for (const auto& [key, record] : records) {
        if (record)
            owned.insert(record);
    }
    records.clear();
    ForEachRecord([&](HTREEITEM, ConnectInfo& record) { owned.insert(&record); });
    for (ConnectInfo* record : owned) Free(record);
    if (host)
        delete host->info;
    // The entries' item data points at freed records until the items go here.
    if (tree_)
        tree_->DeleteAllItems();
}
