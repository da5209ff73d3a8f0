#include "pages/core/dialog_p.h"

#include <QKeyEvent>
#include <QMenu>
#include <QPlainTextEdit>

#include "net/crit_sec.h"
#include "pages/core/page_colour.h"
#include "pages/tools/hex_tools.h"
#include "pages/views/entry_counters.h"
#include "pages/tools/copy_bytes_tool.h"
#include "pages/tools/pcap_export_tool.h"
#include "pages/views/find_bar.h"
#include "platform/qt_window.h"
#include "platform/send_box.h"
#include "skin/tree_ctrl_ex.h"

CDialogP::CDialogP(int templateId, QWidget* parent)
    : QWidget(parent),
      templateId_(templateId),
      views_(this, [this](const ConnectInfo* record) { return records_.IsSelected(record); }) {
    // Set here once: the tools and the pages hear of records through RecordFreeing and
    // PageTool, never by replacing these.
    records_.onAdded = [this](ConnectInfo& record) {
        ForEachTool([&](PageTool& tool) { tool.RecordAdded(record); });
    };
    records_.onFreeing = [this](const ConnectInfo* record) { RecordFreeing(record); };
}

CDialogP::~CDialogP() {
    DetachWindowMessages();
}

CSkinBtn& CDialogP::ButtonSlot(int slot) {
    Q_ASSERT(slot >= 1 && slot <= kButtonSlotCount);
    return buttonSlots_[static_cast<std::size_t>(slot - 1)];
}

// ---- building and tearing down -------------------------------------------------------------

HWND CDialogP::BuildPage(int treeId, COLORREF colour,
                         const std::function<PageButtonLayout(const PageControls&)>& layoutFor) {
    const PageControls controls = BuildPageControls(this, TemplateId(), treeId);
    views_.Bind(controls.receivedView, controls.sentView);
    sendBox_ = controls.sendBox;
    PaintPageBackground(this, colour);
    if (controls.tree) {
        controls.tree->SetBkColor(colour);
        records_.Init(controls.tree);
        // The shown entry is the tree's caret item, however the caret moved (mouse, keys,
        // type-ahead, an entry removed), so that the views, the buttons and every command
        // act on one entry.
        connect(controls.tree, &QTreeWidget::currentItemChanged, this,
                [this](QTreeWidgetItem* current) {
                    if (current)
                        ShowEntry(CTreeCtrlEx::ToHandle(current));
                });
        // A click on the caret item does not move it: shown again (its unseen mark goes).
        connect(controls.tree, &CTreeCtrlEx::itemClicked, this, [this](HTREEITEM item) {
            if (item && item == records_.Selected())
                ShowEntry(item);
        });
        controls.tree->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(controls.tree, &QWidget::customContextMenuRequested, this, &CDialogP::ShowTreeMenu);
    }
    if (auto* box = qobject_cast<CSendBox*>(sendBox_)) {
        box->AddMenuFiller([this](QMenu& menu) {
            ForEachTool([&](PageTool& tool) { tool.FillSendBoxMenu(menu); });
        });
    }
    if (sendBox_)
        sendBox_->setFocus();
    for (const PlacedButton& placed : PlacePageButtons(controls, layoutFor(controls))) {
        const PageButton& button = placed.button;
        CSkinBtn& created = ButtonSlot(button.slot);
        created.Create(placed.rect, this, button.id);
        created.LoadBitmaps(button.bitmaps.normal, button.bitmaps.hover, button.bitmaps.pressed,
                            button.bitmaps.disabled);
        connect(&created, &CSkinBtn::commandClicked, this, [this](int id) { OnCommand(id); });
        createdSlots_.push_back(button.slot);
        commands_[button.id] = button.command;
    }
    ApplyButtons();
    InstallHexTools(*this);
    FindBar::Install(views_);
    InstallCopyBytesTool(*this);
    PcapExportTool::Install(*this);
    EntryCounters::Install(*this);
    // Escape is swallowed for the page and every control on it.
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
    window_ = AttachMessageWindow(this, [this](UINT message, WPARAM wParam, LPARAM lParam) {
        return OnWindowMessage(message, wParam, lParam);
    });
    return window_;
}

void CDialogP::RecordFreeing(const ConnectInfo* record) {
    views_.Forget(record);
    ForEachTool([&](PageTool& tool) { tool.RecordFreeing(record); });
}

void CDialogP::ShowTreeMenu(const QPoint& at) {
    CTreeCtrlEx* tree = Tree();
    const HTREEITEM item = tree ? tree->HitTest(at) : nullptr;
    if (!item)
        return;
    auto* menu = new QMenu(tree);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    ForEachTool([&](PageTool& tool) { tool.FillTreeMenu(*menu, item); });
    if (menu->isEmpty()) {
        delete menu;
        return;
    }
    menu->popup(tree->viewport()->mapToGlobal(at));
}

PageButtonLayout CDialogP::LayoutButtons(std::vector<PageButton> topRow, int gap,
                                         const PageIds& ids) {
    return {std::move(topRow),
            gap,
            {kSlot.send, ids.send, kSendBitmaps, [this] { OnSend(); }},
            {kSlot.clearReceived, ids.clearReceived, kClearReceivedBitmaps,
             [this] { views_.ClearReceived(records_.SelectedRecord()); }},
            {kSlot.clearSent, ids.clearSent, kClearSentBitmaps,
             [this] { views_.ClearSent(records_.SelectedRecord()); }}};
}

void CDialogP::DetachWindowMessages() {
    // Workers sending to the window from now on get 0 at once.
    if (window_)
        DestroyMessageWindow(window_);
    window_ = nullptr;
}

void CDialogP::TearDownPage(ConnectMap& records) {
    ForEachTool([](PageTool& tool) { tool.PageClosing(); });
    DetachWindowMessages();
    // Emptying the tree moves its caret: nothing is shown from a page going away.
    if (Tree())
        Tree()->disconnect(this);
    records_.ReleaseAll(records);
}

// ---- buttons -------------------------------------------------------------------------------

void CDialogP::ApplyButtons() {
    const ButtonSet enabled = EnabledButtons();
    for (int slot : createdSlots_) ButtonSlot(slot).setEnabled(enabled.contains(slot));
}

void CDialogP::OnCommand(int id) {
    const auto found = commands_.find(id);
    if (found != commands_.end() && found->second)
        found->second();
}

// ---- entries -------------------------------------------------------------------------------

void CDialogP::ShowEntry(HTREEITEM item) {
    if (!item || !Tree())
        return;
    if (records_.IsHostNode(item)) {
        shown_ = {ShownState::What::Host};
        ApplyButtons();
        views_.ShowNothing();
        return;
    }
    ConnectInfo* record = records_.RecordOf(item);
    if (!record) {
        shown_ = {ShownState::What::Entry};
        ApplyButtons();
        return;
    }
    UiCritSecGuard lock(g_connectLock);
    record->unread = 0;
    record->pageWillLook = false;  // its next data is told again
    shown_ = {ShownState::What::Entry, true, record->sock != INVALID_SOCKET};
    records_.SetImage(item, EntryImage(*record));
    ApplyButtons();
    views_.Show(*record);
}

void CDialogP::DeleteSelectedEntry(ConnectMap& records, RecordTree::KeyOf keyOf) {
    if (!Tree())
        return;
    // Held throughout, so that no receive thread finds the record meanwhile.
    UiCritSecGuard lock(g_connectLock);
    records_.DeleteEntry(records_.Selected(), records, keyOf);
    // The tree has moved its caret to a neighbour.
    ShowEntry(records_.Selected());
}

// ---- notifications (user-interface thread; see the lock rule of each message) ---------------

LRESULT CDialogP::OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    auto* record = reinterpret_cast<ConnectInfo*>(lParam);
    if (message == WM_CONNECT_NEW)
        return OnConnectNew(record);
    if (message == WM_CONNECT_DATA)
        return OnConnectData(wParam, record);
    return OnPageMessage(message, wParam, lParam);
}

LRESULT CDialogP::OnConnectData(WPARAM what, ConnectInfo* record) {
    if (!record)
        return 1;
    if (what == CONNECT_DATA_APPENDED) {
        if (!views_.OnDataAppended(*record))
            records_.SetImage(record->treeItem, kImageEntryOpenUnread);
        bool everyBatch = false;
        ForEachTool([&](PageTool& tool) {
            tool.DataAppended(*record);
            everyBatch = everyBatch || tool.WantsEveryBatch();
        });
        // The entry is marked unseen, or its view follows the log by itself: more data need
        // not be told until the page looks again (showing the entry clears this).
        record->pageWillLook = !everyBatch;
        return 1;
    }
    records_.SetImage(record->treeItem,
                      record->unread ? kImageEntryClosedUnread : kImageEntryClosed);
    OnReceptionEnded(*record);
    ForEachTool([&](PageTool& tool) { tool.ReceptionEnded(*record); });
    return 1;
}

// ---- keys ----------------------------------------------------------------------------------

void CDialogP::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();  // never passed on to the frame
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

bool CDialogP::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        return true;  // Escape never reaches a control or closes anything
    }
    return QWidget::eventFilter(watched, event);
}
