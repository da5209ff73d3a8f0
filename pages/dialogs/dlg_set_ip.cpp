#include "pages/dialogs/dlg_set_ip.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <utility>

#include "pages/dialogs/field_number.h"
#include "platform/dialog_template.h"
#include "platform/message_box.h"

namespace {
constexpr int kMaxPort = 65535;
}  // namespace

CDlgSetIp::CDlgSetIp(QWidget* parent, const QString& initialAddress, COLORREF background)
    : CAddressInputDialog(parent, kTemplateId, background), initialAddress_(initialAddress) {
    addressField_ = FindControlAs<QLineEdit>(this, kAddressFieldId);
    portField_ = FindControlAs<QLineEdit>(this, kPortFieldId);
    countField_ = FindControlAs<QLineEdit>(this, kCountFieldId);
    tlsCheck_ = FindControlAs<QCheckBox>(this, kTlsCheckId);
    verifyCheck_ = FindControlAs<QCheckBox>(this, kVerifyCheckId);
    if (tlsCheck_ && verifyCheck_) {
        // Verifying means something only with TLS.
        connect(tlsCheck_, &QCheckBox::toggled, verifyCheck_, [this](bool on) {
            verifyCheck_->setEnabled(on);
            if (!on)
                verifyCheck_->setChecked(false);
        });
    }
    if (initialAddress_.isEmpty())
        OfferLocalAddress([this](const QString& address) { FillFields(address); });
    else
        FillFields(initialAddress_);
}

// Without a resolvable host name all three fields stay empty. A field the user has typed
// into meanwhile keeps what was typed.
void CDlgSetIp::FillFields(const QString& address) {
    const std::pair<QLineEdit*, QString> defaults[] = {
        {addressField_, address},
        {portField_, QStringLiteral("8888")},
        {countField_, QStringLiteral("1")},
    };
    for (const auto& [field, text] : defaults) {
        if (field && field->text().isEmpty())
            field->setText(text);
    }
}

void CDlgSetIp::OnOK() {
    if (Resolving())
        return;  // Return in a field while OK is disabled
    port_ = portField_ ? ReadFieldNumber(portField_->text()) : 0;
    if (port_ > kMaxPort) {
        port_ = 0;
        ShowMessageBox(this, QCoreApplication::translate("DlgSetIp", "输入的端口号有错！"),
                       QCoreApplication::translate("DlgSetIp", "提示"));
        return;
    }
    // An empty field (the defaults not filled in yet) means one.
    count_ = countField_ && !countField_->text().trimmed().isEmpty()
                 ? ReadFieldNumber(countField_->text())
                 : 1;
    if (count_ < 1 || count_ > kMaxCount) {
        ShowMessageBox(this, QCoreApplication::translate("DlgSetIp", "连接数量须为 1 到 10000！"),
                       QCoreApplication::translate("DlgSetIp", "提示"));
        if (countField_) {
            countField_->setFocus();
            countField_->selectAll();
        }
        return;
    }
    tls_ = tlsCheck_ && tlsCheck_->isChecked();
    verify_ = tls_ && verifyCheck_ && verifyCheck_->isChecked();
    typedHost_ =
        addressField_ ? addressField_->text().trimmed().left(kMaxAddressLength) : QString();
    // A connection cannot go to the limited broadcast address.
    ResolveThen(
        addressField_,
        [this](const Endpoint& address) {
            remoteAddress_ = address.WithPort(static_cast<std::uint16_t>(port_));
            accept();
        },
        [](const Endpoint& address) { return address.Ipv4Address() != INADDR_BROADCAST; });
}
