#include "pages/dialogs/page_input_dialog.h"

#include <QAbstractButton>

#include "pages/dialogs/dialog_keys.h"
#include "pages/core/page_colour.h"
#include "platform/dialog_template.h"

namespace {
constexpr int kOkId = 1;
constexpr int kCancelId = 2;
}  // namespace

CInputDialog::CInputDialog(QWidget* parent, int templateId, COLORREF background) : QDialog(parent) {
    BuildDialogFromTemplate(this, templateId);
    PaintWindowBackground(this, background);
    setModal(true);
    // OnOK is looked up when clicked, once the derived dialog exists.
    if (auto* ok = FindControlAs<QAbstractButton>(this, kOkId))
        connect(ok, &QAbstractButton::clicked, this, [this] { OnOK(); });
    if (auto* cancel = FindControlAs<QAbstractButton>(this, kCancelId))
        connect(cancel, &QAbstractButton::clicked, this, &QDialog::reject);
}

void CInputDialog::keyPressEvent(QKeyEvent* event) {
    if (IsPlainReturn(event)) {
        event->accept();
        // Return presses a focused button (取消 cancels); from a field it means OK.
        if (auto* button = qobject_cast<QAbstractButton*>(focusWidget()))
            button->click();
        else
            OnOK();
        return;
    }
    QDialog::keyPressEvent(event);
}
