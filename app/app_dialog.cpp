#include "app/app_dialog.h"

#include <QDialog>
#include <QPushButton>

#include "platform/dialog_template.h"

namespace {
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
}  // namespace

void BuildAppDialog(QDialog* dialog, int templateId, const std::function<void()>& onOk) {
    BuildDialogFromTemplate(dialog, templateId);
    if (auto* ok = FindControlAs<QPushButton>(dialog, kIdOk)) {
        if (onOk)
            QObject::connect(ok, &QPushButton::clicked, dialog, onOk);
        else
            QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    }
    if (auto* cancel = FindControlAs<QPushButton>(dialog, kIdCancel))
        QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
}
