// CFrameKeys: the main frame's keyboard handling, seen before any widget of the frame gets
// a key (an application-wide event filter limited to the frame's window):
//   1. Return and Escape are swallowed, except Return in an editable text box (the send
//      box takes it as a line break);
//   2. the accelerators (table 132: Alt+S, Alt+H, Alt+A, Alt+X) run their commands;
//   3. any other key with Alt held opens the popup menu (other modifiers do not count), and
//      so does Alt pressed and let go on its own (on its release, so that Alt can still start
//      an accelerator).
// Keys in other windows (the dialogs) are left alone. User-interface thread only.
#pragma once

#include <QObject>
#include <functional>
#include <vector>

#include "platform/resources.h"

class QKeyEvent;
class QWidget;

class CFrameKeys : public QObject {
    Q_OBJECT

public:
    static constexpr int kAcceleratorTableId = 132;

    // `frame` is the window whose keys are handled; `command` runs a command id and `menu`
    // shows the popup menu.
    CFrameKeys(QWidget* frame, std::function<void(int)> command, std::function<void()> menu);
    ~CFrameKeys() override;

    // The command an accelerator gives for this key, or 0.
    int TranslateAccelerator(const QKeyEvent& event) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* frame_;
    std::function<void(int)> command_;
    std::function<void()> menu_;
    std::vector<AcceleratorEntry> accelerators_;
    bool altAlone_ = false;  // Alt is down and no other key was pressed since
};
