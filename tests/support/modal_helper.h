// Answers the modal dialogs that a widget test triggers: message boxes, the port and address
// dialogs, any QDialog run with exec().
//
// Use it from the test body BEFORE the action that opens the dialog:
//
//     ModalAnswer answer;                       // press the default button (OK)
//     QTest::mouseClick(createButton, Qt::LeftButton);
//     ASSERT_TRUE(answer.Answered());
//     EXPECT_EQ(answer.Caption(), "提示");
//     EXPECT_EQ(answer.Text(), "端口号不能为空!");
//
//     ModalAnswer answer(ModalAnswer::TypeInto(1012, "8080").ThenPress(ModalAnswer::Ok));
//
// The answer runs from a timer inside the dialog's own event loop: it waits (bounded, 10 s
// by default) for QApplication::activeModalWidget(), records its caption and text, types
// into edits (real key presses, so validators apply), then presses the chosen button with a
// real mouse click. It answers one dialog; chain several ModalAnswer objects for dialogs that
// follow one another: they are taken in the order they were made, each by the next modal
// dialog that is open when its turn comes. A dialog that stays open after its button (a
// refused entry with a message box) can be answered again by a later ModalAnswer; a dialog
// answered with LeaveOpen is left to the test. User-interface thread only.
//
// A modal dialog that nobody answers is closed after a few seconds and fails the running
// test with its text (InstallStrayModalGuard, installed by the tests' main).
//
// Widget tests link wl_test_main (main with an off-screen QApplication and the message pump)
// and get wl_test_support with it.
#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <memory>
#include <utility>
#include <vector>

class QWidget;

// The button a ModalAnswer presses.
enum class ModalButton {
    Ok,         // QMessageBox OK; a dialog's button with id 1 (IDOK) or its default; else accept()
    Cancel,     // QMessageBox Cancel or the button with id 2 (IDCANCEL), else reject()
    Escape,     // a real Escape key press on the dialog's focused control
    ById,       // the button whose control id is buttonId
    LeaveOpen,  // only record; the test closes the dialog itself
};

// What to do with the dialog: type into edits (by control id), then press a button.
struct ModalPlan {
    std::vector<std::pair<int, QString>> typing;  // control id, text (replaces the text)
    ModalButton button = ModalButton::Ok;
    int buttonId = -1;

    ModalPlan& TypeInto(int controlId, const QString& text) {
        typing.emplace_back(controlId, text);
        return *this;
    }
    ModalPlan& ThenPress(ModalButton which) {
        button = which;
        return *this;
    }
    ModalPlan& ThenPressId(int controlId) {
        button = ModalButton::ById;
        buttonId = controlId;
        return *this;
    }
};

class ModalAnswer {
public:
    using Button = ModalButton;
    using Plan = ModalPlan;
    static constexpr Button Ok = ModalButton::Ok;
    static constexpr Button Cancel = ModalButton::Cancel;
    static constexpr Button Escape = ModalButton::Escape;
    static constexpr Button ById = ModalButton::ById;
    static constexpr Button LeaveOpen = ModalButton::LeaveOpen;

    static Plan Press(Button which) { return Plan().ThenPress(which); }
    static Plan PressId(int controlId) { return Plan().ThenPressId(controlId); }
    static Plan TypeInto(int controlId, const QString& text) {
        return Plan().TypeInto(controlId, text);
    }

    explicit ModalAnswer(Plan plan = Plan(),
                         std::chrono::milliseconds timeout = std::chrono::seconds(10));
    ~ModalAnswer();
    ModalAnswer(const ModalAnswer&) = delete;
    ModalAnswer& operator=(const ModalAnswer&) = delete;

    // True once a modal dialog was found and the plan was carried out.
    bool Answered() const { return state_->answered; }
    // True if no modal dialog appeared within the timeout.
    bool TimedOut() const { return state_->timedOut; }
    QString Caption() const { return state_->caption; }
    // A message box's text, or the texts of a dialog's labels joined by "\n".
    QString Text() const { return state_->text; }
    // Class name of the dialog answered ("QMessageBox", a dialog class name ...).
    QString DialogClass() const { return state_->dialogClass; }
    // Texts of the dialog's push buttons, in creation order.
    QStringList ButtonTexts() const { return state_->buttons; }

    // Runs the event loop until the dialog was answered or the time-out passed; returns
    // Answered(). For tests whose dialog opens from a queued event rather than a direct call.
    bool WaitAnswered(std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

private:
    struct State {
        Plan plan;
        bool answered = false;
        bool timedOut = false;
        QString caption;
        QString text;
        QString dialogClass;
        QStringList buttons;
        QPointer<QWidget> ignored;  // a modal widget that was open before this answer started
    };
    std::shared_ptr<State> state_;
    QTimer* timer_ = nullptr;
};

// The modal widget QApplication sees now, or nullptr.
QWidget* ActiveModal();

// From now on, a modal dialog that stays open `patience` while no ModalAnswer waits (and
// none answered anything meanwhile) is closed, and the running test fails with its caption
// and text: a box nobody expected ends the test instead of hanging it. The tests' main
// installs it; user-interface thread only.
void InstallStrayModalGuard(std::chrono::milliseconds patience = std::chrono::seconds(5));
