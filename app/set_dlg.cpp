#include "app/set_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>

#include "app/app_dialog.h"
#include "app/dialog_face.h"
#include "app/encoding_setting.h"
#include "app/session_menu.h"
#include "app/ui_language.h"
#include "platform/dialog_template.h"
#include "platform/message_box.h"

CSet::CSet(QWidget* parent) : QDialog(parent) {
    BuildAppDialog(this, kTemplateId, [this] { OnOK(); });
    combo_ = FindControlAs<QComboBox>(this, kEncodingComboId);
    if (combo_) {
        // A drop-down with an edit: the items, or any code page typed by name.
        combo_->setEditable(true);
        combo_->setInsertPolicy(QComboBox::NoInsert);
        // In the order of EncodingChoice.
        combo_->addItems({QStringLiteral("Ansi"), QStringLiteral("GBK"), QStringLiteral("Unicode"),
                          QStringLiteral("UTF8"), QStringLiteral("UFT16"), QStringLiteral("...")});
        if (CurrentEncodingChoice() == EncodingChoice::Named) {
            combo_->setCurrentIndex(-1);
            combo_->setEditText(QString::fromStdString(CurrentEncodingName()));
        } else {
            combo_->setCurrentIndex(static_cast<int>(CurrentEncodingChoice()));
        }
    }
    // Below the caption, at its left edge (the caption starts at x 50).
    restoreSession_ =
        new QCheckBox(QCoreApplication::translate("SetDlg", "启动时恢复上次会话"), this);
    restoreSession_->setChecked(RestoreSessionAtStart());
    const int below = combo_ ? combo_->geometry().top() + combo_->sizeHint().height() : 36;
    restoreSession_->move(50, below + 16);
    restoreSession_->adjustSize();
    // The interface's language, below: each language named in its own words, in both faces.
    auto* languageLabel = new QLabel(QCoreApplication::translate("SetDlg", "界面语言："), this);
    language_ = new QComboBox(this);
    language_->addItems({QStringLiteral("中文"), QStringLiteral("English")});
    language_->setCurrentIndex(KeptLanguage() == UiLanguage::English ? 1 : 0);
    auto* restartNote =
        new QLabel(QCoreApplication::translate("SetDlg", "（重新启动后生效）"), this);
    const int row = restoreSession_->geometry().bottom() + 12;
    languageLabel->adjustSize();
    language_->adjustSize();
    restartNote->adjustSize();
    const int rowHeight = language_->height();
    languageLabel->move(50, row + (rowHeight - languageLabel->height()) / 2);
    language_->move(languageLabel->geometry().right() + 6, row);
    restartNote->move(language_->geometry().right() + 6,
                      row + (rowHeight - restartNote->height()) / 2);
}

CSet::~CSet() = default;

QString CSet::Label() {
    return QCoreApplication::translate("SetDlg", "收发信息编码设置：");
}

QString CSet::UnknownEncodingText(const QString& name) {
    return QCoreApplication::translate("SetDlg", "系统不支持编码“%1”，请重新输入！").arg(name);
}

void CSet::OnOK() {
    if (!combo_) {
        KeepRestoreChoice();
        accept();
        return;
    }
    // What the edit shows decides: an item's text (in any case) picks that item.
    const QString typed = combo_->currentText().trimmed();
    const int item = combo_->findText(typed, Qt::MatchFixedString);
    if (item >= 0 && item <= static_cast<int>(EncodingChoice::Keep)) {
        ApplyEncodingChoice(static_cast<EncodingChoice>(item));
    } else if (!ApplyEncodingName(typed.toStdString())) {
        ShowMessageBox(this, UnknownEncodingText(typed),
                       QCoreApplication::translate("SetDlg", "提示"));
        combo_->setFocus();
        combo_->lineEdit()->selectAll();
        return;  // the dialog stays open for another name
    }
    KeepRestoreChoice();
    accept();
}

void CSet::KeepRestoreChoice() {
    if (restoreSession_->isChecked() != RestoreSessionAtStart())
        SetRestoreSessionAtStart(restoreSession_->isChecked());
    const UiLanguage chosen =
        language_->currentIndex() == 1 ? UiLanguage::English : UiLanguage::Chinese;
    if (chosen != KeptLanguage())
        KeepLanguage(chosen);
}

void CSet::paintEvent(QPaintEvent*) {
    PaintCaptionedFace(this, Label());
}
