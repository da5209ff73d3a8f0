#include "pages/dialogs/set_udp_server_ip.h"

#include <QCoreApplication>
#include <QLineEdit>

#include "net/connect_info.h"
#include "net/crit_sec.h"
#include "net/udp_membership.h"
#include "pages/dialogs/field_number.h"
#include "pages/udp_client_page.h"
#include "platform/dialog_template.h"
#include "platform/message_box.h"

namespace {
constexpr int kMaxPort = 65535;
}  // namespace

CSetUdpServerIp::CSetUdpServerIp(CUdpClientDlg* page, const QString& offeredAddress,
                                 COLORREF background)
    : CAddressInputDialog(page, kTemplateId, background),
      offeredAddress_(offeredAddress),
      page_(page) {
    addressField_ = FindControlAs<QLineEdit>(this, kAddressFieldId);
    remotePortField_ = FindControlAs<QLineEdit>(this, kRemotePortFieldId);
    localPortField_ = FindControlAs<QLineEdit>(this, kLocalPortFieldId);
    countField_ = FindControlAs<QLineEdit>(this, kCountFieldId);
    ttlField_ = FindControlAs<QLineEdit>(this, kTtlFieldId);
    if (offeredAddress_.isEmpty())
        OfferLocalAddress([this](const QString& address) { FillFields(address); });
    else
        FillFields(offeredAddress_);
}

// Without a resolvable host name every field stays empty; the dialog is still usable. A
// field the user has typed into meanwhile keeps what was typed.
void CSetUdpServerIp::FillFields(const QString& address) {
    const std::pair<QLineEdit*, QString> defaults[] = {
        {addressField_, address},
        {remotePortField_, QStringLiteral("8888")},
        {localPortField_, QStringLiteral("6666")},
        {countField_, QStringLiteral("1")},
        {ttlField_, QString::number(kDefaultMulticastTtl)},
    };
    for (const auto& [field, text] : defaults) {
        if (field && field->text().isEmpty())
            field->setText(text);
    }
}

void CSetUdpServerIp::OnOK() {
    if (Resolving())
        return;  // Return in a field while OK is disabled
    remotePort_ = remotePortField_ ? ReadFieldNumber(remotePortField_->text()) : 0;
    localPort_ = localPortField_ ? ReadFieldNumber(localPortField_->text()) : 0;
    if (remotePort_ > kMaxPort || localPort_ > kMaxPort) {
        remotePort_ = 0;
        localPort_ = 0;
        ShowMessageBox(this, QCoreApplication::translate("SetUdpServerIp", "输入的端口号有错！"),
                       QCoreApplication::translate("SetUdpServerIp", "提示"));
        return;
    }
    if (LocalPortInUse(localPort_)) {
        AfxMessageBox(QCoreApplication::translate("SetUdpServerIp", "本地端口已经被占用!"));
        return;
    }
    // An empty field (the defaults not filled in yet) means one.
    clientCount_ = countField_ && !countField_->text().trimmed().isEmpty()
                       ? ReadFieldNumber(countField_->text())
                       : 1;
    if (clientCount_ < 1 || clientCount_ > kMaxCount) {
        ShowMessageBox(this,
                       QCoreApplication::translate("SetUdpServerIp", "客户数量须为 1 到 10000！"),
                       QCoreApplication::translate("SetUdpServerIp", "提示"));
        return;
    }
    if (localPort_ > 0 && localPort_ + clientCount_ - 1 > kMaxPort) {
        ShowMessageBox(
            this, QCoreApplication::translate("SetUdpServerIp", "本地端口加客户数量超过 65535！"),
            QCoreApplication::translate("SetUdpServerIp", "提示"));
        return;
    }
    // An empty field means the default. Checked whatever the address: the value is kept
    // with each client.
    multicastTtl_ = ttlField_ && !ttlField_->text().trimmed().isEmpty()
                        ? ReadFieldNumber(ttlField_->text())
                        : kDefaultMulticastTtl;
    if (multicastTtl_ < 1 || multicastTtl_ > kMaxTtl) {
        ShowMessageBox(this,
                       QCoreApplication::translate("SetUdpServerIp", "组播 TTL 须为 1 到 255！"),
                       QCoreApplication::translate("SetUdpServerIp", "提示"));
        return;
    }
    // The limited broadcast address is a destination here like any other.
    ResolveThen(addressField_, [this](const Endpoint& address) {
        remoteAddress_ = address.WithPort(static_cast<std::uint16_t>(remotePort_));
        localAddress_ = Endpoint::Ipv4(INADDR_ANY, static_cast<std::uint16_t>(localPort_));
        accept();
    });
}

bool CSetUdpServerIp::LocalPortInUse(int port) const {
    if (!page_)
        return false;
    // The page binds each client to the any-address of its family.
    return LocalPortUsed(page_->Engine(), port);
}
