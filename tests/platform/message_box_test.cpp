// Message boxes show exactly the caption and text given, and the shared modal helper answers them.
#include "platform/message_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>

#include "platform/dialog_template.h"
#include "tests/support/modal_helper.h"

TEST(MessageBox, ShowsCaptionAndTextExactly) {
    QWidget owner;
    ModalAnswer answer;
    ShowMessageBox(&owner, QStringLiteral("端口号不能为空!"), QStringLiteral("提示!"));
    ASSERT_TRUE(answer.Answered());
    EXPECT_EQ(answer.Caption(), QStringLiteral("提示!"));
    EXPECT_EQ(answer.Text(), QStringLiteral("端口号不能为空!"));
    EXPECT_EQ(answer.ButtonTexts().size(), 1);
}

// What each message box looked like as it was shown.
class ShownBoxes : public QObject {
public:
    ShownBoxes() { qApp->installEventFilter(this); }
    ~ShownBoxes() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* box = qobject_cast<QMessageBox*>(watched);
        if (box && event->type() == QEvent::Show) {
            iconless.push_back(box->icon() == QMessageBox::NoIcon && box->iconPixmap().isNull() &&
                               box->windowIcon().isNull());
        }
        return false;
    }
    std::vector<bool> iconless;
};

// Run under LANG=C: the box is the program's own whatever the locale, one "确定" and no
// icon, not even the owner's in its title bar.
TEST(MessageBox, HasOnlyAChineseOkAndNoIcon) {
    QWidget owner;
    QPixmap logo(16, 16);
    logo.fill(Qt::red);
    owner.setWindowIcon(QIcon(logo));
    const ShownBoxes shown;
    ModalAnswer answer;
    ShowMessageBox(&owner, QStringLiteral("监听启动失败"), QStringLiteral("错误！"));
    ASSERT_TRUE(answer.Answered());
    EXPECT_EQ(answer.ButtonTexts(), QStringList{QStringLiteral("确定")});
    EXPECT_EQ(shown.iconless, std::vector<bool>{true});
}

TEST(MessageBox, StandardBoxCarriesTheApplicationTitle) {
    ModalAnswer answer(ModalAnswer::Press(ModalAnswer::Escape));
    AfxMessageBox(QStringLiteral("<b>not markup</b>"));
    ASSERT_TRUE(answer.Answered());
    EXPECT_EQ(answer.Caption(), QStringLiteral("Wirelark"));
    EXPECT_EQ(answer.Text(), QStringLiteral("<b>not markup</b>"));
}

TEST(MessageBox, ConsecutiveBoxesAreAnsweredInOrder) {
    ModalAnswer first;
    ModalAnswer second;
    ShowMessageBox(nullptr, QStringLiteral("one"), QStringLiteral("A"));
    ShowMessageBox(nullptr, QStringLiteral("two"), QStringLiteral("B"));
    ASSERT_TRUE(first.Answered());
    ASSERT_TRUE(second.Answered());
    EXPECT_EQ(first.Text(), QStringLiteral("one"));
    EXPECT_EQ(second.Text(), QStringLiteral("two"));
}

TEST(ModalHelper, TypesIntoAnEditByIdAndPressesOk) {
    QDialog dialog;
    auto* edit = new QLineEdit(&dialog);
    SetControlId(edit, 1012);
    auto* ok = new QPushButton(QStringLiteral("确定"), &dialog);
    SetControlId(ok, 1);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    ModalAnswer answer(ModalAnswer::TypeInto(1012, QStringLiteral("8080")));
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_TRUE(answer.Answered());
    EXPECT_EQ(edit->text(), QStringLiteral("8080"));
}

TEST(ModalHelper, ReportsATimeOutWhenNoDialogOpens) {
    ModalAnswer answer(ModalAnswer::Plan(), std::chrono::milliseconds(100));
    EXPECT_FALSE(answer.WaitAnswered(std::chrono::seconds(5)));
    EXPECT_TRUE(answer.TimedOut());
}

// A dialog that refuses its entry with a message box and stays open: the answers are taken in
// order, and the dialog can be answered again after its box.
TEST(ModalHelper, AnswersADialogItsMessageBoxAndTheDialogAgain) {
    QDialog dialog;
    auto* edit = new QLineEdit(&dialog);
    SetControlId(edit, 1009);
    auto* ok = new QPushButton(QStringLiteral("确定"), &dialog);
    SetControlId(ok, 1);
    auto* cancel = new QPushButton(QStringLiteral("取消"), &dialog);
    SetControlId(cancel, 2);
    QObject::connect(ok, &QPushButton::clicked, &dialog, [&] {
        if (edit->text().toInt() > 65535) {
            ShowMessageBox(&dialog, QStringLiteral("输入的端口号有错！"), QStringLiteral("提示"));
            return;
        }
        dialog.accept();
    });
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);

    ModalAnswer refused(ModalAnswer::TypeInto(1009, QStringLiteral("65536")));
    ModalAnswer box;
    ModalAnswer cancelled(ModalAnswer::Press(ModalAnswer::Cancel));
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_TRUE(refused.Answered());
    ASSERT_TRUE(box.Answered());
    EXPECT_EQ(box.Caption(), QStringLiteral("提示"));
    EXPECT_EQ(box.Text(), QStringLiteral("输入的端口号有错！"));
    EXPECT_TRUE(cancelled.Answered());
    EXPECT_EQ(edit->text(), QStringLiteral("65536"));
}
