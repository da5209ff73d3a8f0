// The settings, help and about dialogs as the frame opens them.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "app/about_dlg.h"
#include "app/encoding_setting.h"
#include "app/help_dlg.h"
#include "app/set_dlg.h"
#include "platform/dialog_template.h"
#include "tests/support/modal_helper.h"
#include "text/code_page.h"

namespace {

QStringList Items(QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
    return items;
}

TEST(SettingsDialog, OffersTheSixEncodingsAndOpensOnTheOneInForce) {
    const EncodingChoice before = CurrentEncodingChoice();
    {
        CSet dialog;
        EXPECT_EQ(dialog.windowTitle(), "收发信息编码设置");
        QComboBox* combo = dialog.EncodingCombo();
        ASSERT_NE(combo, nullptr);
        EXPECT_EQ(Items(combo), QStringList({"Ansi", "GBK", "Unicode", "UTF8", "UFT16", "..."}));
        EXPECT_EQ(combo->currentIndex(), static_cast<int>(before));

        // Cancel keeps what was in force.
        ModalAnswer answer(ModalAnswer::Plan().ThenPress(ModalAnswer::Cancel));
        QTimer::singleShot(0, [combo] { combo->setCurrentIndex(1); });
        dialog.exec();
        EXPECT_TRUE(answer.Answered());
        EXPECT_EQ(CurrentEncodingChoice(), before);
    }
    {
        // OK with "..." (keep) changes nothing either; the next opening shows what is in force.
        CSet dialog;
        dialog.EncodingCombo()->setCurrentIndex(static_cast<int>(EncodingChoice::Keep));
        ModalAnswer answer;
        dialog.exec();
        EXPECT_TRUE(answer.Answered());
        EXPECT_EQ(CurrentEncodingChoice(), before);
        CSet again;
        EXPECT_EQ(again.EncodingCombo()->currentIndex(), static_cast<int>(before));
    }
}

TEST(HelpDialog, ShowsTheFeatureLinesWhateverTheCodePageAndCannotBeEdited) {
    const std::string codePage = GetAnsiCodePage();
    const QStringList features = {
        "    (1) 支持TCP协议服务器及客户端的创建及信息的收发;\n",
        "    (2) 支持UDP协议服务器及客户端的创建及信息的收发;\n",
        "    (3) 支持广播信息的收发;\n",
        "    (4) 支持组播组的创建、加入及信息的收发;\n",
        "    (5) 支持几十种信息编码格式信息(比如：Unocode、UFT8、GBK、...)的收发;\n",
        "    (6) 支持一次创建多个客户端、服务端，可用于对服务器进行压力测试。\n"};
    for (const char* page : {"ISO-8859-1", "UTF-8", "GBK"}) {
        ASSERT_TRUE(SetAnsiCodePage(page)) << page;
        CHelp dialog;
        EXPECT_EQ(dialog.windowTitle(), "帮助");
        QPlainTextEdit* text = dialog.TextView();
        ASSERT_NE(text, nullptr);
        const QString shown = text->toPlainText();
        for (const QString& line : features) EXPECT_TRUE(shown.contains(line)) << page;
        EXPECT_TRUE(shown.contains("Linux"));
        EXPECT_TRUE(shown.endsWith("\n\n"));

        dialog.show();
        text->setFocus();
        QTest::keyClicks(text, "typed");
        QTest::keyClick(text, Qt::Key_Delete);
        EXPECT_EQ(text->toPlainText(), shown);
    }
    SetAnsiCodePage(codePage);
}

TEST(AboutDialog, DrawsItsTwoImagesOnTheWhiteFace) {
    CAbout dialog;
    EXPECT_EQ(dialog.windowTitle(), "关于Wirelark");
    auto* exit = FindControlAs<QPushButton>(&dialog, 1);
    ASSERT_NE(exit, nullptr);
    EXPECT_EQ(exit->text(), "退出");
    ASSERT_FALSE(dialog.FirstImage().isNull());
    ASSERT_FALSE(dialog.SecondImage().isNull());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    const QImage face = dialog.grab().toImage();
    const QImage first = dialog.FirstImage().toImage();
    const QImage second = dialog.SecondImage().toImage();
    const QPoint inside(first.width() / 2, first.height() / 3);
    EXPECT_EQ(face.pixelColor(QPoint(70, 90) + inside), first.pixelColor(inside));
    EXPECT_EQ(face.pixelColor(QPoint(260, 90) + inside), second.pixelColor(inside));
    EXPECT_EQ(face.pixelColor(face.width() - 1, face.height() - 1), QColor(Qt::black));

    dialog.hide();
    ModalAnswer answer;  // 退出 closes it
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_TRUE(answer.Answered());
}

}  // namespace
