#include "pages/dialogs/join_group_dlg.h"

#include <QCoreApplication>
#include <QLineEdit>

#include "net/udp_membership.h"
#include "platform/dialog_template.h"
#include "platform/message_box.h"

CJoinGroupDlg::CJoinGroupDlg(QWidget* parent, COLORREF background)
    : CInputDialog(parent, kTemplateId, background) {
    addressField_ = FindControlAs<QLineEdit>(this, kAddressFieldId);
    if (addressField_)
        addressField_->setFocus();
}

void CJoinGroupDlg::OnOK() {
    const QByteArray typed =
        addressField_ ? addressField_->text().trimmed().toLatin1() : QByteArray();
    const std::optional<Endpoint> group = Endpoint::FromText(typed.toStdString(), 0);
    if (!group || !IsMulticastGroup(*group)) {
        ShowMessageBox(this,
                       QCoreApplication::translate(
                           "JoinGroupDlg",
                           "组播地址须在 224.0.0.0 到 239.255.255.255 之间，或在 ff00::/8 内！"),
                       QCoreApplication::translate("JoinGroupDlg", "提示"));
        if (addressField_) {
            addressField_->setFocus();
            addressField_->selectAll();
        }
        return;
    }
    group_ = *group;
    accept();
}
