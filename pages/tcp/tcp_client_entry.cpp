#include "pages/tcp/tcp_client_entry.h"

#include "net/crit_sec.h"
#include "pages/core/ansi_text.h"
#include "pages/core/endpoint_text.h"
#include "pages/tcp/tcp_page_base.h"
#include "skin/tree_ctrl_ex.h"

QString ClientEntryLabel(const ConnectInfo& record, SOCKET sock) {
    const QString remote = FromAnsi(EndpointText(record.serverAddr));
    if (sock == INVALID_SOCKET)
        return remote;
    Endpoint local;
    GetSocketEndpoint(sock, local);
    return FromAnsi(EndpointText(local)) + QStringLiteral("<->") + remote;
}

void MarkClientConnected(CTcpPage& page, ConnectInfo& record, SOCKET sock) {
    {
        UiCritSecGuard lock(g_connectLock);
        record.knownSince = std::chrono::system_clock::now();
    }
    page.Tree()->SetItemText(record.treeItem, ClientEntryLabel(record, sock));
    page.Records().SetImage(record.treeItem, kImageEntryOpen);
}
