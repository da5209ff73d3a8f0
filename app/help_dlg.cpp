#include "app/help_dlg.h"

#include <QCoreApplication>
#include <QPlainTextEdit>

#include "app/app_dialog.h"
#include "platform/dialog_template.h"

CHelp::CHelp(QWidget* parent) : QDialog(parent) {
    BuildAppDialog(this, kTemplateId);
    text_ = FindControlAs<QPlainTextEdit>(this, kTextId);
    if (text_) {
        text_->setReadOnly(true);
        text_->setPlainText(HelpText());
    }
}

CHelp::~CHelp() = default;

QString CHelp::HelpText() {
    // Kept as Unicode text, so that it reads the same whatever code page the wire uses.
    return QCoreApplication::translate(
        "HelpDlg",
        "本程序是 SOCKET 编程测试工具，版本 1.0。\n"
        "本程序的主要功能如下：\n"
        "    (1) 支持TCP协议服务器及客户端的创建及信息的收发;\n"
        "    (2) 支持UDP协议服务器及客户端的创建及信息的收发;\n"
        "    (3) 支持广播信息的收发;\n"
        "    (4) 支持组播组的创建、加入及信息的收发;\n"
        "    (5) 支持几十种信息编码格式信息(比如：Unocode、UFT8、GBK、...)的收发;\n"
        "    (6) 支持一次创建多个客户端、服务端，可用于对服务器进行压力测试。\n"
        "本程序运行于 Linux，以及其他能运行 Qt 6 的系统。\n"
        "\n");
}
