#include "pages/page_snapshot.h"

#include <arpa/inet.h>

#include <QAction>
#include <QCoreApplication>

#include "net/crit_sec.h"
#include "pages/core/endpoint_text.h"
#include "pages/tcp/tls_server_option.h"
#include "pages/tcp_client_page.h"
#include "pages/tcp_server_page.h"
#include "pages/tools/all_entries.h"
#include "pages/tools/echo_tool.h"
#include "pages/tools/hex_tools.h"
#include "pages/tools/reply_rules_tool.h"
#include "pages/udp_client_page.h"
#include "pages/udp_server_page.h"
#include "platform/message_box.h"
#include "skin/tree_ctrl_ex.h"

namespace {

ConnectKey TcpKeyOf(const ConnectInfo& record) {
    return record.id;
}
ConnectKey UdpKeyOf(const ConnectInfo& record) {
    return UdpKey(record.clientAddr);
}

Endpoint WithPort(const Endpoint& address, int port) {
    return address.WithPort(static_cast<std::uint16_t>(port));
}

QString EndpointLabel(const Endpoint& address, int port) {
    return QString::fromStdString(WithPort(address, port).Text());
}

// Runs one of the page's commands; what its message boxes would have said, or empty.
QString Attempt(const std::function<void()>& step) {
    QStringList said;
    {
        const MessageBoxCatcher catcher([&said](const QString& text, const QString&) {
            // One line per item: a reason on a line of its own follows a comma.
            said << text.trimmed().replace(QLatin1Char('\n'),
                                           QCoreApplication::translate("PageSnapshot", "，"));
        });
        step();
    }
    return said.join(QCoreApplication::translate("PageSnapshot", "；"));
}

QAction* HexSwitch(CDialogP& page, const char* name) {
    return page.findChild<QAction*>(QLatin1String(name), Qt::FindDirectChildrenOnly);
}

void DescribeSwitches(CDialogP& page, PageSnapshot& snapshot) {
    const std::pair<const char*, bool*> switches[] = {{kHexReceivedSwitch, &snapshot.hexReceived},
                                                      {kHexSentSwitch, &snapshot.hexSent},
                                                      {kHexSendSwitch, &snapshot.hexSend}};
    for (const auto& [name, on] : switches) {
        if (const QAction* action = HexSwitch(page, name))
            *on = action->isChecked();
    }
    if (const auto* echo = page.findChild<EchoTool*>())
        snapshot.echo = echo->IsOn();
    if (const auto* rules = page.findChild<ReplyRulesTool*>()) {
        if (!rules->RuleSet().rules.empty())
            snapshot.rules = ReplyRulesToJson(rules->RuleSet());
    }
}

void RebuildSwitches(CDialogP& page, const PageSnapshot& snapshot) {
    const std::pair<const char*, bool> switches[] = {{kHexReceivedSwitch, snapshot.hexReceived},
                                                     {kHexSentSwitch, snapshot.hexSent},
                                                     {kHexSendSwitch, snapshot.hexSend}};
    // Set through the switches themselves: the menus show them and the settings keep them.
    for (const auto& [name, on] : switches) {
        if (QAction* action = HexSwitch(page, name))
            action->setChecked(on);
    }
    if (auto* echo = page.findChild<EchoTool*>())
        echo->SetOn(snapshot.echo);
    if (auto* rules = page.findChild<ReplyRulesTool*>())
        rules->SetRuleSet(ReplyRulesFromJson(snapshot.rules));
}

void RebuildServer(CDialogP& page, ServerHost& server, const PageSnapshot& snapshot,
                   RebuildReport& report) {
    if (snapshot.serverPort < 1)
        return;
    const QString item = QCoreApplication::translate("PageSnapshot", "%1 端口 %2")
                             .arg(PageKindName(page))
                             .arg(snapshot.serverPort);
    if (!snapshot.listening) {
        server.ChoosePort(snapshot.serverPort);
        return;
    }
    const QString said = Attempt([&] { server.StartOnPort(snapshot.serverPort); });
    if (!server.IsOpen())
        report.Failed(
            item, said.isEmpty() ? QCoreApplication::translate("PageSnapshot", "无法启动") : said);
}

}  // namespace

QString PageKindName(const CDialogP& page) {
    if (qobject_cast<const CTcpServerDlg*>(&page))
        return QStringLiteral("tcp-server");
    if (qobject_cast<const CTcpClientDlg*>(&page))
        return QStringLiteral("tcp-client");
    if (qobject_cast<const CUdpServerDlg*>(&page))
        return QStringLiteral("udp-server");
    return QStringLiteral("udp-client");
}

PageSnapshot DescribePage(CDialogP& page) {
    PageSnapshot snapshot;
    DescribeSwitches(page, snapshot);
    ServerHost* server = nullptr;
    if (auto* tcpServer = qobject_cast<CTcpServerDlg*>(&page))
        server = &tcpServer->Server();
    if (auto* udpServer = qobject_cast<CUdpServerDlg*>(&page)) {
        server = &udpServer->Server();
        snapshot.groups = udpServer->Groups().Joined();
    }
    if (server) {
        snapshot.serverPort = server->Port();
        snapshot.listening = server->IsOpen();
    }
    if (auto* tcpServer = qobject_cast<CTcpServerDlg*>(&page)) {
        snapshot.tls = tcpServer->Tls().IsOn();
        snapshot.certificate = tcpServer->Tls().ChainPath();
        snapshot.key = tcpServer->Tls().KeyPath();
    }
    UiCritSecGuard lock(g_connectLock);
    if (qobject_cast<CTcpClientDlg*>(&page)) {
        page.Records().ForEachRecord([&](HTREEITEM, ConnectInfo& record) {
            snapshot.tcpClients.push_back({record.serverAddr.WithPort(0), record.serverAddr.Port(),
                                           record.sock != INVALID_SOCKET, record.tls,
                                           record.tlsVerify,
                                           record.tls ? record.hostName : std::string()});
        });
    }
    if (qobject_cast<CUdpClientDlg*>(&page)) {
        page.Records().ForEachRecord([&](HTREEITEM, ConnectInfo& record) {
            snapshot.udpClients.push_back({record.serverAddr.WithPort(0), record.serverAddr.Port(),
                                           record.clientAddr.Port(), record.multicastTtl});
        });
    }
    return snapshot;
}

void ClearPage(CDialogP& page) {
    if (auto* tcpServer = qobject_cast<CTcpServerDlg*>(&page)) {
        tcpServer->Server().Stop();
        tcpServer->Server().ChoosePort(0);
        DeleteAllEntries(page, tcpServer->Engine().Connections(), TcpKeyOf);
    } else if (auto* tcpClient = qobject_cast<CTcpClientDlg*>(&page)) {
        tcpClient->Batch().CancelAll();
        DeleteAllEntries(page, tcpClient->Engine().Connections(), TcpKeyOf);
    } else if (auto* udpServer = qobject_cast<CUdpServerDlg*>(&page)) {
        udpServer->Groups().LeaveAll();
        udpServer->Server().Stop();
        udpServer->Server().ChoosePort(0);
        DeleteAllEntries(page, udpServer->Engine().Peers(), UdpKeyOf);
    } else if (auto* udpClient = qobject_cast<CUdpClientDlg*>(&page)) {
        DeleteAllEntries(page, udpClient->Engine().Peers(), UdpKeyOf);
    }
    if (auto* echo = page.findChild<EchoTool*>())
        echo->SetOn(false);
    if (auto* tcpServer = qobject_cast<CTcpServerDlg*>(&page))
        tcpServer->Tls().SetOn(false);
}

void RebuildPage(CDialogP& page, const PageSnapshot& snapshot,
                 const std::shared_ptr<RebuildReport>& report) {
    RebuildSwitches(page, snapshot);
    const QString kind = PageKindName(page);
    if (auto* tcpServer = qobject_cast<CTcpServerDlg*>(&page)) {
        // Before the server starts: it listens as the session says.
        tcpServer->Tls().UseCertificateFiles(snapshot.certificate, snapshot.key);
        tcpServer->Tls().SetOn(snapshot.tls);
        RebuildServer(page, tcpServer->Server(), snapshot, *report);
    } else if (auto* udpServer = qobject_cast<CUdpServerDlg*>(&page)) {
        RebuildServer(page, udpServer->Server(), snapshot, *report);
        for (const Endpoint& group : snapshot.groups) {
            bool joined = false;
            const QString said = Attempt([&] { joined = udpServer->Groups().Join(group); });
            if (!joined) {
                report->Failed(QCoreApplication::translate("PageSnapshot", "%1 组播组 %2")
                                   .arg(kind, QString::fromStdString(group.AddressText())),
                               said);
            }
        }
    } else if (auto* tcpClient = qobject_cast<CTcpClientDlg*>(&page)) {
        for (const TcpClientEntrySetup& entry : snapshot.tcpClients) {
            const QString item =
                QStringLiteral("%1 %2").arg(kind, EndpointLabel(entry.address, entry.port));
            HTREEITEM made = nullptr;
            const QString said = Attempt([&] {
                made = tcpClient->AddEntries(WithPort(entry.address, entry.port), 1,
                                             {entry.tls, entry.verify, entry.host});
            });
            ConnectInfo* record = tcpClient->Records().RecordOf(made);
            if (!record) {
                report->Failed(item, said);
                continue;
            }
            if (!entry.connected)
                continue;
            report->Began();
            tcpClient->ConnectEntry(record, [report, item](bool connected) {
                if (!connected)
                    report->Failed(item, QCoreApplication::translate("PageSnapshot", "连接失败"));
                report->Ended();
            });
        }
    } else if (auto* udpClient = qobject_cast<CUdpClientDlg*>(&page)) {
        for (const UdpClientSetup& client : snapshot.udpClients) {
            HTREEITEM made = nullptr;
            const QString said = Attempt([&] {
                made = udpClient->AddClient(WithPort(client.address, client.remotePort),
                                            client.localPort, client.multicastTtl);
            });
            if (!made) {
                report->Failed(QCoreApplication::translate("PageSnapshot", "%1 %2（本地端口 %3）")
                                   .arg(kind, EndpointLabel(client.address, client.remotePort))
                                   .arg(client.localPort),
                               said);
            }
        }
    }
    // The host node shown, as after a start.
    if (const auto host = page.GetHostNode()) {
        page.Tree()->SelectItem(host->item);
        page.ShowEntry(host->item);
    }
}
