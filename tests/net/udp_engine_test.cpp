#include "net/udp_engine.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <netinet/ip.h>

#include <algorithm>
#include <cstdlib>
#include <future>
#include <string>
#include <vector>

#include "tests/net/test_addresses.h"
#include "tests/net/test_page.h"

namespace {

using namespace std::chrono_literals;

// A datagram socket of the test's own, bound to `dotted` and a free port.
SOCKET Sender(const char* dotted = "127.0.0.1") {
    const SOCKET s = OpenSocket(SOCK_DGRAM);
    EXPECT_EQ(BindSocket(s, AddressOf(dotted, 0)), 0);
    return s;
}

int SendTo(SOCKET s, const std::string& data, std::uint16_t port) {
    return SendToSocket(s, data.data(), static_cast<int>(data.size()),
                        AddressOf("127.0.0.1", port));
}

class UdpEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        PinLocalHostAddressForTesting("127.0.0.1");
        engine.SetNotifyWindow(page.Window());
        engine.SetClientNotifyWindow(clientPage.Window());
        baseDescriptors = OpenDescriptorCount();
        baseSockets = OpenSocketCount();
    }
    void TearDown() override {
        // The page's teardown: close the socket first, so no new peer appears meanwhile,
        // then free every record.
        if (server != INVALID_SOCKET)
            engine.CloseEndpoint(server);
        std::vector<std::pair<ConnectKey, ConnectInfo*>> records;
        {
            UiCritSecGuard lock(g_connectLock);
            records.assign(engine.Peers().begin(), engine.Peers().end());
        }
        for (auto [key, record] : records) DeleteRecord(engine.Peers(), key, record);
        EXPECT_TRUE(page.PumpUntil([&] { return OpenDescriptorCount() <= baseDescriptors; }))
            << OpenDescriptorCount() << " descriptors open, " << baseDescriptors << " before";
        EXPECT_EQ(OpenSocketCount(), baseSockets);
        PinLocalHostAddressForTesting(std::nullopt);
    }

    std::uint16_t Bind() {
        server = engine.BindEndpoint(0);
        EXPECT_NE(server, INVALID_SOCKET);
        return BoundPort(server);
    }
    // recvBytes of the last data notice, or -1 before any.
    std::int32_t LastReceivedBytes() const {
        for (auto it = page.notices.rbegin(); it != page.notices.rend(); ++it) {
            if (it->message == WM_CONNECT_DATA)
                return it->recvBytes;
        }
        return -1;
    }
    std::size_t PeerCount() {
        UiCritSecGuard lock(g_connectLock);
        return engine.Peers().size();
    }

    TestPage page;
    TestPage clientPage;
    UdpEngine engine;
    SOCKET server = INVALID_SOCKET;
    int baseDescriptors = 0;
    std::size_t baseSockets = 0;
};

TEST_F(UdpEngineTest, EachSenderBecomesOneRecordAnnouncedBeforeItsData) {
    const std::uint16_t port = Bind();
    const SOCKET a = Sender();
    const SOCKET b = Sender();
    ASSERT_EQ(SendTo(a, "hello", port), 5);
    ASSERT_TRUE(page.PumpUntil([&] { return page.notices.size() == 2; }));
    ASSERT_EQ(SendTo(a, "again", port), 5);
    ASSERT_EQ(SendTo(b, "other", port), 5);
    ASSERT_TRUE(page.PumpUntil([&] { return page.notices.size() == 5; }));

    const Notice& announced = page.notices[0];
    EXPECT_EQ(announced.message, WM_CONNECT_NEW);
    EXPECT_TRUE(announced.lockHeldBySender);
    ConnectInfo* first = announced.record;
    EXPECT_EQ(first->id, BoundPort(a));
    EXPECT_EQ(first->sock, INVALID_SOCKET);  // peers share the server's socket
    EXPECT_EQ(first->serverAddr.Port(), port);
    EXPECT_EQ(first->serverAddr.Ipv4Address(), INADDR_ANY);
    EXPECT_EQ(page.notices[1].message, WM_CONNECT_DATA);
    EXPECT_EQ(page.notices[1].record, first);
    EXPECT_EQ(page.notices[1].recvText.substr(21), u"hello\n");
    EXPECT_EQ(page.notices[2].record, first);
    EXPECT_EQ(page.notices[3].message, WM_CONNECT_NEW);
    EXPECT_EQ(page.notices[3].id, BoundPort(b));
    {
        UiCritSecGuard lock(g_connectLock);
        EXPECT_EQ(engine.Peers().size(), 2u);
        EXPECT_EQ(first->recvBytes, 10);
        EXPECT_EQ(first->recvLog.LineCount(), 2u);
        EXPECT_EQ(first->recvLog.Text(1, 1).substr(21), u"again\n");
        EXPECT_EQ(engine.Peers().at(UdpKey(first->clientAddr)), first);
    }
    closesocket(a);
    closesocket(b);
}

TEST_F(UdpEngineTest, SendersOnOnePortButDifferentAddressesAreDifferentPeers) {
    const std::uint16_t port = Bind();
    // socat sending from one fixed source port on two loopback addresses.
    const SOCKET probe = Sender();
    const std::uint16_t sourcePort = BoundPort(probe);
    closesocket(probe);
    for (const char* from : {"127.0.0.2", "127.0.0.3"}) {
        const std::string command =
            "printf x | timeout 20 socat -u - UDP4-SENDTO:127.0.0.1:" + std::to_string(port) +
            ",bind=" + from + ":" + std::to_string(sourcePort);
        ASSERT_EQ(std::system(command.c_str()), 0);
    }
    ASSERT_TRUE(page.PumpUntil([&] { return page.Count(WM_CONNECT_DATA, 0) == 2; }));
    EXPECT_EQ(page.Count(WM_CONNECT_NEW, 0), 2);
    EXPECT_EQ(PeerCount(), 2u);
    EXPECT_NE(page.notices[0].record, page.notices[2].record);
}

TEST_F(UdpEngineTest, AnEmptyDatagramIsAnOrdinaryMessage) {
    const std::uint16_t port = Bind();
    const SOCKET a = Sender();
    ASSERT_EQ(SendTo(a, "", port), 0);
    ASSERT_TRUE(page.PumpUntil([&] { return page.notices.size() == 2; }));
    EXPECT_EQ(page.notices[0].message, WM_CONNECT_NEW);
    EXPECT_EQ(page.notices[1].message, WM_CONNECT_DATA);
    EXPECT_EQ(page.notices[1].wParam, 0u);
    EXPECT_EQ(page.notices[1].recvText.size(), 22u);  // a stamp and the line feed
    EXPECT_EQ(page.notices[1].recvText.back(), u'\n');
    EXPECT_EQ(page.notices[1].recvBytes, 0);
    EXPECT_EQ(page.notices[1].record->unread, 1);

    // Reception goes on.
    ASSERT_EQ(SendTo(a, "after", port), 5);
    ASSERT_TRUE(page.PumpUntil([&] { return page.notices.size() == 3; }));
    EXPECT_EQ(page.notices[2].recvBytes, 5);
    EXPECT_EQ(page.Count(WM_CONNECT_DATA, 1), 0);
    closesocket(a);
}

TEST_F(UdpEngineTest, LargeDatagramsArriveWholeAndReceptionGoesOn) {
    const std::uint16_t port = Bind();
    const SOCKET a = Sender();
    const std::string big(60000, 'L');
    ASSERT_EQ(SendTo(a, big, port), 60000);
    ASSERT_EQ(SendTo(a, "small", port), 5);
    // Datagrams that arrive together may be reported together; each is a line of its own.
    ASSERT_TRUE(page.PumpUntil([&] { return LastReceivedBytes() == 60005; }));
    const std::u16string log = page.notices.back().recvText;
    ASSERT_EQ(log.size(), 21u + 60000u + 1u + 21u + 5u + 1u);
    EXPECT_EQ(log.substr(21, 60001), std::u16string(60000, u'L') + u'\n');
    EXPECT_EQ(log.substr(log.size() - 6), u"small\n");
    closesocket(a);
}

TEST_F(UdpEngineTest, AFloodFromOneSenderIsLoggedWholeOneLineADatagram) {
    const std::uint16_t port = Bind();
    const SOCKET a = Sender();
    constexpr int kDatagrams = 20000;
    for (int i = 0; i < kDatagrams; ++i) {
        ASSERT_EQ(SendTo(a, "0123456789", port), 10);
        if (i % 1000 == 999)
            page.PumpFor(1ms);  // the socket's buffer is not the subject here
    }
    ASSERT_TRUE(page.PumpUntil([&] { return LastReceivedBytes() == 10 * kDatagrams; }));
    EXPECT_EQ(page.Count(WM_CONNECT_NEW, 0), 1);
    const std::u16string& log = page.notices.back().recvText;
    EXPECT_EQ(std::count(log.begin(), log.end(), u'\n'), kDatagrams);
    EXPECT_EQ(log.size(), kDatagrams * (21u + 10u + 1u));
    closesocket(a);
}

TEST_F(UdpEngineTest, ARefusedPortReportDoesNotEndReception) {
    const std::uint16_t port = Bind();
    // Ask for the system's error reports on this socket, then send to a port nobody has:
    // the refusal comes back as a receive error.
    ASSERT_EQ(SetSocketOption(server, SOL_IP, IP_RECVERR, 1), 0);
    const SOCKET closedPort = Sender();
    const std::uint16_t nobody = BoundPort(closedPort);
    closesocket(closedPort);
    EXPECT_EQ(engine.SendDatagram(server, "ping", EndpointOf("127.0.0.1", nobody), 4), 4);
    page.PumpFor(200ms);

    const SOCKET a = Sender();
    ASSERT_EQ(SendTo(a, "still here", port), 10);
    ASSERT_TRUE(page.PumpUntil([&] { return page.Count(WM_CONNECT_DATA, 0) == 1; }));
    closesocket(a);
}

TEST_F(UdpEngineTest, CloseEndpointEndsReceptionSilentlyAndKeepsThePeers) {
    const std::uint16_t port = Bind();
    const SOCKET a = Sender();
    ASSERT_EQ(SendTo(a, "one", port), 3);
    ASSERT_TRUE(page.PumpUntil([&] { return page.notices.size() == 2; }));
    const int descriptors = OpenDescriptorCount();
    engine.CloseEndpoint(server);
    server = INVALID_SOCKET;
    ASSERT_TRUE(page.PumpUntil([&] { return OpenDescriptorCount() == descriptors - 1; }));
    page.PumpFor(100ms);
    EXPECT_EQ(page.notices.size(), 2u);
    EXPECT_EQ(PeerCount(), 1u);
    // The port is free again, and binding a port in use fails without leaving anything open.
    const SOCKET again = engine.BindEndpoint(port);
    ASSERT_NE(again, INVALID_SOCKET);
    const std::size_t sockets = OpenSocketCount();
    EXPECT_EQ(engine.BindEndpoint(port), INVALID_SOCKET);
    EXPECT_EQ(OpenSocketCount(), sockets);
    server = again;
    closesocket(a);
}

TEST_F(UdpEngineTest, AClientEndpointTakesEveryDatagramAndEndsSilentlyWhenDeleted) {
    // The client page's way: bind to the local host address, register, start receiving.
    std::string local;
    GetLocalHostAddress(local);
    ASSERT_EQ(local, "127.0.0.1");
    auto* endpoint = new ConnectInfo;
    endpoint->sock = OpenSocket(SOCK_DGRAM);
    ASSERT_EQ(BindSocket(endpoint->sock, AddressOf(local.c_str(), 0)), 0);
    GetSocketEndpoint(endpoint->sock, endpoint->clientAddr);
    const std::uint16_t localPort = endpoint->clientAddr.Port();
    endpoint->id = localPort;
    const SOCKET peer = Sender();
    const SOCKET stranger = Sender();
    endpoint->serverAddr = EndpointOf("127.0.0.1", BoundPort(peer));
    const ConnectKey key = UdpKey(endpoint->clientAddr);
    {
        UiCritSecGuard lock(g_connectLock);
        engine.Peers()[key] = endpoint;
    }
    const int descriptorsBefore = OpenDescriptorCount();
    ASSERT_TRUE(engine.StartClientReceiving(endpoint));

    // The endpoint talks to its server; anyone else's datagrams land on it too.
    ASSERT_EQ(engine.SendDatagram(endpoint->sock, "hi", endpoint->serverAddr, 2), 2);
    char buffer[16];
    Endpoint from;
    ASSERT_EQ(RecvFromSocket(peer, buffer, sizeof(buffer), &from), 2);
    ASSERT_EQ(SendTo(peer, "reply", localPort), 5);
    ASSERT_EQ(SendTo(stranger, "", localPort), 0);
    ASSERT_EQ(SendTo(stranger, "x", localPort), 1);
    ASSERT_TRUE(clientPage.PumpUntil(
        [&] { return !clientPage.notices.empty() && clientPage.notices.back().recvBytes == 6; }));
    for (const Notice& notice : clientPage.notices) {
        EXPECT_EQ(notice.message, WM_CONNECT_DATA);
        EXPECT_EQ(notice.wParam, 0u);
        EXPECT_EQ(notice.record, endpoint);
    }
    const std::u16string& log = clientPage.notices.back().recvText;
    EXPECT_EQ(std::count(log.begin(), log.end(), u'\n'), 3);  // "reply", "", "x"
    EXPECT_TRUE(page.notices.empty());                        // nothing went to the server page

    const std::size_t notices = clientPage.notices.size();
    DeleteRecord(engine.Peers(), key, endpoint);
    ASSERT_TRUE(
        clientPage.PumpUntil([&] { return OpenDescriptorCount() == descriptorsBefore - 1; }));
    clientPage.PumpFor(100ms);
    EXPECT_EQ(clientPage.notices.size(), notices);
    closesocket(peer);
    closesocket(stranger);
}

TEST_F(UdpEngineTest, DeletingPeersUnderAFloodNeverDeadlocks) {
    const std::uint16_t port = Bind();
    constexpr int kSenders = 4;
    std::vector<SOCKET> senders;
    for (int i = 0; i < kSenders; ++i) senders.push_back(Sender());
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (SOCKET s : senders) {
        threads.emplace_back([&, s] {
            const auto deadline = std::chrono::steady_clock::now() + 60s;
            while (!stop && std::chrono::steady_clock::now() < deadline) SendTo(s, "flood", port);
        });
    }
    // The page deletes whichever peer it sees, again and again; the engine re-creates it.
    int deletions = 0;
    const bool done = page.PumpUntil([&] {
        ConnectInfo* victim = nullptr;
        ConnectKey key;
        {
            UiCritSecGuard lock(g_connectLock);
            if (!engine.Peers().empty()) {
                key = engine.Peers().begin()->first;
                victim = engine.Peers().begin()->second;
            }
        }
        if (victim != nullptr) {
            DeleteRecord(engine.Peers(), key, victim);
            ++deletions;
        }
        return deletions >= 200;
    });
    stop = true;
    for (auto& thread : threads) thread.join();
    EXPECT_TRUE(done);
    for (SOCKET s : senders) closesocket(s);
}

}  // namespace
