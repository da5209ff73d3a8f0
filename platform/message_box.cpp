// Modal message boxes as the program's own: the caption and text given, one "确定" button,
// no icon in the box or its title bar.
#include "platform/message_box.h"

#include <QApplication>
#include <QCoreApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPushButton>

namespace {
// The catcher in force, or null. User-interface thread only.
MessageBoxCatcher* g_catcher = nullptr;
}  // namespace

MessageBoxCatcher::MessageBoxCatcher(Sink sink) : sink_(std::move(sink)), previous_(g_catcher) {
    g_catcher = this;
}

MessageBoxCatcher::~MessageBoxCatcher() {
    g_catcher = previous_;
}

QString ApplicationTitle() {
    return QStringLiteral("Wirelark");
}

void ShowMessageBox(QWidget* owner, const QString& text, const QString& caption) {
    if (g_catcher) {
        if (g_catcher->sink_)
            g_catcher->sink_(text, caption);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    // In the interface's language, whatever Qt's own translations hold.
    box.button(QMessageBox::Ok)->setText(QCoreApplication::translate("MessageBox", "确定"));
    // A box would otherwise take its owner's window icon into its title bar.
    box.setWindowIcon(QIcon());
    box.exec();
}

void AfxMessageBox(const QString& text) {
    ShowMessageBox(QApplication::activeWindow(), text, ApplicationTitle());
}
