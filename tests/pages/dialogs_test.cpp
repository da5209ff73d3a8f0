// The port dialog and the remote address dialog, driven as a user would: typed text, real
// clicks and keys, message boxes read by the modal helper.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "net/connect_info.h"
#include "pages/core/page_address.h"
#include "pages/dialogs/dlg_set_ip.h"
#include "pages/dialogs/set_listen_dlg.h"
#include "platform/dialog_template.h"
#include "tests/support/modal_helper.h"

namespace {

constexpr COLORREF kColour = RGB(232, 243, 250);

class DialogsTest : public ::testing::Test {
protected:
    void SetUp() override { PinLocalHostAddressForTesting("127.0.0.1"); }
    void TearDown() override { PinLocalHostAddressForTesting(std::nullopt); }
};

// Runs `step` once, on the first tick at which `ready` holds; the ticks come every 20 ms while
// a dialog's exec() turns the event loop.
class StepWhenReady {
public:
    StepWhenReady(std::function<bool()> ready, std::function<void()> step)
        : ready_(std::move(ready)), step_(std::move(step)) {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (!ready_())
                return;
            timer_.stop();
            step_();
        });
        timer_.start();
    }

private:
    std::function<bool()> ready_;
    std::function<void()> step_;
    QTimer timer_;
};

TEST_F(DialogsTest, PortDialogAcceptsThePortTypedAndShowsItsTemplate) {
    CSetListenDlg dialog(nullptr, kColour);
    ModalAnswer answer(ModalAnswer::TypeInto(CSetListenDlg::kPortFieldId, "65535"));
    ASSERT_EQ(dialog.exec(), QDialog::Accepted);
    ASSERT_TRUE(answer.Answered());
    EXPECT_EQ(answer.Caption(), QStringLiteral("请输入端口"));
    EXPECT_EQ(answer.ButtonTexts(), (QStringList{QStringLiteral("确定"), QStringLiteral("取消")}));
    EXPECT_EQ(dialog.Port(), 65535);
    EXPECT_EQ(dialog.palette().color(QPalette::Window), QColor(232, 243, 250));
}

TEST_F(DialogsTest, PortDialogTakesThePortTypedStraightAwayAndReturn) {
    // A user types at once, without clicking the field, and ends with Return.
    CSetListenDlg dialog(nullptr, kColour);
    QWidget* focusedAtStart = nullptr;
    StepWhenReady typeLater([&] { return ActiveModal() == &dialog && dialog.isActiveWindow(); },
                            [&] {
                                focusedAtStart = QApplication::focusWidget();
                                if (focusedAtStart) {
                                    QTest::keyClicks(focusedAtStart, "4242");
                                    QTest::keyClick(focusedAtStart, Qt::Key_Return);
                                } else {
                                    dialog.reject();
                                }
                            });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(focusedAtStart, FindControl(&dialog, CSetListenDlg::kPortFieldId));
    EXPECT_EQ(dialog.Port(), 4242);
}

TEST_F(DialogsTest, PortDialogEmptyFieldEndsWithPortZero) {
    CSetListenDlg dialog(nullptr, kColour);
    ModalAnswer answer(ModalAnswer::Press(ModalAnswer::Ok));
    ASSERT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.Port(), 0);
}

TEST_F(DialogsTest, PortDialogRejectsAPortAboveRangeAndStaysOpen) {
    for (const QString& typed : {QStringLiteral("65536"), QStringLiteral("99999999999999")}) {
        CSetListenDlg dialog(nullptr, kColour);
        ModalAnswer typeTooLarge(ModalAnswer::TypeInto(CSetListenDlg::kPortFieldId, typed));
        ModalAnswer readMessage(ModalAnswer::Press(ModalAnswer::Ok));
        // Once the message is answered the dialog must still be open; then cancel it.
        bool stillOpenAfterMessage = false;
        StepWhenReady cancelLater(
            [&] { return readMessage.Answered() && ActiveModal() == &dialog; },
            [&] {
                stillOpenAfterMessage = dialog.isVisible();
                QTest::mouseClick(FindControlAs<QAbstractButton>(&dialog, 2), Qt::LeftButton);
            });
        EXPECT_EQ(dialog.exec(), QDialog::Rejected) << typed.toStdString();
        EXPECT_TRUE(readMessage.Answered());
        EXPECT_EQ(readMessage.Text(), QStringLiteral("输入的端口号有错！"));
        EXPECT_EQ(readMessage.Caption(), QStringLiteral("提示"));
        EXPECT_TRUE(stillOpenAfterMessage);
        EXPECT_EQ(dialog.Port(), 0);
    }
}

TEST_F(DialogsTest, PortDialogTakesDigitsOnlyAndCancelsWithEscape) {
    CSetListenDlg dialog(nullptr, kColour);
    ModalAnswer answer(
        ModalAnswer::TypeInto(CSetListenDlg::kPortFieldId, "8a8b").ThenPress(ModalAnswer::Escape));
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_EQ(FindControlAs<QLineEdit>(&dialog, CSetListenDlg::kPortFieldId)->text(), "88");
}

TEST_F(DialogsTest, AddressDialogOffersTheLocalAddressAndDefaults) {
    CDlgSetIp dialog(nullptr, QString(), kColour);
    // Looked up off the window's thread: the fields fill when the answer comes.
    auto* address = FindControlAs<QLineEdit>(&dialog, CDlgSetIp::kAddressFieldId);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !address->text().isEmpty(); }, 10000));
    EXPECT_EQ(address->text(), "127.0.0.1");
    EXPECT_EQ(FindControlAs<QLineEdit>(&dialog, CDlgSetIp::kPortFieldId)->text(), "8888");
    EXPECT_EQ(FindControlAs<QLineEdit>(&dialog, CDlgSetIp::kCountFieldId)->text(), "1");

    CDlgSetIp offered(nullptr, QStringLiteral("printer.local"), kColour);
    EXPECT_EQ(FindControlAs<QLineEdit>(&offered, CDlgSetIp::kAddressFieldId)->text(),
              "printer.local");
}

TEST_F(DialogsTest, AddressDialogResolvesNamesAndDottedAddresses) {
    struct Case {
        QString typed;
        const char* expected;
    };
    // Only the first 39 characters count: the 40-character text would read 127.0.0.10.
    const QString overlong = QStringLiteral("127.0.0.") + QString(30, u'0') + "12";
    for (const Case& c : {Case{"localhost", "127.0.0.1"}, Case{"127.0.0.9", "127.0.0.9"},
                          Case{"", "127.0.0.1"}, Case{overlong, "127.0.0.1"}}) {
        CDlgSetIp dialog(nullptr, QStringLiteral("10.0.0.1"), kColour);
        ModalAnswer answer(ModalAnswer::TypeInto(CDlgSetIp::kAddressFieldId, c.typed)
                               .TypeInto(CDlgSetIp::kPortFieldId, "4321")
                               .TypeInto(CDlgSetIp::kCountFieldId, "3"));
        ASSERT_EQ(dialog.exec(), QDialog::Accepted) << c.typed.toStdString();
        EXPECT_EQ(answer.Caption(), QStringLiteral("请输入对方地址"));
        EXPECT_EQ(dialog.RemoteAddress().AddressText(), c.expected) << c.typed.toStdString();
        EXPECT_EQ(dialog.RemoteAddress().Family(), AddressFamily::kIpv4);
        EXPECT_EQ(dialog.RemoteAddress().Port(), 4321);
        EXPECT_EQ(dialog.Port(), 4321);
        EXPECT_EQ(dialog.Count(), 3);
    }
}

// A refused address keeps the dialog open with the address focused and selected; the
// corrected one ends it.
TEST_F(DialogsTest, AddressDialogRefusesABadAddressAndStaysOpen) {
    CDlgSetIp dialog(nullptr, QStringLiteral("255.255.255.255"), kColour);
    auto* address = FindControlAs<QLineEdit>(&dialog, CDlgSetIp::kAddressFieldId);
    ModalAnswer pressOk(ModalAnswer::Press(ModalAnswer::Ok));
    ModalAnswer readMessage(ModalAnswer::Press(ModalAnswer::Ok));
    bool focusedAndSelected = false;
    QElapsedTimer sinceMessage;
    StepWhenReady correct(
        [&] {
            if (!readMessage.Answered() || ActiveModal() != &dialog || dialog.Resolving())
                return false;
            if (!sinceMessage.isValid())
                sinceMessage.start();
            // The focus comes back once the message box has gone; bounded, so as not to hang.
            return dialog.focusWidget() == address || sinceMessage.elapsed() > 3000;
        },
        [&] {
            focusedAndSelected = dialog.focusWidget() == address && address->hasSelectedText() &&
                                 address->selectedText() == address->text();
            address->setText(QStringLiteral("127.0.0.7"));
            QTest::keyClick(address, Qt::Key_Return);
        });
    ASSERT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(readMessage.Text(), QStringLiteral("Ip 地址有错!"));
    EXPECT_EQ(readMessage.Caption(), QStringLiteral("Wirelark"));
    EXPECT_TRUE(focusedAndSelected);
    EXPECT_EQ(dialog.RemoteAddress().AddressText(), "127.0.0.7");
    EXPECT_EQ(dialog.RemoteAddress().Port(), 8888);
}

// A name service that never answers: the window keeps painting while the dialog shows it is
// resolving, Cancel still ends it at once, and the time limit gives the address error.
TEST_F(DialogsTest, AddressDialogWaitsForNoResolver) {
    // Shared with the lookups' helper threads, which may outlive the test.
    struct Gate {
        std::mutex mutex;
        std::condition_variable released;
        bool release = false;
    };
    auto gate = std::make_shared<Gate>();
    SetNameLookupForTesting([gate](const std::string&) {
        std::unique_lock lock(gate->mutex);
        gate->released.wait_for(lock, std::chrono::seconds(30), [&] { return gate->release; });
        return std::optional<Endpoint>();
    });
    QWidget window;
    window.resize(100, 100);
    window.show();
    int paints = 0;
    QTimer repaint;
    QObject::connect(&repaint, &QTimer::timeout, [&] {
        window.repaint();  // runs only while the event loop turns
        ++paints;
    });
    repaint.start(10);

    CDlgSetIp dialog(nullptr, QStringLiteral("slow.invalid"), kColour);
    ModalAnswer pressOk(ModalAnswer::Press(ModalAnswer::Ok));
    QString resolvingTitle;
    bool okDisabled = false;
    int paintsWhileResolving = 0;
    StepWhenReady cancel(
        [&] {
            if (!dialog.Resolving())
                return false;
            if (resolvingTitle.isEmpty()) {
                resolvingTitle = dialog.windowTitle();
                paintsWhileResolving = paints;
                okDisabled = !FindControlAs<QAbstractButton>(&dialog, 1)->isEnabled();
            }
            return paints >= paintsWhileResolving + 10;
        },
        [&] { QTest::mouseClick(FindControlAs<QAbstractButton>(&dialog, 2), Qt::LeftButton); });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_EQ(resolvingTitle, QStringLiteral("请输入对方地址（正在解析地址…）"));
    EXPECT_TRUE(okDisabled);

    // Given up after the time limit (shortened here): the dialog's own message, still open.
    CDlgSetIp timed(nullptr, QStringLiteral("slow.invalid"), kColour);
    timed.Lookup().SetTimeLimitForTesting(std::chrono::milliseconds(200));
    ModalAnswer pressOkAgain(ModalAnswer::Press(ModalAnswer::Ok));
    ModalAnswer gaveUp(ModalAnswer::Press(ModalAnswer::Ok));
    StepWhenReady cancelLater([&] { return gaveUp.Answered() && ActiveModal() == &timed; },
                              [&] { QTest::keyClick(&timed, Qt::Key_Escape); });
    EXPECT_EQ(timed.exec(), QDialog::Rejected);
    EXPECT_EQ(gaveUp.Text(), QStringLiteral("Ip 地址有错!"));
    EXPECT_EQ(timed.windowTitle(), QStringLiteral("请输入对方地址"));

    SetNameLookupForTesting(nullptr);
    {
        std::lock_guard lock(gate->mutex);
        gate->release = true;
    }
    gate->released.notify_all();
}

TEST_F(DialogsTest, AddressDialogRejectsAPortAboveRangeAndCancelDoesNotValidate) {
    CDlgSetIp dialog(nullptr, QStringLiteral("127.0.0.1"), kColour);
    ModalAnswer typeTooLarge(ModalAnswer::TypeInto(CDlgSetIp::kPortFieldId, "70000"));
    ModalAnswer readMessage(ModalAnswer::Press(ModalAnswer::Ok));
    StepWhenReady cancelLater([&] { return readMessage.Answered() && ActiveModal() == &dialog; },
                              [&] { QTest::keyClick(&dialog, Qt::Key_Escape); });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_EQ(readMessage.Text(), QStringLiteral("输入的端口号有错！"));
    EXPECT_EQ(readMessage.Caption(), QStringLiteral("提示"));
    EXPECT_EQ(dialog.Port(), 0);
}

// Return on the focused 取消 button presses it, in both dialogs.
TEST_F(DialogsTest, ReturnOnTheFocusedCancelButtonCancels) {
    CSetListenDlg portDialog(nullptr, kColour);
    CDlgSetIp addressDialog(nullptr, QString(), kColour);
    for (QDialog* dialog :
         {static_cast<QDialog*>(&portDialog), static_cast<QDialog*>(&addressDialog)}) {
        StepWhenReady pressLater(
            [&] { return ActiveModal() == dialog && dialog->isActiveWindow(); },
            [&] {
                auto* cancel = FindControlAs<QAbstractButton>(dialog, 2);
                cancel->setFocus();
                QTest::keyClick(cancel, Qt::Key_Return);
                if (dialog->isVisible())
                    dialog->done(-1);  // Return did nothing: fail below, do not hang
            });
        EXPECT_EQ(dialog->exec(), QDialog::Rejected) << dialog->metaObject()->className();
    }
    EXPECT_EQ(portDialog.Port(), 0);
}

}  // namespace
