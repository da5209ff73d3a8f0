// CSet: the settings dialog, which chooses the text encoding of what is sent and received:
// one of the combo's items, or any code page the system converts, typed by name; and
// whether the set-up at exit is opened again at the next start; and the interface's language
// for the next start. Opens on what is in force; OK
// applies the chosen one (an unknown name is refused with a message and the dialog stays open),
// Cancel changes nothing. User-interface thread only.
#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;

class CSet : public QDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 294;
    static constexpr int kEncodingComboId = 1055;

    explicit CSet(QWidget* parent = nullptr);
    ~CSet() override;

    QComboBox* EncodingCombo() const { return combo_; }
    // "启动时恢复上次会话": OK keeps it in the settings.
    QCheckBox* RestoreSessionBox() const { return restoreSession_; }
    // "界面语言": 中文 or English, kept on OK for the next start.
    QComboBox* LanguageBox() const { return language_; }
    static QString Label();
    // The message for a typed code-page name the system does not know.
    static QString UnknownEncodingText(const QString& name);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void OnOK();
    void KeepRestoreChoice();

    QComboBox* combo_ = nullptr;
    QCheckBox* restoreSession_ = nullptr;
    QComboBox* language_ = nullptr;
};
