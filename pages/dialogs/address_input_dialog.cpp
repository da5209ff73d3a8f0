#include "pages/dialogs/address_input_dialog.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPointer>

#include "platform/dialog_template.h"
#include "platform/message_box.h"

namespace {
constexpr int kOkId = 1;
}  // namespace

CAddressInputDialog::CAddressInputDialog(QWidget* parent, int templateId, COLORREF background)
    : CInputDialog(parent, templateId, background) {}

void CAddressInputDialog::OfferLocalAddress(std::function<void(const QString&)> found) {
    lookup_.Start(QString(), [found = std::move(found)](std::optional<Endpoint> address) {
        if (address)
            found(DottedAddress(*address));
    });
}

void CAddressInputDialog::ResolveThen(QLineEdit* field,
                                      std::function<void(const Endpoint&)> resolved,
                                      std::function<bool(const Endpoint&)> usable) {
    if (resolving_)
        return;
    ShowResolving(true);
    lookup_.Start(
        field ? field->text() : QString(),
        [this, field = QPointer<QLineEdit>(field), resolved = std::move(resolved),
         usable = std::move(usable)](std::optional<Endpoint> address) {
            ShowResolving(false);
            if (address && (!usable || usable(*address))) {
                resolved(*address);
                return;
            }
            AfxMessageBox(QCoreApplication::translate("AddressInputDialog", "Ip 地址有错!"));
            if (field) {
                field->setFocus();
                field->selectAll();
            }
        });
}

void CAddressInputDialog::ShowResolving(bool resolving) {
    if (resolving == resolving_)
        return;
    resolving_ = resolving;
    if (resolving) {
        title_ = windowTitle();
        setWindowTitle(title_ +
                       QCoreApplication::translate("AddressInputDialog", "（正在解析地址…）"));
    } else {
        setWindowTitle(title_);
    }
    if (auto* ok = FindControlAs<QAbstractButton>(this, kOkId))
        ok->setEnabled(!resolving);
}
