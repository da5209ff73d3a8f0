#include "pages/tools/all_entries.h"

#include <QAction>
#include <QMenu>
#include <QPlainTextEdit>
#include <optional>
#include <string>
#include <vector>

#include "net/crit_sec.h"
#include "pages/core/dialog_p.h"
#include "pages/send/typed_text.h"
#include "pages/tcp/tcp_page_base.h"
#include "pages/udp/udp_page_base.h"
#include "platform/message_box.h"
#include "skin/tree_ctrl_ex.h"

void AddAllEntriesMenu(CDialogP& page, AllEntriesCommands commands, std::function<bool()> busy) {
    page.AddTreeMenuFiller([&page, commands = std::move(commands), busy = std::move(busy)](
                               QMenu& menu, HTREEITEM item) {
        if (!page.Records().IsHostNode(item))
            return;
        const bool enabled = !(busy && busy());
        if (commands.connecting && commands.connecting() && commands.stopConnects)
            menu.addAction(QStringLiteral("停止全部连接"), &page, commands.stopConnects);
        const std::pair<QString, const std::function<void()>*> items[] = {
            {QStringLiteral("全部连接"), &commands.connectAll},
            {QStringLiteral("全部断开"), &commands.disconnectAll},
            {QStringLiteral("全部删除"), &commands.deleteAll},
            {QStringLiteral("发送给全部"), &commands.sendToAll},
        };
        for (const auto& [text, command] : items) {
            if (*command)
                menu.addAction(text, &page, *command)->setEnabled(enabled);
        }
    });
}

void DeleteAllEntries(CDialogP& page, ConnectMap& records, RecordTree::KeyOf keyOf) {
    const auto host = page.GetHostNode();
    if (!host)
        return;
    {
        // Held throughout, so that no receive thread finds a record meanwhile.
        UiCritSecGuard lock(g_connectLock);
        std::vector<HTREEITEM> entries;
        page.Records().ForEachRecord(
            [&](HTREEITEM entry, ConnectInfo&) { entries.push_back(entry); });
        for (HTREEITEM entry : entries) page.Records().DeleteEntry(entry, records, keyOf);
    }
    page.Tree()->SelectItem(host->item);
    page.ShowEntry(host->item);
}

void SendToAllEntries(CDialogP& page, const std::function<bool(const ConnectInfo&)>& canTake) {
    const QString typed = page.SendBox() ? page.SendBox()->toPlainText() : QString();
    const std::optional<std::string> bytes = TypedTextToWire(typed);
    if (!bytes || bytes->empty())
        return;  // nothing to send, as with Send
    std::vector<ConnectInfo*> takers;
    {
        UiCritSecGuard lock(g_connectLock);
        page.Records().ForEachRecord([&](HTREEITEM, ConnectInfo& record) {
            if (canTake(record))
                takers.push_back(&record);
        });
    }
    if (takers.empty()) {
        ShowMessageBox(&page, QStringLiteral("没有可以接收的对象！"), QStringLiteral("提示"));
        return;
    }
    // No event runs between these sends unless one fails (its message box), and then the
    // run stops: no record goes meanwhile.
    for (ConnectInfo* record : takers) {
        if (!page.SendBytes(record, *bytes, typed))
            break;
    }
}

namespace {

ConnectKey TcpKeyOf(const ConnectInfo& record) {
    return record.id;
}

ConnectKey UdpKeyOf(const ConnectInfo& record) {
    return UdpKey(record.clientAddr);
}

bool HasOpenSocket(const ConnectInfo& record) {
    return record.sock != INVALID_SOCKET;
}

void DisconnectAllEntries(CTcpPage& page) {
    {
        UiCritSecGuard lock(g_connectLock);
        page.Records().ForEachRecord([&](HTREEITEM entry, ConnectInfo& record) {
            if (record.sock == INVALID_SOCKET)
                return;
            // The receive thread wakes with an error and reports the close.
            page.SendQueue().Forget(&record);
            closesocket(record.sock);
            record.sock = INVALID_SOCKET;
            page.Records().SetImage(entry, kImageEntryClosed);
        });
    }
    page.ShowEntry(page.Records().Selected());
}

}  // namespace

void AddTcpAllEntriesMenu(CTcpPage& page, std::function<void()> connectAll,
                          std::function<void()> stopConnects, std::function<bool()> busy,
                          std::function<bool()> connecting) {
    const auto stop = [stopConnects] {
        if (stopConnects)
            stopConnects();
    };
    AddAllEntriesMenu(
        page,
        {std::move(connectAll),
         [&page, stop] {
             stop();
             DisconnectAllEntries(page);
         },
         [&page, stop] {
             stop();
             DeleteAllEntries(page, page.Engine().Connections(), TcpKeyOf);
         },
         [&page] { SendToAllEntries(page, HasOpenSocket); }, stop, std::move(connecting)},
        std::move(busy));
}

void AddUdpAllEntriesMenu(CUdpPage& page, std::function<bool(const ConnectInfo&)> canTake) {
    AddAllEntriesMenu(page,
                      {{},
                       {},
                       [&page] { DeleteAllEntries(page, page.Engine().Peers(), UdpKeyOf); },
                       [&page, canTake = std::move(canTake)] { SendToAllEntries(page, canTake); },
                       {},
                       {}});
}
