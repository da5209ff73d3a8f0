// The Qt side of the window-message layer: wakes the user-interface thread's event loop when
// workers queue messages for its windows, and ties window handles to widget lifetimes.
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <atomic>

#include "platform/qt_window.h"

namespace {

const QEvent::Type kDispatchEventType = static_cast<QEvent::Type>(QEvent::registerEventType());
const char* const kWindowHandleProperty = "wl_hwnd";

// Lives on the user-interface thread. At most one dispatch event is queued at a time: the
// waker posts only when none is pending, so a flood of sends costs one event per loop turn.
class MessagePump : public QObject {
public:
    // Any thread.
    void Wake() {
        if (!dispatchQueued_.exchange(true)) {
            QCoreApplication::postEvent(this, new QEvent(kDispatchEventType));
        }
    }

protected:
    // User-interface thread, from whichever loop runs (also a modal dialog's nested loop).
    bool event(QEvent* e) override {
        if (e->type() != kDispatchEventType) {
            return QObject::event(e);
        }
        // Clear first: anything queued while the handlers run wakes us again.
        dispatchQueued_.store(false);
        DispatchSentMessages();
        DispatchPostedMessages();
        return true;
    }

private:
    std::atomic<bool> dispatchQueued_{false};
};

MessagePump* g_pump = nullptr;  // user-interface thread only

// A child of the widget whose destructor destroys the widget's window handle. QObject
// children die inside the parent's destructor, so pending senders are released while the
// widget still exists.
class WindowHandleOwner : public QObject {
public:
    WindowHandleOwner(QWidget* widget, HWND window) : QObject(widget), window_(window) {}
    ~WindowHandleOwner() override { DestroyMessageWindow(window_); }

private:
    HWND window_;
};

}  // namespace

void InstallQtMessagePump() {
    if (g_pump != nullptr) {
        return;
    }
    g_pump = new MessagePump();
    // Destroyed with the application; the waker is removed first so that no worker posts
    // to a dead object.
    QObject::connect(QCoreApplication::instance(), &QObject::destroyed, [] {
        SetThreadQueueWaker({});
        delete g_pump;
        g_pump = nullptr;
    });
    MessagePump* pump = g_pump;
    SetThreadQueueWaker([pump] { pump->Wake(); });
    // Anything queued before the pump existed runs on the next loop turn.
    pump->Wake();
}

HWND AttachMessageWindow(QWidget* widget, MessageHandler handler) {
    InstallQtMessagePump();
    HWND window = CreateMessageWindow(std::move(handler));
    new WindowHandleOwner(widget, window);
    widget->setProperty(kWindowHandleProperty,
                        QVariant::fromValue(reinterpret_cast<quintptr>(window)));
    return window;
}

HWND WindowHandleOf(const QWidget* widget) {
    if (widget == nullptr) {
        return nullptr;
    }
    const QVariant value = widget->property(kWindowHandleProperty);
    if (!value.isValid()) {
        return nullptr;
    }
    return reinterpret_cast<HWND>(value.value<quintptr>());
}
