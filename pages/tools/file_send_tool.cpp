#include "pages/tools/file_send_tool.h"

#include <QFileInfo>
#include <QMenu>

#include "net/crit_sec.h"
#include "pages/core/dialog_p.h"
#include "pages/dialogs/file_dialogs.h"
#include "pages/send/file_source.h"
#include "pages/tcp/tcp_page_base.h"
#include "platform/message_box.h"

namespace {

void Tell(CDialogP& page, const QString& text) {
    ShowMessageBox(&page, text, QStringLiteral("提示"));
}

const QString kEmptyFile = QStringLiteral("文件是空的，没有可发送的内容。");

}  // namespace

FileSendTool::FileSendTool(CDialogP& page) : QObject(&page), page_(page) {
    page_.AddSendBoxMenuFiller([this](QMenu& menu) {
        connect(menu.addAction(QStringLiteral("发送文件…")), &QAction::triggered, this,
                &FileSendTool::OnCommand);
    });
}

QString FileSendTool::ChooseFile() {
    if (chooser_)
        return chooser_();
    return ChooseFileToOpen(&page_, QStringLiteral("发送文件"));
}

void FileSendTool::OnCommand() {
    const ConnectInfo* shown = page_.Views().ShownRecord();
    if (!page_.Records().StillListed(shown)) {
        ShowMessageBox(&page_, QStringLiteral("请选择接收端！"), QStringLiteral("提示!"));
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

    auto* tcp = qobject_cast<CTcpPage*>(&page_);
    if (!tcp) {
        // One datagram: read whole, and logged as it went, with the file's line after it.
        const std::optional<std::string> bytes = ReadDatagramFile(path, &error);
        if (!bytes) {
            Tell(page_, error);
            return;
        }
        if (bytes->empty()) {  // an empty datagram would end the peer's reception
            Tell(page_, kEmptyFile);
            return;
        }
        const std::uint64_t size = bytes->size();
        if (page_.SendBytes(record, *bytes)) {
            record->sendLog.AppendNote(FileSentNote(path, size).toStdU16String());
            page_.Views().SentLogChanged(*record);
        }
        return;
    }

    TcpSendQueue::Message message;
    message.file = FileSource::Open(path, &error);
    if (!message.file) {
        Tell(page_, error);
        return;
    }
    if (message.file->Size() == 0) {
        Tell(page_, kEmptyFile);
        return;
    }
    SOCKET sock = INVALID_SOCKET;
    {
        UiCritSecGuard lock(g_connectLock);
        sock = record->sock;
    }
    if (sock == INVALID_SOCKET) {
        ShowMessageBox(&page_, QStringLiteral("未建立链接！"), QStringLiteral("提示!"));
        return;
    }
    const QString started = QStringLiteral("（正在发送文件 %1，共 %2 字节）")
                                .arg(QFileInfo(path).fileName())
                                .arg(message.file->Size());
    // Noted first: a small file may be reported gone before the queue call returns.
    record->sendLog.AppendNote(started.toStdU16String());
    page_.Views().SentLogChanged(*record);
    // Written by the connection's sender thread as the peer takes it; logged when gone.
    if (!tcp->SendQueue().QueueWithoutWaiting(record, sock, std::move(message))) {
        Tell(page_, QStringLiteral("系统无法启动发送线程，请稍后再试。文件没有发出。"));
        return;
    }
    tcp->FollowWaiting(*record);
}
