#include "app/set_dlg.h"

#include <QComboBox>
#include <QPushButton>

#include "app/dialog_face.h"
#include "app/encoding_setting.h"
#include "platform/dialog_template.h"

namespace {
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
}  // namespace

CSet::CSet(QWidget* parent) : QDialog(parent) {
    BuildDialogFromTemplate(this, kTemplateId);
    combo_ = FindControlAs<QComboBox>(this, kEncodingComboId);
    if (combo_) {
        // In the order of EncodingChoice.
        combo_->addItems({QStringLiteral("Ansi"), QStringLiteral("GBK"), QStringLiteral("Unicode"),
                          QStringLiteral("UTF8"), QStringLiteral("UFT16"), QStringLiteral("...")});
        combo_->setCurrentIndex(static_cast<int>(CurrentEncodingChoice()));
    }
    if (auto* ok = FindControlAs<QPushButton>(this, kIdOk))
        connect(ok, &QPushButton::clicked, this, &CSet::OnOK);
    if (auto* cancel = FindControlAs<QPushButton>(this, kIdCancel))
        connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

CSet::~CSet() = default;

QString CSet::Label() {
    return QStringLiteral("收发信息编码设置：");
}

void CSet::OnOK() {
    const int index = combo_ ? combo_->currentIndex() : -1;
    if (index >= 0 && index <= static_cast<int>(EncodingChoice::Keep))
        ApplyEncodingChoice(static_cast<EncodingChoice>(index));
    accept();
}

void CSet::paintEvent(QPaintEvent*) {
    PaintCaptionedFace(this, Label());
}
