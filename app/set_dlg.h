// CSet: the settings dialog, which chooses the text encoding of what is sent and received.
// Opens on the encoding in force; OK applies the chosen one, Cancel changes nothing.
// User-interface thread only.
#pragma once

#include <QDialog>
#include <QString>

class QComboBox;

class CSet : public QDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 294;
    static constexpr int kEncodingComboId = 1055;

    explicit CSet(QWidget* parent = nullptr);
    ~CSet() override;

    QComboBox* EncodingCombo() const { return combo_; }
    static QString Label();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void OnOK();

    QComboBox* combo_ = nullptr;
};
