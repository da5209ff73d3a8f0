#include "pages/page_endpoint.h"

#include <QPlainTextEdit>

#include "net/crit_sec.h"
#include "skin/tree_ctrl_ex.h"

CEndpointPage::CEndpointPage(int templateId, QWidget* parent) : CDialogP(templateId, parent) {}

HWND CEndpointPage::BuildPage(
    int treeId, COLORREF colour,
    const std::function<PageButtonLayout(const PageControls&)>& layoutFor) {
    const PageControls controls = BuildPageControls(this, TemplateId(), treeId);
    BindPageControls(controls.tree, controls.receivedView, controls.sentView, controls.sendBox);
    SetPageColour(colour);
    if (controls.tree) {
        controls.tree->SetBkColor(colour);
        InitHostTree(*controls.tree, imageList_);
    }
    if (controls.sendBox)
        controls.sendBox->setFocus();
    for (const PlacedButton& placed : PlacePageButtons(controls, layoutFor(controls))) {
        const PageButton& button = placed.button;
        CreateSkinButton(button.slot, button.id, placed.rect, button.bitmaps)
            .setEnabled(button.enabled);
        commands_[button.id] = button.command;
    }
    InstallEscapeFilter();
    return AttachWindowMessages();
}

PageButtonLayout CEndpointPage::LayoutButtons(std::vector<PageButton> topRow, int gap,
                                              const PageIds& ids, std::function<void()> send) {
    PageButtonLayout layout;
    layout.topRow = std::move(topRow);
    layout.gap = gap;
    layout.send = {kSlot.send, ids.send, kSendBitmaps, std::move(send)};
    layout.clearReceived = {kSlot.clearReceived, ids.clearReceived, kClearReceivedBitmaps,
                            [this] { OnClearReceived(); }};
    layout.clearSent = {kSlot.clearSent, ids.clearSent, kClearSentBitmaps,
                        [this] { OnClearSent(); }};
    return layout;
}

void CEndpointPage::TearDownPage(ConnectMap& records) {
    ReleasePage(records);
}

void CEndpointPage::OnCommand(int id) {
    const auto found = commands_.find(id);
    if (found != commands_.end() && found->second)
        found->second();
}

void CEndpointPage::DeleteSelectedEntry(ConnectMap& records,
                                        std::uint64_t (*keyOf)(const ConnectInfo& record)) {
    if (!Tree())
        return;
    // Held throughout, so that no receive thread finds the record meanwhile.
    UiCritSecGuard lock(g_connectLock);
    const HTREEITEM selected = Tree()->GetSelectedItem();
    if (selected && !IsHostNode(selected)) {
        if (ConnectInfo* record = RecordOf(selected)) {
            // A receive thread of this socket ends silently once it is closed.
            if (record->sock != INVALID_SOCKET)
                closesocket(record->sock);
            record->sock = INVALID_SOCKET;
            const auto found = records.find(keyOf(*record));
            if (found != records.end() && found->second == record)
                records.erase(found);
            ForgetRecord(record);
            delete record;
        }
        Tree()->DeleteItem(selected);
    }
    // The tree has moved its caret to a neighbour.
    ShowEntry(Tree()->GetSelectedItem());
}

LRESULT CEndpointPage::OnConnectData(WPARAM what, ConnectInfo* record,
                                     const std::function<void(ConnectInfo& record)>& ended) {
    if (!record)
        return 1;
    if (what == CONNECT_DATA_APPENDED) {
        OnDataAppended(record);
        return 1;
    }
    if (record->treeItem && Tree()) {
        const int image = record->unread ? kImageEntryClosedUnread : kImageEntryClosed;
        Tree()->SetItemImage(record->treeItem, image, image);
    }
    if (ended)
        ended(*record);
    return 1;
}
