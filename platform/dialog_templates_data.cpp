// The program's dialog templates as data: captions, fonts, sizes in dialog units and every
// control with its id, kind, position (x, y, width, height in dialog units) and styles.
#include <QStringList>

#include "platform/dialog_template.h"

namespace {

using K = ControlKind;

const QStringList kModalFrame = {"DS_MODALFRAME", "WS_POPUP", "WS_CAPTION", "WS_SYSMENU"};
const QStringList kChildPage = {"WS_CHILD", "DS_SETFONT"};
const QStringList kLogView = {"ES_MULTILINE", "ES_READONLY", "WS_VSCROLL", "ES_AUTOVSCROLL"};
const QStringList kSendBox = {"ES_MULTILINE", "ES_WANTRETURN", "WS_VSCROLL", "ES_AUTOVSCROLL"};
const QStringList kAddressEdit = {"ES_AUTOHSCROLL", "WS_BORDER", "WS_TABSTOP"};
const QStringList kNumberEdit = {"ES_AUTOHSCROLL", "ES_NUMBER", "WS_BORDER", "WS_TABSTOP"};

// The four endpoint pages share one layout; only the tree's id, the size and the sent
// view's group box differ.
DialogTemplate PageTemplate(int id, int treeId, QSize units, bool withSentGroup,
                            QStringList styles) {
    DialogTemplate page{id, QString(), QStringLiteral("Times New Roman"), 8, units, {}, styles};
    page.controls = {
        {treeId,
         K::TreeView,
         QRect(6, 19, 235, 125),
         QString(),
         0,
         {"TVS_HASBUTTONS", "TVS_HASLINES", "TVS_LINESATROOT", "TVS_SHOWSELALWAYS", "WS_BORDER"}},
        {1026, K::PlainTextView, QRect(255, 19, 230, 125), QString(), 0, kLogView},
        {1028, K::PlainTextView, QRect(6, 163, 236, 125), QString(), 0, kLogView},
        {1031, K::PlainTextEdit, QRect(255, 163, 230, 125), QString(), 0, kSendBox},
        {-1, K::GroupBox, QRect(252, 5, 239, 141),
         QT_TRANSLATE_NOOP("DialogTemplates", "收到的信息")},
        {-1, K::GroupBox, QRect(252, 150, 239, 141),
         QT_TRANSLATE_NOOP("DialogTemplates", "发送窗口")},
    };
    if (withSentGroup) {
        page.controls.push_back({-1, K::GroupBox, QRect(3, 150, 242, 141),
                                 QT_TRANSLATE_NOOP("DialogTemplates", "已发送的信息")});
    }
    return page;
}

std::vector<DialogTemplate> MakeTemplates() {
    std::vector<DialogTemplate> templates;

    // About dialog.
    templates.push_back(
        {100,
         QT_TRANSLATE_NOOP("DialogTemplates", "关于Wirelark"),
         QStringLiteral("宋体"),
         9,
         QSize(314, 209),
         {
             {-1, K::Icon, QRect(9, 10, 21, 20), QString(), 293},
             {1, K::DefaultPushButton, QRect(267, 192, 37, 14),
              QT_TRANSLATE_NOOP("DialogTemplates", "退出")},
             {-1, K::Label, QRect(75, 161, 41, 8),
              QT_TRANSLATE_NOOP("DialogTemplates", "TCP 连接")},
             {-1, K::Label, QRect(200, 161, 49, 8),
              QT_TRANSLATE_NOOP("DialogTemplates", "UDP 数据报")},
             {-1, K::Label, QRect(44, 195, 216, 8),
              QT_TRANSLATE_NOOP("DialogTemplates", "手工测试 TCP 与 UDP 网络程序的工具")},
         },
         kModalFrame});

    // Endpoint pages: TCP server, TCP client.
    templates.push_back(PageTemplate(129, 1025, QSize(496, 299), false, kChildPage));
    templates.push_back(PageTemplate(130, 1038, QSize(496, 299), true, kChildPage));

    // Port dialog of the server pages.
    templates.push_back(
        {138,
         QT_TRANSLATE_NOOP("DialogTemplates", "请输入端口"),
         QStringLiteral("MS Shell Dlg"),
         8,
         QSize(181, 121),
         {
             {1009, K::DigitsEdit, QRect(57, 33, 62, 12), QString(), 0, kNumberEdit},
             {1, K::PushButton, QRect(29, 76, 50, 14),
              QT_TRANSLATE_NOOP("DialogTemplates", "确定")},
             {2, K::PushButton, QRect(99, 76, 50, 14),
              QT_TRANSLATE_NOOP("DialogTemplates", "取消")},
         },
         kModalFrame});

    // Remote address dialog of the TCP client page.
    templates.push_back(
        {139,
         QT_TRANSLATE_NOOP("DialogTemplates", "请输入对方地址"),
         QStringLiteral("MS Shell Dlg"),
         9,
         QSize(181, 121),
         {
             {-1, K::Label, QRect(24, 23, 34, 11),
              QT_TRANSLATE_NOOP("DialogTemplates", "对方地址:")},
             {1037, K::Edit, QRect(63, 21, 86, 12), QString(), 0, kAddressEdit},
             {-1, K::Label, QRect(24, 41, 34, 11),
              QT_TRANSLATE_NOOP("DialogTemplates", "对方端口:")},
             {1010, K::DigitsEdit, QRect(63, 40, 86, 12), QString(), 0, kNumberEdit},
             {-1, K::Label, QRect(24, 59, 34, 11),
              QT_TRANSLATE_NOOP("DialogTemplates", "连接数量:")},
             {1011, K::DigitsEdit, QRect(63, 58, 86, 12), QString(), 0, kNumberEdit},
             {1060, K::CheckBox, QRect(63, 76, 30, 11), QStringLiteral("TLS"), 0, {"WS_TABSTOP"}},
             {1061,
              K::CheckBox,
              QRect(97, 76, 56, 11),
              QT_TRANSLATE_NOOP("DialogTemplates", "验证证书"),
              0,
              {"WS_TABSTOP", "WS_DISABLED"}},
             {1, K::DefaultPushButton, QRect(31, 97, 50, 14),
              QT_TRANSLATE_NOOP("DialogTemplates", "确定")},
             {2, K::PushButton, QRect(96, 97, 50, 14),
              QT_TRANSLATE_NOOP("DialogTemplates", "取消")},
         },
         kModalFrame});

    // Endpoint pages: UDP server (drawn transparent), UDP client.
    templates.push_back(PageTemplate(140, 1050, QSize(494, 302), true,
                                     kChildPage + QStringList{"WS_EX_TRANSPARENT"}));
    templates.push_back(PageTemplate(141, 1051, QSize(494, 302), true, kChildPage));

    // Endpoint dialog of the UDP client page.
    templates.push_back(
        {142,
         QT_TRANSLATE_NOOP("DialogTemplates", "请输入对方地址"),
         QStringLiteral("MS Shell Dlg"),
         9,
         QSize(181, 140),
         {
             {-1, K::Label, QRect(24, 16, 34, 11),
              QT_TRANSLATE_NOOP("DialogTemplates", "对方地址:")},
             {1037, K::Edit, QRect(63, 14, 86, 12), QString(), 0, kAddressEdit},
             {-1, K::Label, QRect(24, 35, 34, 11),
              QT_TRANSLATE_NOOP("DialogTemplates", "对方端口:")},
             {1052, K::DigitsEdit, QRect(63, 33, 86, 12), QString(), 0, kNumberEdit},
             {-1, K::Label, QRect(24, 54, 34, 11),
              QT_TRANSLATE_NOOP("DialogTemplates", "本地端口:")},
             {1012, K::DigitsEdit, QRect(63, 53, 86, 12), QString(), 0, kNumberEdit},
             {-1, K::Label, QRect(24, 73, 34, 11),
              QT_TRANSLATE_NOOP("DialogTemplates", "客户数量:")},
             {1011, K::DigitsEdit, QRect(63, 73, 86, 12), QString(), 0, kNumberEdit},
             {-1, K::Label, QRect(24, 92, 34, 11),
              QT_TRANSLATE_NOOP("DialogTemplates", "组播 TTL:")},
             {1059, K::DigitsEdit, QRect(63, 92, 86, 12), QString(), 0, kNumberEdit},
             {1, K::DefaultPushButton, QRect(33, 119, 50, 14),
              QT_TRANSLATE_NOOP("DialogTemplates", "确定")},
             {2, K::PushButton, QRect(99, 119, 50, 14),
              QT_TRANSLATE_NOOP("DialogTemplates", "取消")},
         },
         kModalFrame});

    // Group dialog of the UDP server page.
    templates.push_back({147,
                         QT_TRANSLATE_NOOP("DialogTemplates", "加入组播组"),
                         QStringLiteral("MS Shell Dlg"),
                         9,
                         QSize(181, 80),
                         {
                             {-1, K::Label, QRect(24, 23, 34, 11),
                              QT_TRANSLATE_NOOP("DialogTemplates", "组播地址:")},
                             {1037, K::Edit, QRect(63, 21, 86, 12), QString(), 0, kAddressEdit},
                             {1, K::DefaultPushButton, QRect(31, 52, 50, 14),
                              QT_TRANSLATE_NOOP("DialogTemplates", "确定")},
                             {2, K::PushButton, QRect(96, 52, 50, 14),
                              QT_TRANSLATE_NOOP("DialogTemplates", "取消")},
                         },
                         kModalFrame});

    // Timed send dialog of the send box: interval and number of sends.
    templates.push_back(
        {143,
         QT_TRANSLATE_NOOP("DialogTemplates", "定时发送"),
         QStringLiteral("MS Shell Dlg"),
         9,
         QSize(181, 100),
         {
             {-1, K::Label, QRect(20, 18, 44, 11),
              QT_TRANSLATE_NOOP("DialogTemplates", "间隔(毫秒):")},
             {1057, K::DigitsEdit, QRect(68, 16, 86, 12), QString(), 0, kNumberEdit},
             {-1, K::Label, QRect(20, 37, 44, 11),
              QT_TRANSLATE_NOOP("DialogTemplates", "发送次数:")},
             {1058, K::DigitsEdit, QRect(68, 35, 86, 12), QString(), 0, kNumberEdit},
             {-1, K::Label, QRect(68, 51, 90, 9),
              QT_TRANSLATE_NOOP("DialogTemplates", "0 表示一直发送")},
             {1, K::DefaultPushButton, QRect(33, 72, 50, 14),
              QT_TRANSLATE_NOOP("DialogTemplates", "确定")},
             {2, K::PushButton, QRect(99, 72, 50, 14),
              QT_TRANSLATE_NOOP("DialogTemplates", "取消")},
         },
         kModalFrame});

    // Main frame: borderless, painted by the program; the static 1053 becomes the tab strip.
    templates.push_back({157,
                         QString(),
                         QStringLiteral("宋体"),
                         9,
                         QSize(498, 404),
                         {
                             {1053,
                              K::Label,
                              QRect(1, 1, 55, 8),
                              QStringLiteral("Static"),
                              0,
                              {"SS_LEFT", "WS_VISIBLE"}},
                         },
                         {"WS_POPUP", "DS_SETFONT", "DS_SETFOREGROUND", "WS_EX_TOOLWINDOW"}});

    // Settings dialog.
    templates.push_back({294,
                         QT_TRANSLATE_NOOP("DialogTemplates", "收发信息编码设置"),
                         QStringLiteral("MS Shell Dlg"),
                         8,
                         QSize(306, 208),
                         {
                             {-1, K::Icon, QRect(7, 7, 21, 20), QString(), 293},
                             {1055,
                              K::ComboBox,
                              QRect(111, 10, 48, 119),
                              QString(),
                              0,
                              {"CBS_DROPDOWN", "WS_VSCROLL", "WS_TABSTOP"}},
                             {1, K::DefaultPushButton, QRect(183, 187, 50, 14),
                              QT_TRANSLATE_NOOP("DialogTemplates", "确定")},
                             {2, K::PushButton, QRect(245, 187, 50, 14),
                              QT_TRANSLATE_NOOP("DialogTemplates", "取消")},
                         },
                         kModalFrame});

    // Help dialog.
    templates.push_back({295,
                         QT_TRANSLATE_NOOP("DialogTemplates", "帮助"),
                         QStringLiteral("Microsoft Sans Serif"),
                         10,
                         QSize(252, 229),
                         {
                             {1056,
                              K::PlainTextView,
                              QRect(2, 15, 247, 189),
                              QString(),
                              0,
                              {"ES_MULTILINE", "ES_READONLY", "WS_BORDER", "WS_VSCROLL"}},
                             {1, K::DefaultPushButton, QRect(98, 214, 50, 14),
                              QT_TRANSLATE_NOOP("DialogTemplates", "退出")},
                         },
                         kModalFrame});
    return templates;
}

}  // namespace

const DialogTemplate* FindDialogTemplate(int id) {
    static const std::vector<DialogTemplate> templates = MakeTemplates();
    for (const DialogTemplate& dialogTemplate : templates) {
        if (dialogTemplate.id == id) {
            return &dialogTemplate;
        }
    }
    return nullptr;
}
