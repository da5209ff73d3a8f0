#include "pages/dlg_set_ip.h"

#include <QLineEdit>

#include "pages/field_number.h"
#include "pages/page_address.h"
#include "platform/dialog_template.h"
#include "platform/message_box.h"

namespace {
constexpr int kMaxPort = 65535;
}  // namespace

CDlgSetIp::CDlgSetIp(QWidget* parent, const QString& initialAddress, COLORREF background)
    : CInputDialog(parent, kTemplateId, background), initialAddress_(initialAddress) {
    addressField_ = FindControlAs<QLineEdit>(this, kAddressFieldId);
    portField_ = FindControlAs<QLineEdit>(this, kPortFieldId);
    countField_ = FindControlAs<QLineEdit>(this, kCountFieldId);
    FillFields();
}

void CDlgSetIp::FillFields() {
    const QString address = initialAddress_.isEmpty() ? LocalAddressToOffer() : initialAddress_;
    // Without a resolvable host name all three fields stay empty.
    if (address.isEmpty())
        return;
    if (addressField_)
        addressField_->setText(address);
    if (portField_)
        portField_->setText(QStringLiteral("8888"));
    if (countField_)
        countField_->setText(QStringLiteral("1"));
}

void CDlgSetIp::OnOK() {
    port_ = portField_ ? ReadFieldNumber(portField_->text()) : 0;
    if (port_ > kMaxPort) {
        port_ = 0;
        ShowMessageBox(this, QStringLiteral("输入的端口号有错！"), QStringLiteral("提示"));
        return;
    }
    count_ = countField_ ? ReadFieldNumber(countField_->text()) : 0;
    // Closes with OK also when the address is unusable (then with port 65535).
    remoteAddress_ = ReadRemoteAddress(addressField_ ? addressField_->text() : QString(), port_);
    accept();
}
