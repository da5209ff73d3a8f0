#include "app/set_dlg.h"

#include <QComboBox>

#include "app/app_dialog.h"
#include "app/dialog_face.h"
#include "app/encoding_setting.h"
#include "platform/dialog_template.h"

CSet::CSet(QWidget* parent) : QDialog(parent) {
    BuildAppDialog(this, kTemplateId, [this] { OnOK(); });
    combo_ = FindControlAs<QComboBox>(this, kEncodingComboId);
    if (combo_) {
        // In the order of EncodingChoice.
        combo_->addItems({QStringLiteral("Ansi"), QStringLiteral("GBK"), QStringLiteral("Unicode"),
                          QStringLiteral("UTF8"), QStringLiteral("UFT16"), QStringLiteral("...")});
        combo_->setCurrentIndex(static_cast<int>(CurrentEncodingChoice()));
    }
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
