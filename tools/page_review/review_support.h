// What every page review renderer shares: an off-screen application with the message pump
// and the local address pinned to 127.0.0.1, bounded waits, real clicks, and saving.
#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>
#include <QWidget>
#include <cstdio>
#include <functional>

#include "net/connect_info.h"
#include "platform/qt_window.h"

namespace review {

// Call before constructing the QApplication.
inline void UseOffscreenByDefault() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// The message pump and the pinned local address; call once the QApplication exists.
inline void PrepareApplication() {
    InstallQtMessagePump();
    PinLocalHostAddressForTesting("127.0.0.1");
}

// The picture's path: the first argument, or `fileName` in the review folder.
inline QString OutputPath(int argc, char** argv, const char* fileName) {
    return argc > 1 ? QString::fromLocal8Bit(argv[1])
                    : QStringLiteral(WIRELARK_REVIEW_DIR "/") + QString::fromUtf8(fileName);
}

// Runs the event loop until `done` or 10 s have passed.
inline bool WaitFor(const std::function<bool()>& done) {
    const QDeadlineTimer deadline(10000);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// A press and a release, as the mouse gives them.
inline void Click(QWidget* widget, const QPoint& at) {
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                          Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    }
}

// Paints what is pending, grabs `widget` and writes it to `output`; the exit status.
inline int Save(QWidget& widget, const QString& output, const char* tool) {
    QApplication::processEvents();
    QDir().mkpath(QFileInfo(output).absolutePath());
    const bool saved = widget.grab().save(output);
    std::printf("%s: %s %s\n", tool, saved ? "wrote" : "could not write", qPrintable(output));
    return saved ? 0 : 1;
}

}  // namespace review
