// Key handling shared by the input dialogs.
#pragma once

#include <QKeyEvent>

// Return or Enter without modifiers (the keypad's Enter counts): the dialog's OK.
inline bool IsPlainReturn(const QKeyEvent* event) {
    return (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
           (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}
