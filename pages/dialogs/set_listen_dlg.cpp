#include "pages/dialogs/set_listen_dlg.h"

#include <QCoreApplication>
#include <QLineEdit>

#include "pages/dialogs/field_number.h"
#include "platform/dialog_template.h"
#include "platform/message_box.h"

namespace {
constexpr int kMaxPort = 65535;
}  // namespace

CSetListenDlg::CSetListenDlg(QWidget* parent, COLORREF background)
    : CInputDialog(parent, kTemplateId, background) {
    portField_ = FindControlAs<QLineEdit>(this, kPortFieldId);
    if (portField_) {
        portField_->clear();
        portField_->setFocus();
    }
}

void CSetListenDlg::OnOK() {
    port_ = portField_ ? ReadFieldNumber(portField_->text()) : 0;
    if (port_ > kMaxPort) {
        port_ = 0;
        ShowMessageBox(this, QCoreApplication::translate("SetListenDlg", "输入的端口号有错！"),
                       QCoreApplication::translate("SetListenDlg", "提示"));
        return;
    }
    accept();
}
