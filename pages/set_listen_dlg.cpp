#include "pages/set_listen_dlg.h"

#include <QAbstractButton>
#include <QLineEdit>

#include "pages/dialog_keys.h"
#include "pages/field_number.h"
#include "pages/page_colour.h"
#include "platform/dialog_template.h"
#include "platform/message_box.h"

namespace {
constexpr int kOkId = 1;
constexpr int kCancelId = 2;
constexpr int kMaxPort = 65535;
}  // namespace

CSetListenDlg::CSetListenDlg(QWidget* parent, COLORREF background) : QDialog(parent) {
    BuildDialogFromTemplate(this, kTemplateId);
    PaintWindowBackground(this, background);
    setModal(true);

    portField_ = FindControlAs<QLineEdit>(this, kPortFieldId);
    if (portField_) {
        portField_->clear();
        portField_->setFocus();
    }
    if (auto* ok = FindControlAs<QAbstractButton>(this, kOkId)) {
        connect(ok, &QAbstractButton::clicked, this, [this] { OnOK(); });
    }
    if (auto* cancel = FindControlAs<QAbstractButton>(this, kCancelId)) {
        connect(cancel, &QAbstractButton::clicked, this, &QDialog::reject);
    }
}

void CSetListenDlg::OnOK() {
    port_ = portField_ ? ReadFieldNumber(portField_->text()) : 0;
    if (port_ > kMaxPort) {
        port_ = 0;
        ShowMessageBox(this, QStringLiteral("输入的端口号有错！"), QStringLiteral("提示"));
        return;
    }
    accept();
}

void CSetListenDlg::keyPressEvent(QKeyEvent* event) {
    if (IsPlainReturn(event)) {
        event->accept();
        // Return presses the focused button (取消 cancels); from a field it means OK.
        if (auto* button = qobject_cast<QAbstractButton*>(focusWidget()))
            button->click();
        else
            OnOK();
        return;
    }
    QDialog::keyPressEvent(event);
}
