// CTerminationSignals: ends the program the orderly way on SIGINT, SIGTERM and SIGHUP
// (Ctrl+C in the terminal that started it, `kill`, a session that ends). The handler only
// writes a byte to a pipe; the user-interface thread reads it from its event loop, also
// inside the loops of modal dialogs, and runs `quit` there. One instance at a time.
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

class CTerminationSignals : public QObject {
    Q_OBJECT

public:
    explicit CTerminationSignals(std::function<void()> quit, QObject* parent = nullptr);
    // Puts back the default handling of the three signals.
    ~CTerminationSignals() override;

private:
    std::function<void()> quit_;
    QSocketNotifier* notifier_ = nullptr;
};
