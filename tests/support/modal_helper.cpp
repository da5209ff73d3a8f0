// Finds the modal dialog a test opened and answers it with real key presses and clicks.
#include "tests/support/modal_helper.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <deque>

#include "platform/dialog_template.h"

namespace {

constexpr int kPollIntervalMs = 10;
constexpr int kIdOk = 1;      // IDOK
constexpr int kIdCancel = 2;  // IDCANCEL

// Answers wait their turn: the oldest unanswered one takes the next new modal dialog.
std::deque<void*>& PendingAnswers() {
    static std::deque<void*> pending;
    return pending;
}
// Dialogs already answered: they may stay the active modal widget for a moment after the
// button was pressed, and must not be answered twice.
std::vector<QPointer<QWidget>>& AnsweredDialogs() {
    static std::vector<QPointer<QWidget>> answered;
    return answered;
}
bool WasAnswered(QWidget* dialog) {
    auto& answered = AnsweredDialogs();
    answered.erase(std::remove_if(answered.begin(), answered.end(),
                                  [](const QPointer<QWidget>& p) { return p.isNull(); }),
                   answered.end());
    return std::any_of(answered.begin(), answered.end(),
                       [dialog](const QPointer<QWidget>& p) { return p.data() == dialog; });
}

// Counts every answer given or given up: the stray-dialog guard starts its patience again
// at each, since a test that is still answering is not stuck.
int& AnswerActivity() {
    static int activity = 0;
    return activity;
}

QString VisibleLabelTexts(QWidget* dialog) {
    QStringList texts;
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
        if (!label->text().isEmpty() && label->isVisibleTo(dialog)) {
            texts << label->text();
        }
    }
    return texts.join(QLatin1Char('\n'));
}

QStringList VisibleButtonTexts(QWidget* dialog) {
    QStringList texts;
    for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
        if (button->isVisibleTo(dialog)) {
            texts << button->text();
        }
    }
    return texts;
}

void TypeIntoControl(QWidget* dialog, int controlId, const QString& text) {
    QWidget* control = FindControl(dialog, controlId);
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setFocus();
        edit->selectAll();
        if (text.isEmpty()) {
            QTest::keyClick(edit, Qt::Key_Delete);
        } else {
            QTest::keyClicks(edit, text);
        }
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(control)) {
        plain->setFocus();
        plain->selectAll();
        QTest::keyClick(plain, Qt::Key_Delete);
        QTest::keyClicks(plain, text);
    }
}

QAbstractButton* ButtonWithId(QWidget* dialog, int id) {
    return qobject_cast<QAbstractButton*>(FindControl(dialog, id));
}

QAbstractButton* DefaultButton(QWidget* dialog) {
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
        if (button->isDefault() && button->isVisibleTo(dialog)) {
            return button;
        }
    }
    return nullptr;
}

void Click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, button->rect().center());
}

void PressButton(QWidget* dialog, const ModalPlan& plan) {
    auto* box = qobject_cast<QMessageBox*>(dialog);
    auto* plainDialog = qobject_cast<QDialog*>(dialog);
    QAbstractButton* button = nullptr;
    switch (plan.button) {
        case ModalButton::LeaveOpen:
            return;
        case ModalButton::Escape: {
            // To the focused control, as a real key press goes, so that filters see it too.
            QWidget* target = dialog->focusWidget() != nullptr ? dialog->focusWidget() : dialog;
            QTest::keyClick(target, Qt::Key_Escape);
            return;
        }
        case ModalButton::ById:
            button = ButtonWithId(dialog, plan.buttonId);
            break;
        case ModalButton::Ok:
            if (box != nullptr) {
                button = box->button(QMessageBox::Ok);
                if (button == nullptr) {
                    button = box->defaultButton();
                }
                if (button == nullptr && !box->buttons().isEmpty()) {
                    button = box->buttons().first();
                }
            } else {
                button = ButtonWithId(dialog, kIdOk);
                if (button == nullptr) {
                    button = DefaultButton(dialog);
                }
            }
            if (button == nullptr && plainDialog != nullptr) {
                plainDialog->accept();
                return;
            }
            break;
        case ModalButton::Cancel:
            button =
                box != nullptr ? box->button(QMessageBox::Cancel) : ButtonWithId(dialog, kIdCancel);
            if (button == nullptr && plainDialog != nullptr) {
                plainDialog->reject();
                return;
            }
            break;
    }
    if (button != nullptr) {
        Click(button);
    }
}

}  // namespace

QWidget* ActiveModal() {
    return QApplication::activeModalWidget();
}

ModalAnswer::ModalAnswer(Plan plan, std::chrono::milliseconds timeout)
    : state_(std::make_shared<State>()) {
    state_->plan = std::move(plan);
    state_->ignored = ActiveModal();
    PendingAnswers().push_back(this);

    timer_ = new QTimer();
    timer_->setInterval(kPollIntervalMs);
    const QDeadlineTimer deadline(timeout);
    std::weak_ptr<State> weakState = state_;
    void* self = this;
    QTimer* timer = timer_;
    QObject::connect(timer_, &QTimer::timeout, timer_, [weakState, self, deadline, timer] {
        std::shared_ptr<State> state = weakState.lock();
        if (!state || state->answered || state->timedOut) {
            timer->stop();
            return;
        }
        if (PendingAnswers().empty() || PendingAnswers().front() != self) {
            return;  // an older answer takes the next dialog first
        }
        QWidget* dialog = ActiveModal();
        // A dialog whose OK is disabled is busy (an address dialog looking its address up):
        // what it shows next is the next thing to answer.
        const auto* ok = dialog != nullptr && qobject_cast<QMessageBox*>(dialog) == nullptr
                             ? ButtonWithId(dialog, kIdOk)
                             : nullptr;
        const bool fresh = dialog != nullptr && dialog != state->ignored.data() &&
                           !WasAnswered(dialog) && dialog->isVisible() &&
                           (ok == nullptr || ok->isEnabled());
        if (!fresh) {
            if (deadline.hasExpired()) {
                state->timedOut = true;
                ++AnswerActivity();
                PendingAnswers().pop_front();
                timer->stop();
            }
            return;
        }
        // Record and answer once; the click below may run the rest of the test's code
        // (the dialog's exec() returns into it), so the bookkeeping comes first.
        timer->stop();
        ++AnswerActivity();
        PendingAnswers().pop_front();
        AnsweredDialogs().emplace_back(dialog);
        state->caption = dialog->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
            state->text = box->text();
        } else {
            state->text = VisibleLabelTexts(dialog);
        }
        state->dialogClass = QString::fromLatin1(dialog->metaObject()->className());
        state->buttons = VisibleButtonTexts(dialog);
        const QPointer<QWidget> guard(dialog);
        for (const auto& [controlId, text] : state->plan.typing) {
            if (guard.isNull()) {
                break;
            }
            TypeIntoControl(dialog, controlId, text);
        }
        state->answered = true;
        if (!guard.isNull()) {
            PressButton(dialog, state->plan);
        }
        // A dialog that stayed open after its button (a refused entry) may be answered again
        // by the next answer; one left open on purpose belongs to the test.
        if (!guard.isNull() && state->plan.button != ModalButton::LeaveOpen) {
            auto& answered = AnsweredDialogs();
            answered.erase(std::remove(answered.begin(), answered.end(), guard), answered.end());
        }
    });
    timer_->start();
}

ModalAnswer::~ModalAnswer() {
    auto& pending = PendingAnswers();
    pending.erase(std::remove(pending.begin(), pending.end(), static_cast<void*>(this)),
                  pending.end());
    timer_->stop();
    timer_->deleteLater();
}

bool ModalAnswer::WaitAnswered(std::chrono::milliseconds timeout) const {
    std::shared_ptr<State> state = state_;
    (void)QTest::qWaitFor([state] { return state->answered || state->timedOut; },
                          static_cast<int>(timeout.count()));
    return state->answered;
}

void InstallStrayModalGuard(std::chrono::milliseconds patience) {
    // Checked from a timer, so it runs in whatever loop is running: the dialog's own, or a
    // test's qWaitFor under it.
    auto* timer = new QTimer(qApp);
    timer->setInterval(200);
    struct Watch {
        QPointer<QWidget> dialog;
        int activity = -1;
        QElapsedTimer since;
    };
    auto watch = std::make_shared<Watch>();
    QObject::connect(timer, &QTimer::timeout, timer, [watch, patience] {
        QWidget* dialog = ActiveModal();
        // An answer still waits for its dialog: whatever is open may be the one it expects.
        const bool answerWaiting = !PendingAnswers().empty();
        if (dialog == nullptr || !dialog->isVisible() || answerWaiting ||
            dialog != watch->dialog.data() || AnswerActivity() != watch->activity) {
            watch->dialog = dialog;
            watch->activity = AnswerActivity();
            watch->since.start();
            return;
        }
        // Answered with LeaveOpen: the test closes it itself.
        if (WasAnswered(dialog) || !watch->since.hasExpired(patience.count()))
            return;
        const auto* box = qobject_cast<QMessageBox*>(dialog);
        const QString text = box != nullptr ? box->text() : VisibleLabelTexts(dialog);
        ADD_FAILURE() << "a modal dialog nobody answered stayed open "
                      << QString::number(watch->since.elapsed() / 1000.0, 'f', 1).toStdString()
                      << " s and was closed: " << dialog->metaObject()->className() << " \""
                      << dialog->windowTitle().toStdString() << "\": \"" << text.toStdString()
                      << "\"";
        watch->dialog = nullptr;
        if (auto* plain = qobject_cast<QDialog*>(dialog))
            plain->done(QDialog::Rejected);
        else
            dialog->close();
    });
    timer->start();
}
