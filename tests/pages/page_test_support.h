// Driving a TCP server page in a test: the steps of any page (page_fixture.h), plus creating
// the server with its port dialog answered and connecting loopback peers to it.
#pragma once

#include <cstdint>

#include "pages/dialogs/set_listen_dlg.h"
#include "pages/tcp_server_page.h"
#include "tests/pages/page_fixture.h"
#include "tests/support/loopback_peer.h"

class TcpServerPageTest : public PageTest<CTcpServerDlg> {
protected:
    // Create with the port dialog answered; the page starts listening on `port`.
    void CreateServer(std::uint16_t port) {
        ModalAnswer answer(
            ModalAnswer::TypeInto(CSetListenDlg::kPortFieldId, QString::number(port)));
        Click(CTcpServerDlg::kCreateId);
        ASSERT_TRUE(answer.Answered());
    }
    std::uint16_t CreateServer() {
        const std::uint16_t port = FreeLoopbackPort();
        CreateServer(port);
        return port;
    }

    // Connects a peer and waits for its entry.
    HTREEITEM ConnectPeer(LoopbackPeer& peer, std::uint16_t port) {
        const std::size_t before = Entries().size();
        EXPECT_TRUE(peer.Connect(port));
        return WaitForEntries(before + 1);
    }
    std::uint8_t Unread(HTREEITEM item) {
        UiCritSecGuard lock(g_connectLock);
        return Record(item)->unread;
    }
};
