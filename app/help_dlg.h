// CHelp: the read-only help text. User-interface thread only.
#pragma once

#include <QDialog>
#include <QString>

class QPlainTextEdit;

class CHelp : public QDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 295;
    static constexpr int kTextId = 1056;

    explicit CHelp(QWidget* parent = nullptr);
    ~CHelp() override;

    QPlainTextEdit* TextView() const { return text_; }
    // The whole help text, one line feed after each line.
    static QString HelpText();

private:
    QPlainTextEdit* text_ = nullptr;
};
