// The interface in each language, walked off screen: the frame with its four pages, their
// menus, the find bar, every dialog and a message box. In English no text shown holds a
// Chinese character; in Chinese the program's texts are as they have always been. A missing
// or damaged translation leaves the interface Chinese.
//
// With WIRELARK_LANGUAGE_SHOTS=<folder> set, each window walked is also written there as
// <language>_<name>.png, for looking at the layouts.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <variant>

#include "app/about_dlg.h"
#include "app/help_dlg.h"
#include "app/set_dlg.h"
#include "app/ui_language.h"
#include "pages/dialogs/dlg_set_ip.h"
#include "pages/dialogs/join_group_dlg.h"
#include "pages/dialogs/reply_rules_dlg.h"
#include "pages/dialogs/set_listen_dlg.h"
#include "pages/dialogs/set_udp_server_ip.h"
#include "pages/dialogs/timed_send_dlg.h"
#include "pages/tools/reply_rules_tool.h"
#include "platform/message_box.h"
#include "skin/skin_tab.h"
#include "tests/app/frame_test_support.h"
#include "tests/pages/tree_menu.h"
#include "text/hex_text.h"

namespace {

constexpr COLORREF kColour = 0x00F0E0D0;

// Texts the program has always shown in Chinese, from every part of the walk.
const QStringList kChineseTexts = {
    // the pages and the frame's menu
    "收到的信息", "发送窗口", "已发送的信息", "设置        (&Alt+S)", "帮助        (&Alt+H)",
    "关于        (&Alt+A)", "退出        (&Alt+X)",
    // the views' and the send box's menus
    "复制", "全选", "撤销", "重做", "剪切", "粘贴", "删除", "保存收到的全部信息...", "计数清零",
    "十六进制显示", "十六进制发送", "毫秒时间戳", "定时发送…", "发送文件…", "查找…",
    // the host nodes' menus
    "全部连接", "全部断开", "全部删除", "发送给全部", "回显", "应答规则…", "加入组播组…",
    "选择证书…",
    // the dialogs
    "关于Wirelark", "TCP 连接", "UDP 数据报", "手工测试 TCP 与 UDP 网络程序的工具", "帮助",
    "请输入端口", "请输入对方地址", "对方地址:", "对方端口:", "连接数量:", "验证证书",
    "本地端口:", "客户数量:", "组播 TTL:", "加入组播组", "组播地址:", "定时发送",
    "间隔(毫秒):", "发送次数:", "0 表示一直发送", "收发信息编码设置", "启动时恢复上次会话", "确定",
    "取消", "退出", "应答规则", "文本相同", "按包", "上一个", "下一个",
    // a message box
    "系统不支持编码“NO-SUCH-CODE”，请重新输入！", "提示"};

// What the walk saw: every text, and where each came from.
struct Walk {
    QStringList texts;
    QStringList places;
    void Add(const QString& text, const QString& place) {
        if (text.isEmpty())
            return;
        texts << text;
        places << place;
    }
    void AddAll(const QStringList& more, const QString& place) {
        for (const QString& text : more) Add(text, place);
    }
};

// Every text `root` shows: titles, labels, buttons, group boxes, combo items, edits, spin
// boxes' suffixes, table headers, tooltips and its actions.
void Collect(QWidget* root, const QString& name, Walk& walk, const QString& language) {
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : widgets) {
        if (widget != root && !widget->isVisibleTo(root))
            continue;
        const QString place = name + QLatin1Char('/') + widget->metaObject()->className();
        if (widget->isWindow())
            walk.Add(widget->windowTitle(), place);
        walk.Add(widget->toolTip(), place);
        if (auto* label = qobject_cast<QLabel*>(widget))
            walk.Add(label->text(), place);
        if (auto* button = qobject_cast<QAbstractButton*>(widget))
            walk.Add(button->text(), place);
        if (auto* group = qobject_cast<QGroupBox*>(widget))
            walk.Add(group->title(), place);
        if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            for (int i = 0; i < combo->count(); ++i) walk.Add(combo->itemText(i), place);
        }
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            walk.Add(edit->text(), place);
            walk.Add(edit->placeholderText(), place);
        }
        if (auto* text = qobject_cast<QPlainTextEdit*>(widget))
            walk.Add(text->toPlainText(), place);
        if (auto* spin = qobject_cast<QSpinBox*>(widget))
            walk.Add(spin->suffix(), place);
        if (auto* table = qobject_cast<QTableWidget*>(widget)) {
            for (int i = 0; i < table->columnCount(); ++i) {
                if (QTableWidgetItem* header = table->horizontalHeaderItem(i))
                    walk.Add(header->text(), place);
            }
        }
        for (QAction* action : widget->actions()) walk.Add(action->text(), place);
    }
    const QString shots = qEnvironmentVariable("WIRELARK_LANGUAGE_SHOTS");
    if (!shots.isEmpty() && root->isWindow()) {
        QDir().mkpath(shots);
        root->grab().save(QDir(shots).filePath(language + QLatin1Char('_') + name + ".png"));
    }
}

// The texts of the context menu a right click opens on `widget` (the menu is closed again).
QStringList ContextMenuTexts(QPlainTextEdit* widget) {
    QWidget* viewport = widget->viewport();
    const QPoint at = viewport->rect().center();
    QContextMenuEvent request(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &request);
    QStringList texts;
    if (auto* menu = widget->findChild<QMenu*>()) {
        for (QAction* action : menu->actions()) texts << action->text();
        delete menu;
    }
    return texts;
}

template <typename Dialog>
void WalkDialog(Dialog& dialog, const QString& name, Walk& walk, const QString& language) {
    dialog.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog)) << name.toStdString();
    Collect(&dialog, name, walk, language);
    dialog.close();
}

// Walks the whole interface in the language installed.
Walk WalkInterface(const QString& language) {
    Walk walk;
    PinLocalHostAddressForTesting("127.0.0.1");
    {
        CMgrDlg frame;
        frame.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&frame));
        // The frame's menu, behind its button.
        PopupAnswer popup;
        QTest::mouseClick(&frame.MenuButton(), Qt::LeftButton, Qt::NoModifier,
                          frame.MenuButton().rect().center());
        EXPECT_TRUE(QTest::qWaitFor([&] { return popup.Seen(); }, kFrameWaitMs));
        walk.AddAll(popup.Texts(), "frame menu");
        const char* names[] = {"tcp_server", "tcp_client", "udp_server", "udp_client"};
        for (int i = 0; i < 4; ++i) {
            // The page's tab clicked, as the user would.
            CSkinTab* tabs = frame.TabStrip();
            QTest::mouseClick(tabs, Qt::LeftButton, Qt::NoModifier, tabs->GetItemRect(i).center());
            CDialogP& page = frame.Page(i);
            EXPECT_TRUE(QTest::qWaitFor([&] { return page.isVisible(); }, kFrameWaitMs));
            const QString name = QLatin1String(names[i]);
            CTreeCtrlEx* tree = page.Tree();
            EXPECT_TRUE(QTest::qWaitFor(
                [&] { return !tree->GetItemText(tree->GetRootItem()).isEmpty(); }, kFrameWaitMs));
            walk.AddAll(TreeMenuTexts(tree, tree->GetRootItem()), name + " host menu");
            walk.AddAll(ContextMenuTexts(page.ReceivedView()), name + " received menu");
            walk.AddAll(ContextMenuTexts(page.SentView()), name + " sent menu");
            walk.AddAll(ContextMenuTexts(page.SendBox()), name + " send box menu");
            // The find bar, as Ctrl+F in the received view opens it.
            page.ReceivedView()->setFocus();
            QTest::keyClick(page.ReceivedView(), Qt::Key_F, Qt::ControlModifier);
            Collect(&frame, name, walk, language);
        }
    }
    PinLocalHostAddressForTesting(std::nullopt);

    CSet settings;
    WalkDialog(settings, "settings", walk, language);
    // A message box: an encoding the system does not know.
    settings.show();
    settings.EncodingCombo()->setEditText("NO-SUCH-CODE");
    ModalAnswer answer;
    QTest::mouseClick(FindControlAs<QPushButton>(&settings, 1), Qt::LeftButton);
    EXPECT_TRUE(answer.Answered());
    walk.Add(answer.Caption(), "message box");
    walk.Add(answer.Text(), "message box");
    settings.close();
    CHelp help;
    WalkDialog(help, "help", walk, language);
    CAbout about;
    WalkDialog(about, "about", walk, language);
    CSetListenDlg port(nullptr, kColour);
    WalkDialog(port, "port", walk, language);
    CDlgSetIp address(nullptr, QString(), kColour);
    WalkDialog(address, "address", walk, language);
    CSetUdpServerIp endpoint(nullptr, QString(), kColour);
    WalkDialog(endpoint, "udp_endpoint", walk, language);
    CJoinGroupDlg group(nullptr, kColour);
    WalkDialog(group, "join_group", walk, language);
    CTimedSendDlg timed(nullptr, kColour);
    WalkDialog(timed, "timed_send", walk, language);
    ReplyRuleSet rules;
    rules.rules.push_back(ReplyRule{});
    ReplyRulesDialog rulesDialog(rules, nullptr);
    WalkDialog(rulesDialog, "reply_rules", walk, language);
    // The engine's words reach the dialogs through its own lookup.
    walk.Add(
        QString::fromStdU16String(HexErrorMessage(std::get<HexParseError>(ParseHexText(u"0x1G")))),
        "hex text reason");
    return walk;
}

const QRegularExpression kChinese(
    QStringLiteral("[\\x{3000}-\\x{303F}\\x{4E00}-\\x{9FFF}\\x{FF00}-\\x{FFEF}]"));

class InterfaceLanguageTest : public ::testing::Test {
protected:
    void TearDown() override { InstallInterfaceLanguage(UiLanguage::Chinese); }
};

TEST_F(InterfaceLanguageTest, EnglishShowsNoChineseAndChineseStaysAsItWas) {
    ASSERT_EQ(InstallInterfaceLanguage(UiLanguage::English), UiLanguage::English);
    const Walk english = WalkInterface("en");
    // The one Chinese word of the English face: the language's own name in the settings.
    for (qsizetype i = 0; i < english.texts.size(); ++i) {
        if (english.texts[i] == "中文")
            continue;
        EXPECT_FALSE(english.texts[i].contains(kChinese))
            << english.places[i].toStdString() << ": " << english.texts[i].toStdString();
    }
    // The walk reached what it meant to: the menus, the dialogs, the engine's words.
    for (const char* seen : {"Settings        (&Alt+S)", "Copy", "Select All", "Undo",
                             "Connect all", "Echo", "Join multicast group…", "Find…", "Previous",
                             "About Wirelark", "Enter a port", "Reply rules", "Interface language:",
                             "English", "Note", "character 4 is not a hex digit"}) {
        EXPECT_TRUE(english.texts.contains(QString::fromUtf8(seen))) << seen;
    }

    ASSERT_EQ(InstallInterfaceLanguage(UiLanguage::Chinese), UiLanguage::Chinese);
    const Walk chinese = WalkInterface("zh");
    for (const QString& text : kChineseTexts)
        EXPECT_TRUE(chinese.texts.contains(text)) << text.toStdString();
    EXPECT_TRUE(chinese.texts.contains("第 4 个字符不是十六进制数字"));
}

TEST_F(InterfaceLanguageTest, AMissingOrDamagedTranslationLeavesChinese) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QFile damaged(folder.filePath("damaged.qm"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("not a translation");
    damaged.close();
    for (const QString& file : {folder.filePath("missing.qm"), damaged.fileName()}) {
        EXPECT_EQ(InstallInterfaceLanguage(UiLanguage::English, file), UiLanguage::Chinese);
        EXPECT_EQ(InterfaceLanguage(), UiLanguage::Chinese);
        CSetListenDlg port(nullptr, kColour);
        EXPECT_EQ(port.windowTitle(), "请输入端口");
    }
}

}  // namespace
