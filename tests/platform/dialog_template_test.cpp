// Dialog templates built into widgets: pixel geometry from dialog units, control lookup and
// binding by id, digits-only edits and the fonts that stand in for the templates' fonts.
#include "platform/dialog_template.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "tests/support/modal_helper.h"

namespace {

class TaggedTree : public QTreeWidget {
public:
    using QTreeWidget::QTreeWidget;
};

}  // namespace

TEST(DialogTemplate, BaseUnitsPerTemplateFont) {
    const std::vector<std::tuple<const char*, int, int, int>> expected = {
        {"MS Shell Dlg", 8, 6, 13},          {"MS Shell Dlg", 9, 7, 14},
        {"Microsoft Sans Serif", 10, 8, 15}, {"宋体", 9, 6, 12},
        {"Times New Roman", 8, 6, 14},
    };
    for (const auto& [face, points, cx, cy] : expected) {
        const DialogBaseUnits units = BaseUnitsFor(QString::fromUtf8(face), points);
        EXPECT_EQ(units.cx, cx) << face << " " << points;
        EXPECT_EQ(units.cy, cy) << face << " " << points;
    }
    // Each edge is converted on its own and rounded down, as MapDialogRect does.
    EXPECT_EQ(UnitsToPixels(QRect(57, 33, 62, 12), {6, 13}), QRect(85, 53, 93, 20));
    EXPECT_EQ(UnitsToPixels(QRect(3, 5, 3, 5), {6, 13}), QRect(4, 8, 5, 8));
}

TEST(DialogTemplate, EveryTemplateOfTheProgramIsDescribed) {
    for (int id : {100, 129, 130, 138, 139, 140, 141, 142, 157, 294, 295}) {
        const DialogTemplate* found = FindDialogTemplate(id);
        ASSERT_NE(found, nullptr) << id;
        EXPECT_EQ(found->id, id);
        EXPECT_FALSE(found->controls.empty()) << id;
    }
    EXPECT_EQ(FindDialogTemplate(12345), nullptr);
    EXPECT_EQ(FindDialogTemplate(157)->units, QSize(498, 404));
    EXPECT_EQ(FindDialogTemplate(140)->units, QSize(494, 302));
}

TEST(DialogTemplate, PortDialogControlsSitAtTheirPixelRectangles) {
    QDialog dialog;
    BuildDialogFromTemplate(&dialog, 138);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("请输入端口"));
    EXPECT_EQ(dialog.size(), QSize(181 * 6 / 4, 121 * 13 / 8));

    auto* port = FindControlAs<QLineEdit>(&dialog, 1009);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->geometry(), QRect(85, 53, 93, 20));
    auto* ok = FindControlAs<QPushButton>(&dialog, 1);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), QStringLiteral("确定"));
    EXPECT_EQ(ok->geometry(), QRect(43, 123, 75, 23));
    // Return presses OK in a dialog whose template marks no button default.
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(FindControlAs<QPushButton>(&dialog, 2)->text(), QStringLiteral("取消"));
    EXPECT_EQ(ControlId(ok), 1);
    EXPECT_EQ(FindControl(&dialog, 999), nullptr);
}

TEST(DialogTemplate, PageTemplateBindsThePagesOwnTreeClassAndLaysOutTheViews) {
    QWidget page;
    TaggedTree* boundTree = nullptr;
    BuildDialogFromTemplate(&page, 130,
                            {{1038, [&](const ControlTemplate&, QWidget* parent) -> QWidget* {
                                  boundTree = new TaggedTree(parent);
                                  return boundTree;
                              }}});
    ASSERT_NE(boundTree, nullptr);
    EXPECT_EQ(FindControlAs<TaggedTree>(&page, 1038), boundTree);
    // Times New Roman 8: 6 x 14 pixels per 4 x 8 units.
    EXPECT_EQ(boundTree->geometry(), QRect(9, 33, 352, 219));
    EXPECT_EQ(page.size(), QSize(744, 523));

    auto* received = FindControlAs<QPlainTextEdit>(&page, 1026);
    auto* sent = FindControlAs<QPlainTextEdit>(&page, 1028);
    auto* sendBox = FindControlAs<QPlainTextEdit>(&page, 1031);
    ASSERT_TRUE(received && sent && sendBox);
    EXPECT_TRUE(received->isReadOnly());
    EXPECT_TRUE(sent->isReadOnly());
    EXPECT_FALSE(sendBox->isReadOnly());
    EXPECT_EQ(received->geometry(), QRect(382, 33, 345, 219));
    EXPECT_EQ(sendBox->geometry(), QRect(382, 285, 345, 219));
    EXPECT_EQ(page.findChildren<QGroupBox*>().size(), 3);

    QWidget serverPage;
    BuildDialogFromTemplate(&serverPage, 129);
    EXPECT_EQ(serverPage.findChildren<QGroupBox*>().size(), 2);  // no sent-view frame
    EXPECT_NE(FindControlAs<QTreeWidget>(&serverPage, 1025), nullptr);
}

TEST(DialogTemplate, ClicksOnAViewReachTheViewNotItsGroupBox) {
    QWidget page;
    BuildDialogFromTemplate(&page, 140);
    page.show();
    auto* sendBox = FindControlAs<QPlainTextEdit>(&page, 1031);
    ASSERT_NE(sendBox, nullptr);
    const QPoint centre = sendBox->geometry().center();
    QWidget* hit = page.childAt(centre);
    EXPECT_TRUE(hit == sendBox || sendBox->isAncestorOf(hit));
    QTest::mouseClick(sendBox->viewport(), Qt::LeftButton);
    QTest::keyClicks(sendBox->viewport(), QStringLiteral("hello"));
    EXPECT_EQ(sendBox->toPlainText(), QStringLiteral("hello"));
}

TEST(DialogTemplate, ComboBoxKeepsOneLineAndIconKeepsTheIconSize) {
    QDialog dialog;
    BuildDialogFromTemplate(&dialog, 294);
    auto* combo = FindControlAs<QComboBox>(&dialog, 1055);
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->pos(), QPoint(111 * 6 / 4, 10 * 13 / 8));
    EXPECT_LT(combo->height(), 40);  // not the 193 pixels of its drop-down list
    const QList<QLabel*> labels = dialog.findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels.first()->size(), QSize(32, 32));
    EXPECT_FALSE(labels.first()->pixmap().isNull());
}

TEST(DialogTemplate, DigitsOnlyEditsRefuseOtherCharacters) {
    QDialog dialog;
    BuildDialogFromTemplate(&dialog, 142);
    auto* localPort = FindControlAs<QLineEdit>(&dialog, 1012);
    auto* address = FindControlAs<QLineEdit>(&dialog, 1037);
    ASSERT_TRUE(localPort && address);
    QTest::keyClicks(localPort, QStringLiteral("6a6-6.6 "));
    EXPECT_EQ(localPort->text(), QStringLiteral("6666"));
    QTest::keyClicks(address, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(address->text(), QStringLiteral("127.0.0.1"));
}

TEST(DialogTemplate, DialogFromATemplateIsAnsweredByTheModalHelper) {
    QDialog dialog;
    BuildDialogFromTemplate(&dialog, 139);
    QObject::connect(FindControlAs<QPushButton>(&dialog, 1), &QPushButton::clicked, &dialog,
                     &QDialog::accept);
    ModalAnswer answer(ModalAnswer::TypeInto(1037, QStringLiteral("localhost"))
                           .TypeInto(1010, QStringLiteral("9x9"))
                           .ThenPress(ModalAnswer::Ok));
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    ASSERT_TRUE(answer.Answered());
    EXPECT_EQ(answer.Caption(), QStringLiteral("请输入对方地址"));
    EXPECT_TRUE(answer.Text().contains(QStringLiteral("对方端口:")));
    EXPECT_EQ(FindControlAs<QLineEdit>(&dialog, 1037)->text(), QStringLiteral("localhost"));
    EXPECT_EQ(FindControlAs<QLineEdit>(&dialog, 1010)->text(), QStringLiteral("99"));

    QDialog again;
    BuildDialogFromTemplate(&again, 139);
    ModalAnswer escape(ModalAnswer::Press(ModalAnswer::Escape));
    EXPECT_EQ(again.exec(), QDialog::Rejected);
}

TEST(DialogTemplate, TemplateFontsResolveToInstalledFontsWithChineseGlyphs) {
    EXPECT_EQ(ResolveFontFamily(QStringLiteral("Times New Roman")), "Liberation Serif");
    EXPECT_EQ(ResolveFontFamily(QStringLiteral("Arial")), "Liberation Sans");
    EXPECT_EQ(ResolveFontFamily(QStringLiteral("MS Shell Dlg")), "Liberation Sans");
    EXPECT_EQ(ResolveFontFamily(QStringLiteral("Microsoft Sans Serif")), "Liberation Sans");
    EXPECT_EQ(ResolveFontFamily(QStringLiteral("宋体")), "WenQuanYi Micro Hei");

    const QStringList installed = QFontDatabase::families();
    for (const char* family : {"Liberation Sans", "Liberation Serif", "WenQuanYi Micro Hei"}) {
        EXPECT_TRUE(installed.contains(QString::fromLatin1(family))) << family;
    }
    const QFont times = TemplateFont(QStringLiteral("Times New Roman"), 8);
    EXPECT_EQ(QFontInfo(times).family(), QStringLiteral("Liberation Serif"));
    EXPECT_EQ(times.pixelSize(), 11);
    // Chinese text in a Latin template font falls back to a font that has the glyphs.
    EXPECT_TRUE(times.families().contains(QStringLiteral("WenQuanYi Micro Hei")));
    // Fonts made by name elsewhere in the program (the skin paints with Arial) resolve too.
    EXPECT_EQ(QFontInfo(QFont(QStringLiteral("Arial"))).family(),
              QStringLiteral("Liberation Sans"));
    EXPECT_EQ(QFontInfo(QFont(QStringLiteral("宋体"))).family(),
              QStringLiteral("WenQuanYi Micro Hei"));
    QFont chinese(QStringLiteral("WenQuanYi Micro Hei"));
    const QFontMetrics metrics(chinese);
    for (QChar c : QStringLiteral("收到的信息发送窗口")) {
        EXPECT_TRUE(metrics.inFont(c)) << static_cast<int>(c.unicode());
    }
}
