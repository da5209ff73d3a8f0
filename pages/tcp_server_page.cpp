#include "pages/tcp_server_page.h"

#include <QCoreApplication>

#include "net/socket_error_text.h"
#include "pages/tcp/tls_server_option.h"
#include "pages/tools/all_entries.h"
#include "pages/tools/echo_tool.h"
#include "pages/tools/file_send_tool.h"
#include "pages/tools/reply_rules_tool.h"
#include "pages/tools/timed_send_tool.h"
#include "platform/message_box.h"

CTcpServerDlg::CTcpServerDlg(QWidget* parent)
    : CTcpPage(kTemplateId, parent),
      server_(*this, kPageColour,
              {[this](std::uint16_t port) { return Engine().StartListening(port, listenContext_); },
               [this](SOCKET s) { Engine().StopListening(s); },
               [this] { tls_->ServerChanged(server_.IsOpen(), listenContext_ != nullptr); },
               [this] { return Engine().Ipv6Error(); },
               [this] { return tls_->PrepareListening(listenContext_); }}) {
    const HWND window = BuildPage(kIds.tree, kPageColour, [this](const PageControls& controls) {
        return LayoutButtons(
            {{kSlot.create, kIds.create, kCreateBitmaps, [this] { OnCreate(); }},
             {kSlot.listen, kListenId, kListenBitmaps, [this] { OnListen(); }},
             {kSlot.stopListening, kStopListeningId, kStopListeningBitmaps,
              [this] { OnStopListening(); }},
             {kSlot.disconnect, kDisconnectId, kDisconnectBitmaps, [this] { OnDisconnect(); }},
             {kSlot.remove, kIds.remove, kDeleteBitmaps, [this] { OnDelete(); }}},
            (TreeClientWidth(controls) / 5 - 24) / 2, kIds);
    });
    // Accepted connections are announced to this page.
    Engine().SetNotifyWindow(window);
    tls_ = new TlsServerOption(*this, server_);
    AddTcpAllEntriesMenu(*this);
    new TimedSendTool(*this);
    new FileSendTool(*this);
    new ReplyRulesTool(*this, new EchoTool(*this));
}

// ---- commands ------------------------------------------------------------------------------

void CTcpServerDlg::OnCreate() {
    server_.Create();
}

void CTcpServerDlg::OnListen() {
    server_.Start();
}

void CTcpServerDlg::OnStopListening() {
    // Connections already accepted stay open and keep working.
    server_.Stop();
}

// ---- what the TCP page base asks of the page ---------------------------------------------

ButtonSet CTcpServerDlg::EnabledButtons() const {
    return TcpServerButtons(Shown(), server_.State());
}

LRESULT CTcpServerDlg::OnConnectNew(ConnectInfo* record) {
    // Inside the handler; the accept thread does not hold the lock.
    return server_.AddPeerEntry(record);
}

QString CTcpServerDlg::HostNodeNote() const {
    QStringList lines{server_.FamilyNote(), shortageNote_};
    lines.removeAll(QString());
    return lines.join(u'\n');
}

LRESULT CTcpServerDlg::OnPageMessage(UINT message, WPARAM, LPARAM) {
    if (message != WM_CONNECT_SHORTAGE)
        return 0;
    // From the event loop, without the lock.
    const TcpEngine::Shortage shortage = Engine().TakeShortage();
    const QString reason =
        QString::fromStdU16String(SocketErrorReason(SocketOperation::kAccept, shortage.error));
    QStringList lines;
    if (shortage.refused > 0)
        lines << QCoreApplication::translate("TcpServerPage", "%1 个连接未能接受：%2")
                     .arg(shortage.refused)
                     .arg(reason);
    if (shortage.backlogWaiting)
        lines << QCoreApplication::translate("TcpServerPage", "有连接在等待接受：%1").arg(reason);
    if (lines.isEmpty())
        return 1;
    shortageNote_ = lines.join(u'\n');
    if (!shortageTold_) {
        shortageTold_ = true;
        ShowMessageBox(this, shortageNote_, QCoreApplication::translate("TcpServerPage", "提示"));
    }
    return 1;
}
