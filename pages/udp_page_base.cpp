#include "pages/udp_page_base.h"

#include <errno.h>

#include <QPlainTextEdit>
#include <string>

#include "net/crit_sec.h"
#include "net/socket_error_text.h"
#include "platform/message_box.h"
#include "skin/tree_ctrl_ex.h"
#include "text/code_page.h"

CUdpPage::CUdpPage(int templateId, QWidget* parent) : CEndpointPage(templateId, parent) {}

CUdpPage::~CUdpPage() {
    TearDownPage(engine_.Peers());
}

namespace {
std::uint64_t PeerKey(const ConnectInfo& record) {
    return UdpKey(record.clientAddr);
}
}  // namespace

HWND CUdpPage::BuildUdpPage(COLORREF colour, const PageIds& ids, int (*gapFor)(int),
                            std::vector<PageButton> ownButtons) {
    return BuildPage(ids.tree, colour, [&](const PageControls& controls) {
        std::vector<PageButton> topRow{
            {kSlot.create, ids.create, kCreateBitmaps, [this] { OnCreate(); }}};
        for (PageButton& own : ownButtons) {
            own.enabled = false;
            topRow.push_back(std::move(own));
        }
        topRow.push_back({kSlot.remove, ids.remove, kDeleteBitmaps, [this] { OnDelete(); }, false});
        return LayoutButtons(std::move(topRow), gapFor(TreeClientWidth(controls)), ids,
                             [this] { OnSend(); });
    });
}

int CUdpPage::ShownEntryImage() const {
    const auto host = GetHostNode();
    const bool open = host && host->info && host->info->listening;
    return open ? kImageEntryOpen : kImageEntryClosed;
}

void CUdpPage::ShowEntry(HTREEITEM item) {
    if (!item || !Tree())
        return;
    const bool hostShown = IsHostNode(item);
    ShowCommandButtons(hostShown);
    ButtonSlot(kSlot.remove).setEnabled(!hostShown);
    if (hostShown) {
        ClearViews();
        return;
    }
    ConnectInfo* record = RecordOf(item);
    if (!record)
        return;
    const int image = ShownEntryImage();
    UiCritSecGuard lock(g_connectLock);
    record->unread = 0;
    Tree()->SetItemImage(item, image, image);
    ShowRecordLogs(*record);
}

void CUdpPage::OnSend() {
    const HTREEITEM selected = Tree() ? Tree()->GetSelectedItem() : nullptr;
    if (!selected || IsHostNode(selected)) {
        ShowMessageBox(this, QStringLiteral("请选择接收端！"), QStringLiteral("提示!"));
        return;
    }
    const auto host = GetHostNode();
    if (!host || !host->info) {
        ShowMessageBox(this, QStringLiteral("发送出错了！"), QStringLiteral("提示"));
        return;
    }
    ConnectInfo* record = RecordOf(selected);
    if (!record)
        return;

    const std::optional<std::string> bytes = TakeSendText(record);
    if (!bytes)
        return;

    SOCKET from = INVALID_SOCKET;
    {
        UiCritSecGuard lock(g_connectLock);
        from = SendingSocket(*record);
    }
    // Sent without the lock: a handle closed meanwhile only makes the send fail.
    const int sent = engine_.SendDatagram(from, bytes->data(), Destination(*record),
                                          static_cast<int>(bytes->size()));
    if (sent < 1) {
        const int error = errno;  // the system's reason
        ShowEntry(selected);
        ShowMessageBox(this,
                       QString::fromStdU16String(
                           MessageWithReason(u"发送出错！", SocketOperation::kSendDatagram, error)),
                       QStringLiteral("提示"));
        return;
    }
    LogSent(record, *bytes, sent);
}

std::optional<std::string> CUdpPage::TakeSendText(ConnectInfo* record) {
    std::optional<std::string> bytes = PrepareTypedTextForSending();
    if (!bytes)
        return std::nullopt;
    if (bytes->empty()) {
        // Spaces only: nothing goes out and the sent view is emptied; the log stays, and the
        // view shows it again from the start next time.
        SentView()->clear();
        ForgetRecord(record);
        return std::nullopt;
    }
    // Otherwise the sent view shows the whole log again once the datagram went, or stays as
    // it is when it did not go.
    return bytes;
}

void CUdpPage::LogSent(ConnectInfo* record, const std::string& bytes, int sent) {
    // Wraps instead of overflowing; sentBytes and sendLog belong to the page alone.
    record->sentBytes = static_cast<std::int32_t>(static_cast<std::uint32_t>(record->sentBytes) +
                                                  static_cast<std::uint32_t>(sent));
    // The stamp is the program's own text; the bytes are read back through the code page
    // they went out in, so a character it cannot hold shows as "?" here too.
    record->sendLog.AppendSent(bytes);
    {
        UiCritSecGuard lock(g_connectLock);
        ShowRecordLogs(*record);
    }
    SendBox()->clear();
}

void CUdpPage::OnDelete() {
    DeleteSelectedEntry(engine_.Peers(), PeerKey);
}

LRESULT CUdpPage::OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    auto* record = reinterpret_cast<ConnectInfo*>(lParam);
    if (message == WM_CONNECT_NEW)
        return OnNewPeer(record);
    if (message == WM_CONNECT_DATA)
        return OnConnectData(wParam, record,
                             [this](ConnectInfo& ended) { OnEndpointEnded(ended); });
    return 0;
}
