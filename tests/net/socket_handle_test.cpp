#include "net/socket_handle.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <future>
#include <vector>

#include "tests/net/test_addresses.h"
#include "tests/net/test_page.h"

namespace {

using namespace std::chrono_literals;

SOCKET ListeningSocket() {
    const SOCKET s = OpenSocket(SOCK_STREAM);
    EXPECT_EQ(BindSocket(s, Loopback(0)), 0);
    EXPECT_EQ(ListenSocket(s, 16), 0);
    return s;
}

// A connected pair over loopback: {client, accepted}.
std::pair<SOCKET, SOCKET> ConnectedPair() {
    const SOCKET listening = ListeningSocket();
    const SOCKET client = OpenSocket(SOCK_STREAM);
    EXPECT_EQ(ConnectSocket(client, Loopback(BoundPort(listening))), 0);
    const SOCKET accepted = AcceptSocket(listening, nullptr);
    closesocket(listening);
    return {client, accepted};
}

// The result of a blocking call made on another thread, with the errno it left.
struct Outcome {
    std::intptr_t result;
    int error;
};

template <typename Call>
std::future<Outcome> OnOtherThread(Call call) {
    return std::async(std::launch::async, [call] {
        const std::intptr_t result = call();
        return Outcome{result, errno};
    });
}

TEST(SocketHandleTest, CloseWakesEveryBlockedCallWithAnErrorNotAnEmptyResult) {
    const SOCKET listening = ListeningSocket();
    auto accepting = OnOtherThread([=] { return AcceptSocket(listening, nullptr); });

    auto [client, accepted] = ConnectedPair();
    auto receiving = OnOtherThread([s = accepted] {
        char buffer[64];
        return std::intptr_t(RecvSocket(s, buffer, sizeof(buffer)));
    });

    const SOCKET datagram = OpenSocket(SOCK_DGRAM);
    ASSERT_EQ(BindSocket(datagram, Loopback(0)), 0);
    // Two threads on one socket: both must wake.
    auto datagramCall = [=] {
        char buffer[64];
        Endpoint from;
        return std::intptr_t(RecvFromSocket(datagram, buffer, sizeof(buffer), &from));
    };
    auto receivingFrom1 = OnOtherThread(datagramCall);
    auto receivingFrom2 = OnOtherThread(datagramCall);

    // Give the calls time to block; the close below must wake them whenever they started.
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(closesocket(listening), 0);
    EXPECT_EQ(closesocket(accepted), 0);
    EXPECT_EQ(closesocket(datagram), 0);

    for (auto* call : {&accepting, &receiving, &receivingFrom1, &receivingFrom2}) {
        ASSERT_EQ(call->wait_for(20s), std::future_status::ready);
        const Outcome outcome = call->get();
        EXPECT_EQ(outcome.result, SOCKET_ERROR);
        EXPECT_EQ(outcome.error, EBADF);
    }
    closesocket(client);
}

TEST(SocketHandleTest, HandlesAreNeverReusedAndAClosedHandleStaysDead) {
    const std::size_t before = OpenSocketCount();
    const SOCKET first = OpenSocket(SOCK_DGRAM);
    ASSERT_NE(first, INVALID_SOCKET);
    ASSERT_EQ(closesocket(first), 0);
    // The descriptor number is free again; the handle must not come back with it.
    const SOCKET second = OpenSocket(SOCK_DGRAM);
    EXPECT_NE(second, first);
    char byte = 'x';
    EXPECT_EQ(SendToSocket(first, &byte, 1, Loopback(9)), SOCKET_ERROR);
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(closesocket(first), SOCKET_ERROR);  // a second close harms nobody
    EXPECT_EQ(OpenSocketCount(), before + 1);
    closesocket(second);
    EXPECT_EQ(OpenSocketCount(), before);
}

TEST(SocketHandleTest, SendingToAVanishedPeerFailsWithoutSigpipe) {
    // Make sure a SIGPIPE would kill the test, as it would kill the program.
    signal(SIGPIPE, SIG_DFL);
    auto [client, accepted] = ConnectedPair();
    closesocket(accepted);
    std::vector<char> data(64 * 1024, 'a');
    int result = 0;
    for (int i = 0; i < 100 && result != SOCKET_ERROR; ++i) {
        result = SendSocket(client, data.data(), static_cast<int>(data.size()));
    }
    EXPECT_EQ(result, SOCKET_ERROR);
    closesocket(client);
}

}  // namespace
