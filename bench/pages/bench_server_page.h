// Starting a TCP server page in a benchmark the way a user does: Create, with the port dialog
// answered.
#pragma once

#include <cstdint>

#include "pages/dialogs/set_listen_dlg.h"
#include "pages/tcp_server_page.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/modal_helper.h"

// Creates `page`'s server on a free port of 127.0.0.1; returns the port.
inline std::uint16_t StartServerOnFreePort(CTcpServerDlg& page) {
    const std::uint16_t port = FreeLoopbackPort();
    ModalAnswer answer(ModalAnswer::TypeInto(CSetListenDlg::kPortFieldId, QString::number(port)));
    page.OnCreate();
    return port;
}
