// FileSendTool: the send box's "发送文件…" command of a page. The user picks a file, which
// goes through the page's door: on a stream (TCP) it is read chunk by chunk as the peer
// takes it, never whole, and the sent log gets one line when it has gone; on datagrams (UDP)
// a file of up to 65,507 bytes goes as one datagram and larger ones are refused. A file that
// cannot be read is refused with a message and nothing is sent.
//
// One per page, a child of the page. User-interface thread only.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

#include "pages/core/page_tool.h"

class CDialogP;
class QMenu;

class FileSendTool : public QObject, public PageTool {
    Q_OBJECT

public:
    // Adds the command to `page`'s send-box menu.
    explicit FileSendTool(CDialogP& page);

    // The command: picks a file and sends it to the shown entry.
    void OnCommand();

    // Answers the file dialog instead of the user (an empty path cancels).
    void SetFileChooserForTesting(std::function<QString()> chooser) {
        chooser_ = std::move(chooser);
    }

private:
    void FillSendBoxMenu(QMenu& menu) override;
    QString ChooseFile();

    CDialogP& page_;
    std::function<QString()> chooser_;
};
