#include "pages/dialog_p.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTimer>

#include "net/crit_sec.h"
#include "net/tcp_engine.h"
#include "pages/ansi_text.h"
#include "pages/page_colour.h"
#include "platform/message_box.h"
#include "platform/qt_window.h"
#include "platform/resources.h"
#include "skin/tree_ctrl_ex.h"
#include "text/code_page.h"

namespace {
// Node icons in image-list order: host idle, host open, entry closed, entry open,
// entry closed with unseen data, entry open with unseen data.
constexpr int kNodeIconIds[] = {136, 137, 140, 142, 144, 143};
constexpr COLORREF kHostLabelColour = RGB(136, 0, 21);
}  // namespace

CDialogP::CDialogP(int templateId, QWidget* parent)
    : QWidget(parent), templateId_(templateId), receivedRefreshTimer_(new QTimer(this)) {
    receivedRefreshTimer_->setSingleShot(true);
    receivedRefreshTimer_->setInterval(kReceivedViewRefreshMs);
    connect(receivedRefreshTimer_, &QTimer::timeout, this, [this] { RefreshReceivedView(); });
}

CDialogP::CDialogP() : CDialogP(kDefaultTemplateId, nullptr) {}

CDialogP::~CDialogP() {
    DetachWindowMessages();
}

CSkinBtn& CDialogP::ButtonSlot(int slot) {
    Q_ASSERT(slot >= 1 && slot <= kButtonSlotCount);
    return buttonSlots_[static_cast<std::size_t>(slot - 1)];
}

// ---- set-up --------------------------------------------------------------------------------

void CDialogP::SetPageColour(COLORREF colour) {
    pageColour_ = colour;
    PaintPageBackground(this, colour);
}

void CDialogP::BindPageControls(CTreeCtrlEx* tree, QPlainTextEdit* receivedView,
                                QPlainTextEdit* sentView, QPlainTextEdit* sendBox) {
    tree_ = tree;
    receivedView_ = LogView(receivedView);
    sentView_ = LogView(sentView);
    sendBox_ = sendBox;
    if (tree_) {
        connect(tree_, &CTreeCtrlEx::itemClicked, this, [this](HTREEITEM item) {
            // Follows clicks only: the hit item, before the tree moves its caret.
            if (item)
                ShowEntry(item);
        });
    }
}

void CDialogP::InitHostTree(CTreeCtrlEx& tree, std::vector<QIcon>& imageList) {
    std::string address;
    GetLocalHostAddress(address);

    const HTREEITEM host = tree.InsertItem(FromAnsi(address));
    tree.setRootIsDecorated(true);  // buttons and lines, also at the root

    imageList.clear();
    for (int iconId : kNodeIconIds) imageList.push_back(LoadIconResource(iconId));
    tree.setIconSize(QSize(16, 16));
    tree.SetImageList(imageList);
    tree.SetItemImage(host, kImageHostIdle, kImageHostIdle);

    auto* info = new HostInfo;
    info->address = address;
    tree.SetItemData(host, reinterpret_cast<std::uintptr_t>(info));

    tree.SetItemBoldState(host, true);
    tree.SetItemTextColor(host, kHostLabelColour);
}

CSkinBtn& CDialogP::CreateSkinButton(int slot, int id, const QRect& rect,
                                     const SkinBitmaps& bitmaps) {
    CSkinBtn& button = ButtonSlot(slot);
    button.Create(rect, this, id);
    button.LoadBitmaps(bitmaps.normal, bitmaps.hover, bitmaps.pressed, bitmaps.disabled);
    connect(&button, &CSkinBtn::commandClicked, this, [this](int command) { OnCommand(command); });
    return button;
}

void CDialogP::InstallEscapeFilter() {
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
}

HWND CDialogP::AttachWindowMessages() {
    window_ = AttachMessageWindow(this, [this](UINT message, WPARAM wParam, LPARAM lParam) {
        return OnWindowMessage(message, wParam, lParam);
    });
    return window_;
}

// ---- tear-down -----------------------------------------------------------------------------

void CDialogP::DetachWindowMessages() {
    if (window_)
        DestroyMessageWindow(window_);
    window_ = nullptr;
}

void CDialogP::ReleaseHostTree(CTreeCtrlEx& tree, ConnectMap& connections) {
    UiCritSecGuard lock(g_connectLock);
    // Once the map is empty no worker finds these records any more; their threads end
    // silently when the sockets below close.
    connections.clear();
    const HTREEITEM host = tree.GetRootItem();
    if (host) {
        for (HTREEITEM entry = tree.GetChildItem(host); entry;
             entry = tree.GetNextSiblingItem(entry)) {
            auto* record = reinterpret_cast<ConnectInfo*>(tree.GetItemData(entry));
            if (!record)
                continue;
            if (record->sock != INVALID_SOCKET)
                closesocket(record->sock);
            ForgetRecord(record);
            delete record;
            tree.SetItemData(entry, 0);
        }
        if (auto* info = reinterpret_cast<HostInfo*>(tree.GetItemData(host))) {
            if (info->listening)
                closesocket(info->sock);
            delete info;
            tree.SetItemData(host, 0);
        }
    }
    tree.DeleteAllItems();
}

// ---- items ---------------------------------------------------------------------------------

std::optional<CDialogP::HostNode> CDialogP::GetHostNode() const {
    if (!tree_)
        return std::nullopt;
    const HTREEITEM root = tree_->GetRootItem();
    if (!root)
        return std::nullopt;
    return HostNode{root, reinterpret_cast<HostInfo*>(tree_->GetItemData(root))};
}

bool CDialogP::IsHostNode(HTREEITEM item) const {
    return tree_ && item && tree_->GetParentItem(item) == nullptr;
}

ConnectInfo* CDialogP::RecordOf(HTREEITEM item) const {
    if (!tree_ || !item || IsHostNode(item))
        return nullptr;
    return reinterpret_cast<ConnectInfo*>(tree_->GetItemData(item));
}

// ---- handlers ------------------------------------------------------------------------------

void CDialogP::ShowEntry(HTREEITEM) {}

void CDialogP::OnCommand(int) {}

LRESULT CDialogP::OnWindowMessage(UINT, WPARAM, LPARAM) {
    return 0;
}

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

// ---- shared steps --------------------------------------------------------------------------

void CDialogP::ShowRecordLogs(const ConnectInfo& record) {
    receivedView_.Show(&record, record.recvLog);
    sentView_.Show(&record, record.sendLog);
    receivedView_.ScrollToEndLater();
    sentView_.ScrollToEndLater();
}

void CDialogP::ClearViews() {
    receivedView_.Clear();
    sentView_.Clear();
}

void CDialogP::ForgetRecord(const ConnectInfo* record) {
    receivedView_.Forget(record);
    sentView_.Forget(record);
    if (receivedRefreshPending_ == record)
        receivedRefreshPending_ = nullptr;
}

void CDialogP::OnDataAppended(ConnectInfo* record) {
    if (!record || !tree_)
        return;
    if (record->treeItem && record->treeItem == tree_->GetSelectedItem()) {
        // A flood of small chunks is shown in batches: the first notification starts the
        // timer, later ones only join the batch. (A record pending before belongs to an
        // entry no longer selected, whose data is no longer to be shown.) The lock is not
        // taken here: the worker that sent this holds it and waits for us.
        receivedRefreshPending_ = record;
        if (!receivedRefreshTimer_->isActive())
            receivedRefreshTimer_->start();
    } else if (record->treeItem) {
        int image = -1, selectedImage = -1;
        tree_->GetItemImage(record->treeItem, image, selectedImage);
        if (image != kImageEntryOpenUnread || selectedImage != kImageEntryOpenUnread) {
            tree_->SetItemImage(record->treeItem, kImageEntryOpenUnread, kImageEntryOpenUnread);
        }
    }
}

void CDialogP::RefreshReceivedView() {
    ConnectInfo* record = receivedRefreshPending_;
    receivedRefreshPending_ = nullptr;
    if (!record || !tree_ || record->treeItem != tree_->GetSelectedItem())
        return;
    // Runs from the timer, outside any notification handler.
    UiCritSecGuard lock(g_connectLock);
    receivedView_.Show(record, record->recvLog);
    receivedView_.ScrollToEndLater();
}

void CDialogP::OnClearReceived() {
    ConnectInfo* record = tree_ ? RecordOf(tree_->GetSelectedItem()) : nullptr;
    if (!record) {
        ShowMessageBox(this, QStringLiteral("未选择要清除的连接"), QStringLiteral("提示"));
        return;
    }
    UiCritSecGuard lock(g_connectLock);
    record->unread = 0;
    record->recvBytes = 0;
    record->recvBytes2 = 0;
    record->recvLog.clear();
    receivedView_.Clear();
}

void CDialogP::OnClearSent() {
    ConnectInfo* record = tree_ ? RecordOf(tree_->GetSelectedItem()) : nullptr;
    if (!record) {
        ShowMessageBox(this, QStringLiteral("未选择要清除的连接"), QStringLiteral("提示"));
        return;
    }
    record->sentBytes = 0;  // sentBytes and sendLog belong to the page alone
    record->sendLog.clear();
    sentView_.Clear();
}

void CDialogP::SendTypedTextTcp(TcpEngine& engine) {
    const HTREEITEM selected = tree_ ? tree_->GetSelectedItem() : nullptr;
    if (!selected || IsHostNode(selected)) {
        ShowMessageBox(this, QStringLiteral("请选择接收端！"), QStringLiteral("提示!"));
        return;
    }
    ConnectInfo* record = RecordOf(selected);
    if (!record)
        return;

    SOCKET sock = INVALID_SOCKET;
    {
        UiCritSecGuard lock(g_connectLock);
        sock = record->sock;
    }
    if (sock == INVALID_SOCKET) {
        ShowMessageBox(this, QStringLiteral("未建立链接！"), QStringLiteral("提示!"));
        return;
    }

    QString text = sendBox_ ? sendBox_->toPlainText() : QString();
    if (text.isEmpty())
        return;
    // Only spaces are trimmed: trailing tabs and line breaks are part of the message.
    qsizetype end = text.size();
    while (end > 0 && text[end - 1] == u' ') --end;
    text.truncate(end);
    sentView_.Clear();
    if (text.isEmpty())
        return;

    const std::string bytes = WideToAnsi(text.toStdU16String());
    // Sent without the lock, on the user-interface thread. Socket handles are never
    // reused, so a handle the receive thread closed meanwhile only makes the send fail.
    const int sent = engine.SendStream(sock, bytes.data(), static_cast<int>(bytes.size()));
    if (sent < 1) {
        {
            UiCritSecGuard lock(g_connectLock);
            if (record->sock == sock) {
                closesocket(record->sock);
                record->sock = INVALID_SOCKET;
            }
        }
        ShowEntry(selected);
        ShowMessageBox(this, QStringLiteral("对方已经断开！"), QStringLiteral("提示"));
        return;
    }

    // Wraps instead of overflowing after 2 GiB; nothing reads the counter.
    record->sentBytes = static_cast<std::int32_t>(static_cast<std::uint32_t>(record->sentBytes) +
                                                  static_cast<std::uint32_t>(sent));
    // Logged as it went on the wire: the converted bytes read back through the code page,
    // so a character the code page cannot hold shows as "?" here too.
    AppendAnsi(record->sendLog, FormatTimeStamp());
    AppendAnsi(record->sendLog, bytes);
    record->sendLog.push_back(u'\n');
    sentView_.Show(record, record->sendLog);
    if (sendBox_)
        sendBox_->clear();
    sentView_.ScrollToEndLater();
}
