#include "pages/dialog_p.h"

#include <QFileDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTimer>
#include <unordered_set>

#include "net/crit_sec.h"
#include "pages/ansi_text.h"
#include "pages/log_file.h"
#include "pages/page_colour.h"
#include "pages/tcp_send_queue.h"
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

    sendQueue_ = new TcpSendQueue(this);
    sendQueue_->onDelivered = [this](ConnectInfo* record, const TcpSendQueue::Message& message) {
        OnSendDelivered(record, message.bytes, message.typed);
    };
    sendQueue_->onStalled = [this](ConnectInfo* record, const TcpSendQueue::Message& message,
                                   std::size_t went) {
        OnSendStalled(record, message.bytes.size(), went);
    };
    sendQueue_->onFailed = [this](ConnectInfo* record, SOCKET sock) { OnSendFailed(record, sock); };
}

CDialogP::CDialogP() : CDialogP(kDefaultTemplateId, nullptr) {}

CDialogP::~CDialogP() {
    DetachWindowMessages();
}

void CDialogP::SetSendStallTimeoutForTesting(std::chrono::milliseconds timeout) {
    sendQueue_->SetStallTimeoutForTesting(timeout);
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
    receivedView_ = LogView(
        receivedView, u"（更早收到的信息未在此显示，右键菜单“保存收到的全部信息...”可保存全部）");
    sentView_ = LogView(sentView, u"（更早发送的信息未在此显示）");
    sendBox_ = sendBox;
    if (receivedView) {
        receivedView->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(receivedView, &QWidget::customContextMenuRequested, this,
                &CDialogP::ShowReceivedViewMenu);
    }
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

void CDialogP::ReleasePage(ConnectMap& connections) {
    sendQueue_->ForgetAll();
    if (const auto host = GetHostNode(); host && host->info) {
        // Under the lock: an engine thread checks its socket under it before it registers
        // a record, so once this is closed no record is added behind our back.
        UiCritSecGuard lock(g_connectLock);
        if (host->info->sock != INVALID_SOCKET)
            closesocket(host->info->sock);
        host->info->sock = INVALID_SOCKET;
        host->info->listening = false;
    }
    DetachWindowMessages();
    if (tree_)
        ReleaseHostTree(*tree_, connections);
}

void CDialogP::ReleaseHostTree(CTreeCtrlEx& tree, ConnectMap& connections) {
    UiCritSecGuard lock(g_connectLock);
    // Records registered but never shown (a connection announced after the window handle
    // went) are freed with those of the entries; each one once.
    std::unordered_set<ConnectInfo*> records;
    records.reserve(connections.size());
    for (const auto& [key, record] : connections) {
        if (record)
            records.insert(record);
    }
    // Once the map is empty no worker finds these records any more; their threads end
    // silently when the sockets below close.
    connections.clear();
    const HTREEITEM host = tree.GetRootItem();
    if (host) {
        for (HTREEITEM entry = tree.GetChildItem(host); entry;
             entry = tree.GetNextSiblingItem(entry)) {
            if (auto* record = reinterpret_cast<ConnectInfo*>(tree.GetItemData(entry)))
                records.insert(record);
        }
    }
    for (ConnectInfo* record : records) {
        if (record->sock != INVALID_SOCKET)
            closesocket(record->sock);
        record->sock = INVALID_SOCKET;
        ForgetRecord(record);
        delete record;
    }
    if (host) {
        if (auto* info = reinterpret_cast<HostInfo*>(tree.GetItemData(host))) {
            if (info->sock != INVALID_SOCKET)
                closesocket(info->sock);
            delete info;
        }
    }
    // The entries' item data points at freed records until the items go here.
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

// ---- the received view's menu -------------------------------------------------------------

void CDialogP::SetSaveFileChooserForTesting(std::function<QString()> chooser) {
    saveFileChooser_ = std::move(chooser);
}

void CDialogP::ShowReceivedViewMenu(const QPoint& at) {
    QPlainTextEdit* view = receivedView_.Widget();
    QMenu* menu = view->createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addSeparator();
    QAction* save = menu->addAction(QStringLiteral("保存收到的全部信息..."));
    save->setEnabled(shownRecord_ != nullptr);
    connect(save, &QAction::triggered, this, &CDialogP::SaveShownReceivedLog);
    menu->popup(view->viewport()->mapToGlobal(at));
}

void CDialogP::SaveShownReceivedLog() {
    const ConnectInfo* record = shownRecord_;
    if (!record)
        return;
    const QString path = saveFileChooser_ ? saveFileChooser_()
                                          : QFileDialog::getSaveFileName(
                                                this, QStringLiteral("保存收到的信息"),
                                                QStringLiteral("收到的信息.txt"),
                                                QStringLiteral("文本文件 (*.txt);;所有文件 (*)"));
    // The dialog let other commands run: the entry may be gone or another one shown.
    if (path.isEmpty() || shownRecord_ != record)
        return;
    std::size_t lines = 0;
    {
        UiCritSecGuard lock(g_connectLock);
        lines = record->recvLog.LineCount();
    }
    // What arrives meanwhile is not waited for: a flood would make the save endless.
    if (!SaveLogToFile(record->recvLog, lines, path))
        ShowMessageBox(this, QStringLiteral("无法保存到这个文件！"), QStringLiteral("提示"));
}

// ---- shared steps --------------------------------------------------------------------------

void CDialogP::ShowRecordLogs(const ConnectInfo& record) {
    shownRecord_ = &record;
    receivedView_.Show(&record, record.recvLog);
    sentView_.Show(&record, record.sendLog);
    receivedView_.ScrollToEndLater();
    sentView_.ScrollToEndLater();
}

void CDialogP::ClearViews() {
    shownRecord_ = nullptr;
    receivedView_.Clear();
    sentView_.Clear();
}

void CDialogP::ForgetRecord(const ConnectInfo* record) {
    receivedView_.Forget(record);
    sentView_.Forget(record);
    if (receivedRefreshPending_ == record)
        receivedRefreshPending_ = nullptr;
    if (shownRecord_ == record)
        shownRecord_ = nullptr;
    sendQueue_->Forget(record);
}

bool CDialogP::IsShownRecord(const ConnectInfo* record) const {
    return record != nullptr && record == shownRecord_;
}

void CDialogP::DropPendingSends(const ConnectInfo* record) {
    sendQueue_->Forget(record);
}

void CDialogP::OnDataAppended(ConnectInfo* record) {
    if (!record || !tree_)
        return;
    if (record->treeItem && record->treeItem == tree_->GetSelectedItem()) {
        // A flood of small chunks is shown in batches: the first notification starts the
        // timer, later ones only join the batch. (A record pending before belongs to an
        // entry no longer selected, whose data is no longer to be shown.) The lock is not
        // taken here: the worker that sent this holds it and waits for us. Data shown as it
        // arrives is seen: the entry keeps no unseen mark when its peer closes.
        record->unread = 0;
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
    // Runs from the timer, outside any notification handler. The lock is held only while the
    // new lines are read: the receive threads need not wait while the view lays them out.
    LogView::Update update;
    {
        UiCritSecGuard lock(g_connectLock);
        update = receivedView_.Read(record, record->recvLog);
    }
    receivedView_.Apply(update);
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
    record->recvLog.Clear();
    receivedView_.Clear();
}

void CDialogP::OnClearSent() {
    ConnectInfo* record = tree_ ? RecordOf(tree_->GetSelectedItem()) : nullptr;
    if (!record) {
        ShowMessageBox(this, QStringLiteral("未选择要清除的连接"), QStringLiteral("提示"));
        return;
    }
    record->sentBytes = 0;  // sentBytes and sendLog belong to the page alone
    record->sendLog.Clear();
    sentView_.Clear();
}

std::optional<std::string> CDialogP::PrepareTypedTextForSending() const {
    QString text = sendBox_ ? sendBox_->toPlainText() : QString();
    if (text.isEmpty())
        return std::nullopt;
    // Only spaces are trimmed: trailing tabs and line breaks are part of the message.
    qsizetype end = text.size();
    while (end > 0 && text[end - 1] == u' ') --end;
    text.truncate(end);
    // Each typed line break goes out as CR LF, as line-based protocols expect.
    QString wire;
    wire.reserve(text.size() + text.count(u'\n'));
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r'))
            wire.append(u'\r');
        wire.append(text[i]);
    }
    return WideToAnsi(wire.toStdU16String());
}

void CDialogP::SendTypedTextTcp() {
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

    std::optional<std::string> bytes = PrepareTypedTextForSending();
    if (!bytes)
        return;
    sentView_.Clear();
    if (bytes->empty())
        return;
    // The sender thread writes it as the peer reads; OnSendDelivered logs it. Socket
    // handles are never reused, so a handle closed meanwhile only makes the send fail.
    if (!sendQueue_->Queue(record, sock, {std::move(*bytes), sendBox_->toPlainText()})) {
        // The connection is fine and the box keeps the text: the user may send it again.
        ShowMessageBox(this, QStringLiteral("系统无法启动发送线程，请稍后再试。"),
                       QStringLiteral("提示"));
    }
}

void CDialogP::ShowSentLog(ConnectInfo* record) {
    if (tree_ && record->treeItem && record->treeItem == tree_->GetSelectedItem()) {
        sentView_.Show(record, record->sendLog);
        sentView_.ScrollToEndLater();
    }
}

void CDialogP::OnSendDelivered(ConnectInfo* record, const std::string& bytes,
                               const QString& typed) {
    // Wraps instead of overflowing after 2 GiB; nothing reads the counter.
    record->sentBytes = static_cast<std::int32_t>(static_cast<std::uint32_t>(record->sentBytes) +
                                                  static_cast<std::uint32_t>(bytes.size()));
    // Logged as it went on the wire: the converted bytes read back through the code page,
    // so a character the code page cannot hold shows as "?" here too.
    record->sendLog.AppendSent(bytes);
    ShowSentLog(record);
    // The box keeps its text until the text has gone, unless the user changed it meanwhile.
    if (sendBox_ && sendBox_->toPlainText() == typed)
        sendBox_->clear();
}

void CDialogP::OnSendStalled(ConnectInfo* record, std::size_t size, std::size_t went) {
    const auto seconds = std::max<long long>(
        1, std::chrono::duration_cast<std::chrono::seconds>(sendQueue_->StallTimeout()).count());
    const QString note =
        QStringLiteral("（对方 %1 秒未接收数据：本条信息 %2 字节，已发出 %3 字节）")
            .arg(seconds)
            .arg(size)
            .arg(went);
    record->sendLog.AppendNote(note.toStdU16String());
    ShowSentLog(record);
    ShowMessageBox(this,
                   QStringLiteral("对方 %1 秒未接收数据。本条信息共 %2 字节，已发出 %3 "
                                  "字节，其余的在对方接收时继续发出。")
                       .arg(seconds)
                       .arg(size)
                       .arg(went),
                   QStringLiteral("提示"));
}

void CDialogP::OnSendFailed(ConnectInfo* record, SOCKET sock) {
    {
        UiCritSecGuard lock(g_connectLock);
        if (record->sock == sock) {
            // The receive thread wakes with an error and reports the close.
            closesocket(record->sock);
            record->sock = INVALID_SOCKET;
        }
    }
    if (const HTREEITEM selected = tree_ ? tree_->GetSelectedItem() : nullptr)
        ShowEntry(selected);
    ShowMessageBox(this, QStringLiteral("对方已经断开！"), QStringLiteral("提示"));
}
