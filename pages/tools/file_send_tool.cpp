#include "pages/tools/file_send_tool.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMenu>

#include "pages/core/dialog_p.h"
#include "pages/dialogs/file_dialogs.h"
#include "pages/send/file_source.h"
#include "platform/message_box.h"

namespace {

void Tell(CDialogP& page, const QString& text) {
    ShowMessageBox(&page, text, QCoreApplication::translate("FileSendTool", "提示"));
}

QString EmptyFileText() {
    return QCoreApplication::translate("FileSendTool", "文件是空的，没有可发送的内容。");
}

}  // namespace

FileSendTool::FileSendTool(CDialogP& page) : QObject(&page), page_(page) {
    page_.AddTool(*this);
}

void FileSendTool::FillSendBoxMenu(QMenu& menu) {
    connect(menu.addAction(QCoreApplication::translate("FileSendTool", "发送文件…")),
            &QAction::triggered, this, &FileSendTool::OnCommand);
}

QString FileSendTool::ChooseFile() {
    if (chooser_)
        return chooser_();
    return ChooseFileToOpen(&page_, QCoreApplication::translate("FileSendTool", "发送文件"));
}

void FileSendTool::OnCommand() {
    const ConnectInfo* shown = page_.Views().ShownRecord();
    if (!page_.Records().StillListed(shown)) {
        ShowMessageBox(&page_, QCoreApplication::translate("FileSendTool", "请选择接收端！"),
                       QCoreApplication::translate("FileSendTool", "提示!"));
        return;
    }
    if (!page_.CanSendTo(shown))
        return;
    const QString path = ChooseFile();
    // The dialog's loop ran the page: the entry may have gone meanwhile.
    ConnectInfo* record = page_.Records().StillListed(shown);
    if (path.isEmpty() || !record)
        return;
    QString error;
    Outgoing message;
    message.origin = SendOrigin::File;
    message.file = FileSource::Open(path, &error);
    if (message.file && !page_.SendsStream()) {
        // One datagram: read whole now, so that a file too large is refused before anything.
        std::optional<std::string> bytes = ReadDatagram(*message.file, &error);
        if (!bytes)
            message.file = nullptr;
        else
            message.bytes = std::move(*bytes);
    }
    if (!message.file) {
        Tell(page_, error);
        return;
    }
    // An empty datagram would end the peer's reception; an empty stream sends nothing.
    if (message.file->Size() == 0 || (!page_.SendsStream() && message.bytes.empty())) {
        Tell(page_, EmptyFileText());
        return;
    }
    // The connection may have closed while the dialog was up.
    if (!page_.CanSendTo(record))
        return;
    page_.Send(record, std::move(message));
}
