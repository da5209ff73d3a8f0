// The Qt side of the window-message layer: wakes the user-interface thread's event loop when
// workers queue messages for its windows, and ties window handles to widget lifetimes.
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>

#include "platform/dialog_template.h"
#include "platform/qt_window.h"

namespace {

const QEvent::Type kDispatchEventType = static_cast<QEvent::Type>(QEvent::registerEventType());
const char* const kWindowHandleProperty = "wl_hwnd";
// Set by a handler that queued work for the event loop; user-interface thread only.
bool g_loopHasWork = false;

// What the waker reaches from other threads. It outlives the pump object: the layer may call
// a copy of the waker after it was removed, so the receiver is cleared under the mutex when
// the pump goes away. At most one dispatch event is queued at a time, so a flood of sends
// costs one event per loop turn.
struct PumpWaker {
    std::mutex mutex;
    QObject* receiver = nullptr;  // guarded by mutex
    std::atomic<bool> dispatchQueued{false};

    // Any thread. Throws std::bad_alloc when the event cannot be had; the next wake then
    // tries again.
    void Wake() {
        std::lock_guard lock(mutex);
        if (receiver != nullptr && !dispatchQueued.exchange(true)) {
            try {
                QCoreApplication::postEvent(receiver, new QEvent(kDispatchEventType));
            } catch (...) {
                dispatchQueued.store(false);
                throw;
            }
        }
    }
};

// Lives on the user-interface thread and runs the queued messages when its event arrives.
class MessagePump : public QObject {
public:
    explicit MessagePump(std::shared_ptr<PumpWaker> waker) : waker_(std::move(waker)) {}

protected:
    // User-interface thread, from whichever loop runs (also a modal dialog's nested loop).
    bool event(QEvent* e) override {
        if (e->type() != kDispatchEventType) {
            return QObject::event(e);
        }
        // Clear before looking: anything queued after the look posts a new event. Cleared
        // first, not after the flood loop, because a handler may run a nested loop (a
        // message box): the messages sent meanwhile must reach that loop as new events.
        waker_->dispatchQueued.store(false);
        RunSentMessagesForAWhile();
        DispatchPostedMessages();
        return true;
    }

private:
    // A worker in a flood sends its next message a few microseconds after the previous one
    // was handled. Going back through the event loop for each costs far more than the
    // message itself, so keep handling sent messages while they keep coming, for a short
    // budget that keeps the rest of the user interface responsive. The first send in that
    // time sets dispatchQueued again and posts one event; the others post none.
    void RunSentMessagesForAWhile() {
        using namespace std::chrono;
        constexpr auto kBudget = milliseconds(4);
        constexpr auto kGapToWaitFor = microseconds(200);
        const auto deadline = steady_clock::now() + kBudget;
        g_loopHasWork = false;
        while (DispatchSentMessages() > 0 && steady_clock::now() < deadline) {
            if (g_loopHasWork || !WaitForSentMessages(kGapToWaitFor)) {
                break;
            }
        }
        g_loopHasWork = false;
    }

private:
    std::shared_ptr<PumpWaker> waker_;
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

void ReturnToEventLoopSoon() {
    g_loopHasWork = true;
}

void InstallQtMessagePump() {
    if (g_pump != nullptr) {
        return;
    }
    InstallFontSubstitutions();
    auto waker = std::make_shared<PumpWaker>();
    g_pump = new MessagePump(waker);
    waker->receiver = g_pump;
    // Gone with the application: the waker stops posting before the pump is deleted.
    QObject::connect(QCoreApplication::instance(), &QObject::destroyed, [waker] {
        SetThreadQueueWaker({});
        {
            std::lock_guard lock(waker->mutex);
            waker->receiver = nullptr;
        }
        delete g_pump;
        g_pump = nullptr;
    });
    SetThreadQueueWaker([waker] { waker->Wake(); });
    // Anything queued before the pump existed runs on the next loop turn.
    waker->Wake();
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
