// Why a server cannot start or a datagram cannot go: the engine leaves the system's reason
// in errno, the reason line words it; and a refused-port report does not stop reception.
#include "net/socket_error_text.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include <string>

#include "net/tcp_engine.h"
#include "net/udp_engine.h"
#include "tests/net/test_addresses.h"
#include "tests/net/test_page.h"

namespace {

TEST(SocketErrorText, EnginesLeaveTheReasonAndEachCommonCauseHasItsLine) {
    // A port held by another socket, for a TCP server and for a UDP server.
    const SOCKET holder = OpenSocket(SOCK_STREAM);
    ASSERT_EQ(BindSocket(holder, AddressOf("0.0.0.0", 0)), 0);
    ASSERT_EQ(ListenSocket(holder, 1), 0);
    TcpEngine tcp;
    errno = 0;
    EXPECT_EQ(tcp.StartListening(BoundPort(holder)), INVALID_SOCKET);
    EXPECT_EQ(errno, EADDRINUSE);
    EXPECT_EQ(MessageWithReason(u"监听启动失败", SocketOperation::kStartServer, errno),
              u"监听启动失败\n端口已被占用：另一个套接字正在使用这个端口。");
    const SOCKET udpHolder = OpenSocket(SOCK_DGRAM);
    ASSERT_EQ(BindSocket(udpHolder, AddressOf("0.0.0.0", 0)), 0);
    UdpEngine udp;
    errno = 0;
    EXPECT_EQ(udp.BindEndpoint(BoundPort(udpHolder)), INVALID_SOCKET);
    EXPECT_EQ(errno, EADDRINUSE);

    // 65,508 bytes are one too many for a datagram.
    const std::string tooLong(65508, 'x');
    EXPECT_EQ(udp.SendDatagram(udpHolder, tooLong.data(), EndpointOf("127.0.0.1", 9),
                               static_cast<int>(tooLong.size())),
              SOCKET_ERROR);
    EXPECT_EQ(SocketErrorReason(SocketOperation::kSendDatagram, errno),
              u"信息太长：一个数据报最多 65507 字节。");
    closesocket(holder);
    closesocket(udpHolder);

    // Linux refuses a broadcast from a socket not enabled for it with EACCES.
    EXPECT_EQ(SocketErrorReason(SocketOperation::kSendDatagram, EACCES), u"不允许向广播地址发送。");
    EXPECT_EQ(SocketErrorReason(SocketOperation::kBindUdp, EADDRINUSE),
              u"端口已被占用：另一个 UDP 套接字正在使用这个端口。");
    EXPECT_EQ(SocketErrorReason(SocketOperation::kStartServer, EACCES),
              u"1024 以下的端口需要管理员权限。");
    EXPECT_EQ(SocketErrorReason(SocketOperation::kBindUdp, EADDRNOTAVAIL), u"本机没有这个地址。");
    EXPECT_EQ(SocketErrorReason(SocketOperation::kSendDatagram, ENETUNREACH), u"网络不可达。");
    EXPECT_EQ(SocketErrorReason(SocketOperation::kSendDatagram, ECONNREFUSED),
              u"对方端口拒绝接收：上一个数据报被告知端口不可达。");
    EXPECT_EQ(SocketErrorReason(SocketOperation::kStartServer, EAGAIN),
              u"系统无法启动接收线程，请稍后再试。");
    EXPECT_EQ(SocketErrorReason(SocketOperation::kStartServer, 9999), u"系统错误码 9999。");
}

// A socket told of refused ports (here asked for the reports, which the system otherwise
// keeps from unconnected sockets) reads on after the receive that reports one.
TEST(SocketErrorText, ARefusedPortReportDoesNotStopReception) {
    PinLocalHostAddressForTesting("127.0.0.1");
    TestPage page;
    UdpEngine engine;
    engine.SetNotifyWindow(page.Window());
    const SOCKET server = engine.BindEndpoint(0);
    ASSERT_NE(server, INVALID_SOCKET);
    ASSERT_EQ(SetSocketOption(server, IPPROTO_IP, IP_RECVERR, 1), 0);
    // Nothing listens on the port of a socket just closed: its report wakes the receive.
    const SOCKET gone = OpenSocket(SOCK_DGRAM);
    ASSERT_EQ(BindSocket(gone, AddressOf("127.0.0.1", 0)), 0);
    const std::uint16_t closedPort = BoundPort(gone);
    closesocket(gone);
    EXPECT_EQ(engine.SendDatagram(server, "x", EndpointOf("127.0.0.1", closedPort), 1), 1);

    const SOCKET sender = OpenSocket(SOCK_DGRAM);
    ASSERT_EQ(BindSocket(sender, AddressOf("127.0.0.1", 0)), 0);
    ASSERT_EQ(SendToSocket(sender, "after", 5, AddressOf("127.0.0.1", BoundPort(server))), 5);
    EXPECT_TRUE(page.PumpUntil([&] {
        for (const Notice& notice : page.notices) {
            if (notice.message == WM_CONNECT_DATA && notice.recvText.ends_with(u"after\n"))
                return true;
        }
        return false;
    }));
    engine.CloseEndpoint(server);
    closesocket(sender);
    std::vector<ConnectInfo*> records;
    {
        UiCritSecGuard lock(g_connectLock);
        for (auto [key, record] : engine.Peers()) records.push_back(record);
        engine.Peers().clear();
    }
    for (ConnectInfo* record : records) delete record;
    PinLocalHostAddressForTesting(std::nullopt);
}

}  // namespace
