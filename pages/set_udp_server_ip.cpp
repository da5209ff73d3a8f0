#include "pages/set_udp_server_ip.h"

#include <arpa/inet.h>

#include <QLineEdit>

#include "net/connect_info.h"
#include "net/crit_sec.h"
#include "pages/field_number.h"
#include "pages/page_address.h"
#include "pages/udp_client_dlg.h"
#include "platform/dialog_template.h"
#include "platform/message_box.h"

namespace {
constexpr int kMaxPort = 65535;
}  // namespace

CSetUdpServerIp::CSetUdpServerIp(CUdpClientDlg* page, const QString& offeredAddress,
                                 COLORREF background)
    : CInputDialog(page, kTemplateId, background), offeredAddress_(offeredAddress), page_(page) {
    addressField_ = FindControlAs<QLineEdit>(this, kAddressFieldId);
    remotePortField_ = FindControlAs<QLineEdit>(this, kRemotePortFieldId);
    localPortField_ = FindControlAs<QLineEdit>(this, kLocalPortFieldId);
    countField_ = FindControlAs<QLineEdit>(this, kCountFieldId);
    FillFields();
}

void CSetUdpServerIp::FillFields() {
    const QString address = offeredAddress_.isEmpty() ? LocalAddressToOffer() : offeredAddress_;
    // Without a resolvable host name every field stays empty; the dialog is still usable.
    if (address.isEmpty())
        return;
    const std::pair<QLineEdit*, QString> defaults[] = {
        {addressField_, address},
        {remotePortField_, QStringLiteral("8888")},
        {localPortField_, QStringLiteral("6666")},
        {countField_, QStringLiteral("1")},
    };
    for (const auto& [field, text] : defaults) {
        if (field)
            field->setText(text);
    }
}

void CSetUdpServerIp::OnOK() {
    remotePort_ = remotePortField_ ? ReadFieldNumber(remotePortField_->text()) : 0;
    localPort_ = localPortField_ ? ReadFieldNumber(localPortField_->text()) : 0;
    if (remotePort_ > kMaxPort || localPort_ > kMaxPort) {
        remotePort_ = 0;
        localPort_ = 0;
        ShowMessageBox(this, QStringLiteral("输入的端口号有错！"), QStringLiteral("提示"));
        return;
    }
    if (LocalPortInUse(localPort_)) {
        AfxMessageBox(QStringLiteral("本地端口已经被占用!"));
        return;
    }
    clientCount_ = countField_ ? ReadFieldNumber(countField_->text()) : 0;
    remoteAddress_ =
        ReadRemoteAddress(addressField_ ? addressField_->text() : QString(), remotePort_);
    localAddress_ = sockaddr_in{};
    localAddress_.sin_family = AF_INET;
    localAddress_.sin_addr.s_addr = htonl(INADDR_ANY);
    localAddress_.sin_port = htons(static_cast<std::uint16_t>(localPort_));
    accept();
}

bool CSetUdpServerIp::LocalPortInUse(int port) const {
    const auto host = page_ ? page_->GetHostNode() : std::nullopt;
    if (!host || !host->info)
        return false;
    // The page binds each client to the host node's address, so this is the key of a
    // client of the page on that local port.
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = inet_addr(host->info->address.c_str());
    local.sin_port = htons(static_cast<std::uint16_t>(port));
    UiCritSecGuard lock(g_connectLock);
    return page_->Engine().Peers().count(UdpKey(local)) != 0;
}
