// Window handles for Qt widgets: a widget gets an HWND whose messages run on the
// user-interface thread through the Qt event loop; the handle dies with the widget
// (pending senders are then released with 0).
#pragma once

#include "platform/window_messages.h"

class QWidget;

// Installs the Qt pump on the calling (user-interface) thread; idempotent. Call after
// the QApplication exists. Messages sent by workers to this thread's windows are then
// handled promptly, also inside nested loops of modal dialogs and message boxes. Also makes
// the program's font names resolve to the installed fonts (InstallFontSubstitutions).
void InstallQtMessagePump();

// Gives `widget` a window handle whose messages go to `handler`. The handle is destroyed
// when the widget is destroyed.
HWND AttachMessageWindow(QWidget* widget, MessageHandler handler);
// The handle given to `widget`, or nullptr.
HWND WindowHandleOf(const QWidget* widget);
