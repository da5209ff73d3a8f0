#include "app/frame_keys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>

namespace {

bool IsModifierKey(int key) {
    switch (key) {
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Meta:
        case Qt::Key_AltGr:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
        case Qt::Key_Hyper_L:
        case Qt::Key_Hyper_R:
        case Qt::Key_CapsLock:
        case Qt::Key_NumLock:
            return true;
        default:
            return false;
    }
}

bool TakesReturn(const QWidget* widget) {
    const auto* edit = qobject_cast<const QPlainTextEdit*>(widget);
    return edit && !edit->isReadOnly();
}

}  // namespace

CFrameKeys::CFrameKeys(QWidget* frame, std::function<void(int)> command, std::function<void()> menu)
    : QObject(frame),
      frame_(frame),
      command_(std::move(command)),
      menu_(std::move(menu)),
      accelerators_(LoadAcceleratorTable(kAcceleratorTableId)) {
    qApp->installEventFilter(this);
}

CFrameKeys::~CFrameKeys() {
    qApp->removeEventFilter(this);
}

int CFrameKeys::TranslateAccelerator(const QKeyEvent& event) const {
    const Qt::KeyboardModifiers mods = event.modifiers();
    for (const AcceleratorEntry& entry : accelerators_) {
        if (event.key() == entry.virtualKey && entry.alt == mods.testFlag(Qt::AltModifier) &&
            entry.control == mods.testFlag(Qt::ControlModifier) &&
            entry.shift == mods.testFlag(Qt::ShiftModifier)) {
            return entry.commandId;
        }
    }
    return 0;
}

// UI thread. The application sees a key once per widget it is delivered to (the window
// object first, then the focus widget and each parent it propagates to); only deliveries to
// widgets of the frame's window are handled, and every key handled here is consumed so that
// no parent sees it again.
bool CFrameKeys::eventFilter(QObject* watched, QEvent* event) {
    // Alt let go after a click, or after the window lost the keyboard (Alt+Tab, a window
    // manager's Alt+drag), is not Alt alone.
    const QEvent::Type type = event->type();
    const bool press = type == QEvent::KeyPress;
    if (!press && type != QEvent::KeyRelease && type != QEvent::WindowDeactivate &&
        type != QEvent::MouseButtonPress) {
        return false;
    }
    if (!watched->isWidgetType() || static_cast<QWidget*>(watched)->window() != frame_)
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (type == QEvent::WindowDeactivate || type == QEvent::MouseButtonPress) {
        altAlone_ = false;
        return false;
    }
    auto* key = static_cast<QKeyEvent*>(event);

    // Alt alone opens the menu when it is let go: pressed together with another key it
    // belongs to that key (an accelerator, or the menu at once).
    if (key->key() == Qt::Key_Alt) {
        if (press) {
            if (!key->isAutoRepeat())
                altAlone_ = true;
            return false;
        }
        if (altAlone_) {
            altAlone_ = false;
            menu_();
            return true;
        }
        return false;
    }
    if (!press)
        return false;
    altAlone_ = false;
    // Another modifier with Alt (Alt+Shift switches keyboard layouts) is not a key of its own.
    if (IsModifierKey(key->key()))
        return false;

    switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return !TakesReturn(widget);
        case Qt::Key_Escape:
            return true;
        default:
            break;
    }
    if (const int command = TranslateAccelerator(*key); command != 0) {
        command_(command);
        return true;
    }
    if (key->modifiers().testFlag(Qt::AltModifier)) {
        menu_();
        // Alt with a letter must not type that letter into a text box afterwards.
        return true;
    }
    return false;
}
