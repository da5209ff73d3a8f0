#include "pages/page_address.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <string>

#include "net/connect_info.h"
#include "platform/message_box.h"
#include "text/code_page.h"

namespace {
constexpr int kMaxAddressLength = 39;
constexpr std::uint16_t kUnusableAddressPort = 65535;

// The address `name` stands for, network order; INADDR_NONE when it stands for none.
in_addr_t AddressOfName(const std::string& name) {
    if (name.empty()) {
        // The system resolver takes an empty name for the local host.
        const std::string local = LocalAddressToOffer().toStdString();
        return local.empty() ? INADDR_NONE : inet_addr(local.c_str());
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) == 0 && found) {
        const in_addr_t first =
            reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
        freeaddrinfo(found);
        return first;
    }
    return inet_addr(name.c_str());  // INADDR_NONE when no dotted address either
}
}  // namespace

QString LocalAddressToOffer() {
    std::string address;
    GetLocalHostAddress(address);
    return QString::fromStdString(address);
}

sockaddr_in ReadRemoteAddress(const QString& typed, int port) {
    const QString text = typed.left(kMaxAddressLength);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_addr.s_addr = AddressOfName(WideToLocaleText(text.toStdU16String()));
    remote.sin_port = htons(static_cast<std::uint16_t>(port));
    if (remote.sin_addr.s_addr == INADDR_NONE) {
        AfxMessageBox(QStringLiteral("Ip 地址有错!"));
        remote.sin_port = htons(kUnusableAddressPort);
    }
    return remote;
}
