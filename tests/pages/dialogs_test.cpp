// The port dialog and the remote address dialog, driven as a user would: typed text, real
// clicks and keys, message boxes read by the modal helper.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <functional>

#include "net/connect_info.h"
#include "pages/dlg_set_ip.h"
#include "pages/set_listen_dlg.h"
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
    EXPECT_EQ(FindControlAs<QLineEdit>(&dialog, CDlgSetIp::kAddressFieldId)->text(), "127.0.0.1");
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
        char dotted[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &dialog.RemoteAddress().sin_addr, dotted, sizeof dotted);
        EXPECT_STREQ(dotted, c.expected) << c.typed.toStdString();
        EXPECT_EQ(dialog.RemoteAddress().sin_family, AF_INET);
        EXPECT_EQ(ntohs(dialog.RemoteAddress().sin_port), 4321);
        EXPECT_EQ(dialog.Port(), 4321);
        EXPECT_EQ(dialog.Count(), 3);
    }
}

TEST_F(DialogsTest, AddressDialogReportsABadAddressAndClosesWithPort65535) {
    CDlgSetIp dialog(nullptr, QStringLiteral("255.255.255.255"), kColour);
    ModalAnswer pressOk(ModalAnswer::Press(ModalAnswer::Ok));
    ModalAnswer readMessage(ModalAnswer::Press(ModalAnswer::Ok));
    ASSERT_EQ(dialog.exec(), QDialog::Accepted);
    ASSERT_TRUE(readMessage.Answered());
    EXPECT_EQ(readMessage.Text(), QStringLiteral("Ip 地址有错!"));
    EXPECT_EQ(readMessage.Caption(), QStringLiteral("Wirelark"));
    EXPECT_EQ(ntohs(dialog.RemoteAddress().sin_port), 65535);
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
