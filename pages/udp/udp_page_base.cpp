#include "pages/udp/udp_page_base.h"

#include <errno.h>

#include <QCoreApplication>
#include <string>

#include "net/crit_sec.h"
#include "net/socket_error_text.h"
#include "pages/send/file_source.h"
#include "platform/message_box.h"

namespace {
ConnectKey PeerKey(const ConnectInfo& record) {
    return UdpKey(record.clientAddr);
}
}  // namespace

CUdpPage::CUdpPage(int templateId, QWidget* parent) : CDialogP(templateId, parent) {}

CUdpPage::~CUdpPage() {
    TearDownPage(engine_.Peers());
}

HWND CUdpPage::BuildUdpPage(COLORREF colour, const PageIds& ids, int (*gapFor)(int),
                            std::vector<PageButton> ownButtons) {
    return BuildPage(ids.tree, colour, [&](const PageControls& controls) {
        std::vector<PageButton> topRow{
            {kSlot.create, ids.create, kCreateBitmaps, [this] { OnCreate(); }}};
        for (PageButton& own : ownButtons) topRow.push_back(std::move(own));
        topRow.push_back({kSlot.remove, ids.remove, kDeleteBitmaps, [this] { OnDelete(); }});
        return LayoutButtons(std::move(topRow), gapFor(TreeClientWidth(controls)), ids);
    });
}

int CUdpPage::EntryImage(const ConnectInfo&) const {
    const auto host = GetHostNode();
    const bool open = host && host->info && host->info->IsOpen();
    return open ? kImageEntryOpen : kImageEntryClosed;
}

bool CUdpPage::CanSendTo(const ConnectInfo* record) {
    const auto host = GetHostNode();
    if (!host || !host->info) {
        ShowMessageBox(this, QCoreApplication::translate("UdpPageBase", "发送出错了！"),
                       QCoreApplication::translate("UdpPageBase", "提示"));
        return false;
    }
    return record != nullptr;
}

bool CUdpPage::Transmit(ConnectInfo& record, Outgoing& message) {
    if (message.file && message.bytes.empty()) {
        QString error;
        std::optional<std::string> whole = ReadDatagram(*message.file, &error);
        if (!whole) {
            SendFailed(record, message.origin, error);
            return false;
        }
        message.bytes = std::move(*whole);
    }
    SOCKET from = INVALID_SOCKET;
    {
        UiCritSecGuard lock(g_connectLock);
        from = SendingSocket(record);
    }
    // Sent without the lock: a handle closed meanwhile only makes the send fail.
    const int sent = engine_.SendDatagram(from, message.bytes.data(), Destination(record),
                                          static_cast<int>(message.bytes.size()));
    if (sent < 1) {
        const int error = errno;  // the system's reason
        ShowEntry(Records().Selected());
        SendFailed(record, message.origin,
                   QString::fromStdU16String(MessageWithReason(
                       QCoreApplication::translate("UdpPageBase", "发送出错！").toStdU16String(),
                       SocketOperation::kSendDatagram, error, Destination(record).Family())));
        return false;
    }
    MessageWent(record, message.bytes, message.fromBox, message.file.get());
    return true;
}

void CUdpPage::OnDelete() {
    DeleteSelectedEntry(engine_.Peers(), PeerKey);
}

bool LocalPortUsed(UdpEngine& engine, int port) {
    const auto local = static_cast<std::uint16_t>(port);
    UiCritSecGuard lock(g_connectLock);
    return engine.Peers().count(UdpKey(Endpoint::Any(AddressFamily::kIpv4, local))) != 0 ||
           engine.Peers().count(UdpKey(Endpoint::Any(AddressFamily::kIpv6, local))) != 0;
}
