#include "pages/tools/all_entries.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <optional>
#include <string>
#include <vector>

#include "net/crit_sec.h"
#include "pages/core/dialog_p.h"
#include "pages/tcp/tcp_page_base.h"
#include "pages/udp/udp_page_base.h"
#include "platform/message_box.h"
#include "skin/tree_ctrl_ex.h"

namespace {

// The host node's items, registered with the page as one of its tools.
class AllEntriesMenu : public QObject, public PageTool {
public:
    AllEntriesMenu(CDialogP& page, AllEntriesCommands commands, std::function<bool()> busy)
        : QObject(&page), page_(page), commands_(std::move(commands)), busy_(std::move(busy)) {
        page.AddTool(*this);
    }

    void FillTreeMenu(QMenu& menu, HTREEITEM item) override {
        if (!page_.Records().IsHostNode(item))
            return;
        const bool enabled = !(busy_ && busy_());
        if (commands_.connecting && commands_.connecting() && commands_.stopConnects)
            menu.addAction(QCoreApplication::translate("AllEntries", "停止全部连接"), &page_,
                           commands_.stopConnects);
        const std::pair<QString, const std::function<void()>*> items[] = {
            {QCoreApplication::translate("AllEntries", "全部连接"), &commands_.connectAll},
            {QCoreApplication::translate("AllEntries", "全部断开"), &commands_.disconnectAll},
            {QCoreApplication::translate("AllEntries", "全部删除"), &commands_.deleteAll},
            {QCoreApplication::translate("AllEntries", "发送给全部"), &commands_.sendToAll},
        };
        for (const auto& [text, command] : items) {
            if (*command)
                menu.addAction(text, &page_, *command)->setEnabled(enabled);
        }
    }

private:
    CDialogP& page_;
    AllEntriesCommands commands_;
    std::function<bool()> busy_;
};

}  // namespace

void AddAllEntriesMenu(CDialogP& page, AllEntriesCommands commands, std::function<bool()> busy) {
    new AllEntriesMenu(page, std::move(commands), std::move(busy));
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
    BoxMessage box = page.ReadBox();
    if (!box.refusal.isEmpty()) {
        ShowMessageBox(&page, box.refusal, QCoreApplication::translate("AllEntries", "提示"));
        return;
    }
    if (!box.bytes || box.bytes->empty())
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
        ShowMessageBox(&page, QCoreApplication::translate("AllEntries", "没有可以接收的对象！"),
                       QCoreApplication::translate("AllEntries", "提示"));
        return;
    }
    // Never waits: what a peer cannot take at once waits in its own queue. No event runs
    // between these sends unless one fails (its message box), and then the run stops: no
    // record goes meanwhile.
    for (ConnectInfo* record : takers) {
        Outgoing message = Outgoing::Bytes(SendOrigin::All, *box.bytes);
        message.fromBox = box.text;
        if (!page.Send(record, std::move(message)))
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

// What Disconnect does, entry by entry.
void DisconnectAllEntries(CTcpPage& page) {
    {
        UiCritSecGuard lock(g_connectLock);
        page.Records().ForEachRecord(
            [&](HTREEITEM, ConnectInfo& record) { page.Disconnect(record); });
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
