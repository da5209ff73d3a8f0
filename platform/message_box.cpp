// Modal message boxes with exactly the caption and text given and one OK button.
#include "platform/message_box.h"

#include <QApplication>
#include <QMessageBox>

QString ApplicationTitle() {
    return QStringLiteral("Wirelark");
}

void ShowMessageBox(QWidget* owner, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void AfxMessageBox(const QString& text) {
    ShowMessageBox(QApplication::activeWindow(), text, ApplicationTitle());
}
