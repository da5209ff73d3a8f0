#include "pages/tcp/tcp_client_entry.h"

#include <new>

#include "net/connection_stream.h"
#include "net/crit_sec.h"
#include "net/tls_stream.h"
#include "pages/core/ansi_text.h"
#include "pages/core/endpoint_text.h"
#include "pages/tcp/tcp_page_base.h"
#include "skin/tree_ctrl_ex.h"

QString ClientEntryLabel(const ConnectInfo& record, SOCKET sock) {
    const QString remote = FromAnsi(EndpointText(record.serverAddr)) +
                           (record.tls ? QStringLiteral(" (TLS)") : QString());
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

bool PrepareClientStream(const ConnectInfo& record, SOCKET sock) {
    if (!record.tls)
        return true;
    const std::shared_ptr<TlsContext> context = ClientTlsContext();
    if (!context)
        return false;
    try {
        AttachStream(sock, TlsStream::ForClient(sock, context, record.hostName, record.tlsVerify));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}
