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

// From a message handler on the user-interface thread: it left work for the event loop (a
// queued call that answers a peer), so the pump goes back to the loop after this message
// instead of waiting a moment for the next one, which would delay that work.
void ReturnToEventLoopSoon();

// Gives `widget` a window handle whose messages go to `handler`. The handle is destroyed
// when the widget is destroyed.
HWND AttachMessageWindow(QWidget* widget, MessageHandler handler);
// The handle given to `widget`, or nullptr.
HWND WindowHandleOf(const QWidget* widget);
