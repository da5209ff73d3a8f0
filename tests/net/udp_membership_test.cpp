// Broadcast and multicast between engine sockets. Nothing may leave the machine, so the test
// runs itself again inside a private network namespace of its own (loopback with a multicast
// route, and a veth pair for broadcast, whose addresses exist only there).
#include "net/udp_membership.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "net/udp_engine.h"
#include "tests/net/test_addresses.h"
#include "tests/net/test_page.h"
#include "tests/support/private_network.h"

namespace {

using namespace std::chrono_literals;

in_addr Ip(const char* dotted) {
    return AddressOf(dotted, 0).sin_addr;
}

// The notices' received text, each record's last.
bool HeardText(const TestPage& page, const std::u16string& text) {
    for (const Notice& notice : page.notices) {
        if (notice.message == WM_CONNECT_DATA && notice.recvText.find(text) != std::u16string::npos)
            return true;
    }
    return false;
}

TEST(UdpMembershipTest, GroupsAndBroadcastsReachEngineSocketsInAPrivateNetwork) {
    // Refusals need no network: they come before any system call.
    EXPECT_TRUE(IsMulticastGroup(Ip("224.0.0.1")));
    EXPECT_TRUE(IsMulticastGroup(Ip("239.255.255.255")));
    EXPECT_FALSE(IsMulticastGroup(Ip("240.0.0.1")));
    EXPECT_FALSE(IsMulticastGroup(Ip("223.255.255.255")));
    EXPECT_EQ(MembershipErrorText(EINVAL),
              u"不是组播地址（224.0.0.0～239.255.255.255 或 ff00::/8）");
    if (!InsidePrivateNetwork()) {
        RunCurrentTestInPrivateNetwork();
        return;
    }
    SetUpPrivateNetwork();

    TestPage page;
    TestPage clientPage;
    UdpEngine engine;
    engine.SetNotifyWindow(page.Window());
    engine.SetClientNotifyWindow(clientPage.Window());
    const SOCKET server = engine.BindEndpoint(0);
    ASSERT_NE(server, INVALID_SOCKET);
    const std::uint16_t port = BoundPort(server);

    // The server page joins a group; a client aimed at the group sends to it.
    const in_addr group = Ip("239.1.2.3");
    EXPECT_EQ(JoinMulticastGroup(server, Ip("10.1.2.3")), EINVAL);
    ASSERT_EQ(JoinMulticastGroup(server, group), 0);
    EXPECT_EQ(JoinMulticastGroup(server, group), EADDRINUSE);
    auto* client = new ConnectInfo;
    client->sock = OpenSocket(SOCK_DGRAM);
    sockaddr_in bindAddress = AddressOf("127.0.0.1", 0);
    bindAddress.sin_addr = ClientBindAddress(bindAddress.sin_addr, group);
    EXPECT_EQ(bindAddress.sin_addr.s_addr, htonl(INADDR_ANY));
    ASSERT_EQ(BindSocket(client->sock, bindAddress), 0);
    ASSERT_EQ(AimClientSocket(client->sock, group), 0);
    GetSocketEndpoint(client->sock, client->clientAddr);
    client->serverAddr = EndpointOf("239.1.2.3", port);
    {
        UiCritSecGuard lock(g_connectLock);
        engine.Peers()[UdpKey(client->clientAddr)] = client;
    }
    ASSERT_TRUE(engine.StartClientReceiving(client));
    ASSERT_EQ(engine.SendDatagram(client->sock, "to the group", client->serverAddr, 12), 12);
    EXPECT_TRUE(page.PumpUntil([&] { return HeardText(page, u"to the group"); }, 10s));

    // What another member sends to the group reaches the client on its local port.
    const Endpoint clientGroup = EndpointOf("239.1.2.3", client->clientAddr.Port());
    ASSERT_EQ(engine.SendDatagram(server, "from a member", clientGroup, 13), 13);
    EXPECT_TRUE(clientPage.PumpUntil([&] { return HeardText(clientPage, u"from a member"); }, 10s));

    // Left: the server hears the group no more.
    ASSERT_EQ(LeaveMulticastGroup(server, group), 0);
    EXPECT_EQ(LeaveMulticastGroup(server, group), EADDRNOTAVAIL);
    ASSERT_EQ(engine.SendDatagram(client->sock, "after leaving", client->serverAddr, 13), 13);
    page.PumpFor(300ms);
    EXPECT_FALSE(HeardText(page, u"after leaving"));

    // A broadcast reaches the server bound to the any-address; without broadcast enabled the
    // system refuses the send.
    EXPECT_TRUE(IsBroadcastAddress(Ip("255.255.255.255")));
    EXPECT_TRUE(IsBroadcastAddress(Ip("192.0.2.255")));
    EXPECT_FALSE(IsBroadcastAddress(Ip("192.0.2.1")));
    const Endpoint everyone = EndpointOf("255.255.255.255", port);
    const SOCKET plain = OpenSocket(SOCK_DGRAM);
    EXPECT_EQ(engine.SendDatagram(plain, "x", everyone, 1), SOCKET_ERROR);
    EXPECT_EQ(errno, EACCES);
    const SOCKET broadcaster = OpenSocket(SOCK_DGRAM);
    ASSERT_EQ(AimClientSocket(broadcaster, everyone.ToSocketAddress().sin_addr), 0);
    ASSERT_EQ(engine.SendDatagram(broadcaster, "to everyone", everyone, 11), 11);
    EXPECT_TRUE(page.PumpUntil([&] { return HeardText(page, u"to everyone"); }, 10s));

    closesocket(plain);
    closesocket(broadcaster);
    engine.CloseEndpoint(server);
    std::vector<std::pair<ConnectKey, ConnectInfo*>> records;
    {
        UiCritSecGuard lock(g_connectLock);
        records.assign(engine.Peers().begin(), engine.Peers().end());
    }
    for (auto [key, record] : records) DeleteRecord(engine.Peers(), key, record);
}

}  // namespace
