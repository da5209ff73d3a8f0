#include "pages/dlg_set_ip.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <QAbstractButton>
#include <QLineEdit>
#include <cstring>
#include <string>

#include "net/connect_info.h"
#include "pages/dialog_keys.h"
#include "pages/field_number.h"
#include "pages/page_colour.h"
#include "platform/dialog_template.h"
#include "platform/message_box.h"
#include "text/code_page.h"

namespace {
constexpr int kOkId = 1;
constexpr int kCancelId = 2;
constexpr int kMaxPort = 65535;
constexpr int kBadAddressPort = 65535;

// The first IPv4 address the system resolver gives for `name`, in network order.
bool ResolveFirstIpv4(const std::string& name, in_addr& out) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || !found)
        return false;
    out = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return true;
}

// The local host's first address as dotted text, or empty when the host name does not
// resolve.
std::string LocalHostAddressText() {
    std::string address;
    GetLocalHostAddress(address);
    return address;
}
}  // namespace

CDlgSetIp::CDlgSetIp(QWidget* parent, const QString& initialAddress, COLORREF background)
    : QDialog(parent), initialAddress_(initialAddress) {
    BuildDialogFromTemplate(this, kTemplateId);
    PaintWindowBackground(this, background);
    setModal(true);

    addressField_ = FindControlAs<QLineEdit>(this, kAddressFieldId);
    portField_ = FindControlAs<QLineEdit>(this, kPortFieldId);
    countField_ = FindControlAs<QLineEdit>(this, kCountFieldId);
    if (auto* ok = FindControlAs<QAbstractButton>(this, kOkId)) {
        connect(ok, &QAbstractButton::clicked, this, [this] { OnOK(); });
    }
    if (auto* cancel = FindControlAs<QAbstractButton>(this, kCancelId)) {
        connect(cancel, &QAbstractButton::clicked, this, &QDialog::reject);
    }
    FillFields();
}

void CDlgSetIp::FillFields() {
    QString address = initialAddress_;
    if (address.isEmpty()) {
        const std::string local = LocalHostAddressText();
        // Without a resolvable host name all three fields stay empty.
        if (local.empty())
            return;
        address = QString::fromStdString(local);
    }
    if (addressField_)
        addressField_->setText(address);
    if (portField_)
        portField_->setText(QStringLiteral("8888"));
    if (countField_)
        countField_->setText(QStringLiteral("1"));
}

void CDlgSetIp::OnOK() {
    port_ = portField_ ? ReadFieldNumber(portField_->text()) : 0;
    if (port_ > kMaxPort) {
        port_ = 0;
        ShowMessageBox(this, QStringLiteral("输入的端口号有错！"), QStringLiteral("提示"));
        return;
    }
    count_ = countField_ ? ReadFieldNumber(countField_->text()) : 0;

    const QString text = addressField_ ? addressField_->text().left(kMaxAddressLength) : QString();
    const std::string name = WideToAnsi(text.toStdU16String());

    in_addr address{};
    bool resolved = false;
    if (name.empty()) {
        // The system resolver takes an empty name for the local host.
        const std::string local = LocalHostAddressText();
        resolved = !local.empty() && inet_pton(AF_INET, local.c_str(), &address) == 1;
    } else {
        resolved = ResolveFirstIpv4(name, address);
    }
    if (!resolved)
        address.s_addr = inet_addr(name.c_str());  // INADDR_NONE when unparsable

    std::memset(&remoteAddress_, 0, sizeof remoteAddress_);
    remoteAddress_.sin_family = AF_INET;
    remoteAddress_.sin_addr = address;
    remoteAddress_.sin_port = htons(static_cast<uint16_t>(port_));
    if (address.s_addr == INADDR_NONE) {
        AfxMessageBox(QStringLiteral("Ip 地址有错!"));
        remoteAddress_.sin_port = htons(kBadAddressPort);
    }
    accept();
}

void CDlgSetIp::keyPressEvent(QKeyEvent* event) {
    if (IsPlainReturn(event)) {
        event->accept();
        // Return presses the focused button (取消 cancels); from a field it means OK.
        if (auto* button = qobject_cast<QAbstractButton*>(focusWidget()))
            button->click();
        else
            OnOK();
        return;
    }
    QDialog::keyPressEvent(event);
}
