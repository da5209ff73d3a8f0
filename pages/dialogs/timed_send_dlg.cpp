#include "pages/dialogs/timed_send_dlg.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <algorithm>

#include "pages/dialogs/field_number.h"
#include "platform/dialog_template.h"
#include "platform/message_box.h"

CTimedSendDlg::CTimedSendDlg(QWidget* parent, COLORREF background, int intervalMs, int count)
    : CInputDialog(parent, kTemplateId, background) {
    intervalField_ = FindControlAs<QLineEdit>(this, kIntervalFieldId);
    countField_ = FindControlAs<QLineEdit>(this, kCountFieldId);
    if (countField_)
        countField_->setText(QString::number(count));
    if (intervalField_) {
        intervalField_->setText(QString::number(intervalMs));
        intervalField_->selectAll();
        intervalField_->setFocus();
    }
}

void CTimedSendDlg::OnOK() {
    const int interval = intervalField_ ? ReadFieldNumber(intervalField_->text()) : 0;
    if (interval < 1 || interval > kMaxIntervalMs) {
        ShowMessageBox(this,
                       QCoreApplication::translate("TimedSendDlg", "间隔须为 1 到 86400000 毫秒！"),
                       QCoreApplication::translate("TimedSendDlg", "提示"));
        if (intervalField_) {
            intervalField_->setFocus();
            intervalField_->selectAll();
        }
        return;
    }
    intervalMs_ = interval;
    // The field takes digits only (an overlong number reads as the largest int); empty
    // means until stopped.
    count_ = countField_ ? std::max(0, ReadFieldNumber(countField_->text())) : 0;
    accept();
}
