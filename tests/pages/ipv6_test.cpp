// IPv4 and IPv6 side by side on the pages: one server page serving peers of both families
// and answering each on its own (TCP and UDP), a TCP client entry to [::1], a server page
// whose port is held for IPv6 by someone else (IPv4 only, and why), and, inside a private
// network namespace of the test's own, a machine with IPv6 switched off.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

#include "pages/dialogs/dlg_set_ip.h"
#include "pages/dialogs/set_udp_server_ip.h"
#include "pages/tcp_client_page.h"
#include "pages/udp_client_page.h"
#include "tests/pages/page_test_support.h"
#include "tests/pages/tree_menu.h"
#include "tests/pages/udp_page_test_support.h"
#include "tests/support/private_network.h"

namespace {

// A socket of the test on [::1] (port 0: the kernel's pick); -1 where this machine has no
// IPv6 loopback.
int OpenOnIpv6Loopback(int type, std::uint16_t port = 0, bool ipv6Only = false) {
    const int fd = ::socket(AF_INET6, type, 0);
    if (fd < 0)
        return -1;
    int only = ipv6Only ? 1 : 0;
    ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof only);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(port);
    address.sin6_addr = ipv6Only ? in6addr_any : in6addr_loopback;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool HaveIpv6Loopback() {
    const int fd = OpenOnIpv6Loopback(SOCK_DGRAM);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

std::uint16_t PortOf(int fd) {
    sockaddr_in6 address{};
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin6_port);
}

// The TCP server page beside a TCP client page.
class Ipv6PagesTest : public TcpServerPageTest {
protected:
    void TearDown() override {
        client_.reset();
        TcpServerPageTest::TearDown();
    }
    void OpenClientPage() {
        client_ = std::make_unique<CTcpClientDlg>();
        client_->show();
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return !client_->Tree()->GetItemText(client_->Tree()->GetRootItem()).isEmpty(); },
            kWaitMs));
    }
    void Press(int id) {
        auto* button = FindControlAs<CSkinBtn>(client_.get(), id);
        QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, button->rect().center());
    }
    // Create on the client page with the address dialog answered; the new entry is selected.
    HTREEITEM CreateEntry(const QString& address, std::uint16_t port) {
        ModalAnswer answer(ModalAnswer::TypeInto(CDlgSetIp::kAddressFieldId, address)
                               .TypeInto(CDlgSetIp::kPortFieldId, QString::number(port)));
        Press(CTcpClientDlg::kIds.create);
        EXPECT_TRUE(answer.Answered());
        return client_->Tree()->GetSelectedItem();
    }
    void PressConnect() {
        Press(CTcpClientDlg::kConnectId);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !client_->ConnectPending(); }, kWaitMs));
    }
    // Shows `entry` on the server page, types `text` and presses Send.
    void Answer(HTREEITEM entry, const QString& text) {
        ClickItem(entry);
        TypeIntoSendBox(text);
        Click(CTcpServerDlg::kSendId);
    }

    std::unique_ptr<CTcpClientDlg> client_;
};

TEST_F(Ipv6PagesTest, OneServerServesBothFamiliesAndAClientEntryReachesIpv6Loopback) {
    if (!HaveIpv6Loopback())
        GTEST_SKIP() << "this machine has no IPv6 loopback";
    const std::uint16_t port = CreateServer();
    EXPECT_TRUE(page_->HostNodeNote().startsWith(QStringLiteral("IPv6 地址：")))
        << page_->HostNodeNote().toStdString();
    EXPECT_TRUE(page_->HostNodeNote().contains(QStringLiteral("::1")));

    // An IPv4 peer shows as IPv4 (never ::ffff:127.0.0.1), an IPv6 one in brackets; each is
    // heard and answered on its own family.
    LoopbackPeer four, six;
    const HTREEITEM fourEntry = ConnectPeer(four, port);
    ASSERT_TRUE(six.ConnectIpv6(port));
    const HTREEITEM sixEntry = WaitForEntries(2);
    ASSERT_NE(sixEntry, nullptr);
    EXPECT_EQ(tree_->GetItemText(fourEntry), QStringLiteral("127.0.0.1:%1").arg(four.LocalPort()));
    EXPECT_EQ(tree_->GetItemText(sixEntry), QStringLiteral("[::1]:%1").arg(six.LocalPort()));
    ASSERT_TRUE(four.Send("from four"));
    ASSERT_TRUE(six.Send("from six"));
    EXPECT_TRUE(WaitForReceived(fourEntry, "from four"));
    EXPECT_TRUE(WaitForReceived(sixEntry, "from six"));
    Answer(sixEntry, "to six");
    Answer(fourEntry, "to four");
    EXPECT_EQ(six.Receive(6), "to six");
    EXPECT_EQ(four.Receive(7), "to four");

    // A client entry to [::1] (brackets accepted) connects, shows both ends in brackets and
    // talks to the server page.
    OpenClientPage();
    const HTREEITEM entry = CreateEntry(QStringLiteral("[::1]"), port);
    EXPECT_EQ(client_->Tree()->GetItemText(entry), QStringLiteral("[::1]:%1").arg(port));
    PressConnect();
    const HTREEITEM served = WaitForEntries(3);
    ASSERT_NE(served, nullptr);
    const QString servedLabel = tree_->GetItemText(served);
    EXPECT_TRUE(servedLabel.startsWith(QStringLiteral("[::1]:")));
    EXPECT_EQ(client_->Tree()->GetItemText(entry),
              servedLabel + QStringLiteral("<->[::1]:%1").arg(port));
    client_->SendBox()->setPlainText(QStringLiteral("from the client"));
    client_->OnSend();
    EXPECT_TRUE(WaitForReceived(served, "from the client"));
    // One Create with a count makes that many IPv6 entries, and they all connect.
    {
        ModalAnswer answer(ModalAnswer::TypeInto(CDlgSetIp::kAddressFieldId, "::1")
                               .TypeInto(CDlgSetIp::kPortFieldId, QString::number(port))
                               .TypeInto(CDlgSetIp::kCountFieldId, "20"));
        Press(CTcpClientDlg::kIds.create);
        EXPECT_TRUE(answer.Answered());
    }
    ASSERT_TRUE(ChooseInTreeMenu(client_->Tree(), client_->Tree()->GetRootItem(),
                                 QStringLiteral("全部连接")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Entries().size() == 23; }, kWaitMs));
    EXPECT_TRUE(tree_->GetItemText(Entries().back()).startsWith(QStringLiteral("[::1]:")));

    // A port whose IPv6 side someone else holds: the server listens on IPv4 alone and its
    // host node says why.
    ClickItem(Host());
    Click(CTcpServerDlg::kStopListeningId);
    ASSERT_EQ(Image(Host()), kImageHostIdle);
    const int holder = OpenOnIpv6Loopback(SOCK_STREAM, 0, true);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::listen(holder, 1), 0);
    const std::uint16_t held = PortOf(holder);
    CreateServer(held);
    EXPECT_EQ(Image(Host()), kImageHostOpen);
    EXPECT_EQ(page_->HostNodeNote(),
              QStringLiteral("仅 IPv4，IPv6 不可用：端口已被占用：另一个套接字正在使用这个端口。"));
    LoopbackPeer late;
    ASSERT_NE(ConnectPeer(late, held), nullptr);
    ::close(holder);
}

TEST_F(Ipv6PagesTest, WithIpv6SwitchedOffIpv4WorksAndIpv6SaysWhyInAPrivateNetwork) {
    if (!InsidePrivateNetwork()) {
        RunCurrentTestInPrivateNetwork();
        return;
    }
    SetUpPrivateNetwork();
    if (std::system("sysctl -qw net.ipv6.conf.all.disable_ipv6=1 "
                    "net.ipv6.conf.default.disable_ipv6=1 net.ipv6.conf.lo.disable_ipv6=1 "
                    "net.ipv6.conf.v0.disable_ipv6=1 net.ipv6.conf.v1.disable_ipv6=1") != 0) {
        std::fprintf(stderr, "IPv6 could not be switched off here (sysctl): skipped\n");
        std::_Exit(private_network::kNoNamespace);
    }
    const std::uint16_t port = CreateServer();
    EXPECT_EQ(page_->HostNodeNote(),
              QStringLiteral("仅 IPv4，IPv6 不可用：本机没有可用的 IPv6 地址（IPv6 未启用）。"));
    LoopbackPeer four;
    const HTREEITEM entry = ConnectPeer(four, port);
    ASSERT_NE(entry, nullptr);
    ASSERT_TRUE(four.Send("still here"));
    EXPECT_TRUE(WaitForReceived(entry, "still here"));

    // A client entry to ::1 is refused at once, with the reason.
    OpenClientPage();
    const HTREEITEM six = CreateEntry(QStringLiteral("::1"), port);
    ModalAnswer failure;
    PressConnect();
    EXPECT_TRUE(failure.WaitAnswered());
    EXPECT_EQ(failure.Text(),
              QStringLiteral("客户端连接失败!\n本机没有可用的 IPv6 地址（IPv6 未启用）。"));
    EXPECT_EQ(client_->Tree()->GetItemText(six), QStringLiteral("[::1]:%1").arg(port));
}

using Ipv6UdpServerTest = UdpPageTest<CUdpServerDlg>;

TEST_F(Ipv6UdpServerTest, HearsBothFamiliesAndAnswersEach) {
    if (!HaveIpv6Loopback())
        GTEST_SKIP() << "this machine has no IPv6 loopback";
    const std::uint16_t port = CreateUdpServer(*page_);
    UdpPeer four;
    const int six = OpenOnIpv6Loopback(SOCK_DGRAM);
    ASSERT_GE(six, 0);
    ASSERT_TRUE(four.SendTo(port, "from four"));
    const HTREEITEM fourEntry = WaitForEntries(1);
    sockaddr_in6 server{};
    server.sin6_family = AF_INET6;
    server.sin6_port = htons(port);
    server.sin6_addr = in6addr_loopback;
    ASSERT_EQ(::sendto(six, "from six", 8, 0, reinterpret_cast<sockaddr*>(&server), sizeof server),
              8);
    const HTREEITEM sixEntry = WaitForEntries(2);
    ASSERT_NE(sixEntry, nullptr);
    EXPECT_EQ(tree_->GetItemText(fourEntry), QStringLiteral("127.0.0.1:%1").arg(four.Port()));
    EXPECT_EQ(tree_->GetItemText(sixEntry), QStringLiteral("[::1]:%1").arg(PortOf(six)));
    EXPECT_TRUE(WaitForReceived(sixEntry, "from six"));

    // Each answer goes back on the family its sender used.
    ClickItem(sixEntry);
    TypeIntoSendBox("to six");
    Click(CUdpServerDlg::kIds.send);
    ClickItem(fourEntry);
    TypeIntoSendBox("to four");
    Click(CUdpServerDlg::kIds.send);
    const auto answered = four.Receive();
    ASSERT_TRUE(answered.has_value());
    EXPECT_EQ(answered->bytes, "to four");
    pollfd wait{six, POLLIN, 0};
    ASSERT_EQ(::poll(&wait, 1, kWaitMs), 1);
    char buffer[16] = {};
    EXPECT_EQ(::recv(six, buffer, sizeof buffer, 0), 6);
    EXPECT_EQ(std::string(buffer), "to six");
    ::close(six);
}

using Ipv6UdpClientTest = UdpPageTest<CUdpClientDlg>;

TEST_F(Ipv6UdpClientTest, AnEndpointOnIpv6LoopbackSendsAndHearsItsPeer) {
    if (!HaveIpv6Loopback())
        GTEST_SKIP() << "this machine has no IPv6 loopback";
    const int peer = OpenOnIpv6Loopback(SOCK_DGRAM);
    ASSERT_GE(peer, 0);
    const std::uint16_t local = FreeUdpPort();
    {
        ModalAnswer answer(
            ModalAnswer::TypeInto(CSetUdpServerIp::kAddressFieldId, "[::1]")
                .TypeInto(CSetUdpServerIp::kRemotePortFieldId, QString::number(PortOf(peer)))
                .TypeInto(CSetUdpServerIp::kLocalPortFieldId, QString::number(local)));
        Click(CUdpClientDlg::kIds.create);
        ASSERT_TRUE(answer.Answered());
    }
    const HTREEITEM entry = WaitForEntries(1);
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(tree_->GetItemText(entry).endsWith(QStringLiteral("<->[::1]:%1").arg(PortOf(peer))))
        << tree_->GetItemText(entry).toStdString();

    ClickItem(entry);
    TypeIntoSendBox("to the peer");
    Click(CUdpClientDlg::kIds.send);
    pollfd wait{peer, POLLIN, 0};
    ASSERT_EQ(::poll(&wait, 1, kWaitMs), 1);
    char buffer[32] = {};
    sockaddr_in6 from{};
    socklen_t length = sizeof from;
    ASSERT_EQ(
        ::recvfrom(peer, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length),
        11);
    EXPECT_EQ(std::string(buffer), "to the peer");
    EXPECT_EQ(ntohs(from.sin6_port), local);
    ASSERT_EQ(::sendto(peer, "back", 4, 0, reinterpret_cast<sockaddr*>(&from), length), 4);
    EXPECT_TRUE(WaitForReceived(entry, "back"));
    ::close(peer);
}

}  // namespace
