#include "net/tcp_engine.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "tests/net/test_addresses.h"
#include "tests/net/test_page.h"

namespace {

using namespace std::chrono_literals;

SOCKET ConnectTo(std::uint16_t port) {
    const SOCKET s = OpenSocket(SOCK_STREAM);
    if (ConnectSocket(s, Loopback(port)) == SOCKET_ERROR) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

// Runs a shell command line on another thread (bounded by `timeout`), e.g. a peer program.
std::future<int> RunPeer(const std::string& commandLine) {
    return std::async(std::launch::async, [commandLine] {
        return std::system(("timeout 20 sh -c '" + commandLine + "'").c_str());
    });
}

class TcpEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine.SetNotifyWindow(page.Window());
        baseDescriptors = OpenDescriptorCount();
        baseSockets = OpenSocketCount();
    }
    void TearDown() override {
        // The page's teardown: stop listening first, so no new connection appears
        // meanwhile, then close and free every record.
        if (listening != INVALID_SOCKET)
            engine.StopListening(listening);
        std::vector<std::pair<ConnectKey, ConnectInfo*>> records;
        {
            UiCritSecGuard lock(g_connectLock);
            records.assign(engine.Connections().begin(), engine.Connections().end());
        }
        for (auto [key, record] : records) DeleteRecord(engine.Connections(), key, record);
        // Every worker wakes and lets go of its descriptor.
        EXPECT_TRUE(page.PumpUntil([&] { return OpenDescriptorCount() <= baseDescriptors; }))
            << OpenDescriptorCount() << " descriptors open, " << baseDescriptors << " before";
        EXPECT_EQ(OpenSocketCount(), baseSockets);
    }

    std::uint16_t Listen() {
        listening = engine.StartListening(0);
        EXPECT_NE(listening, INVALID_SOCKET);
        return BoundPort(listening);
    }
    ConnectInfo* Record(std::uint32_t id) {
        UiCritSecGuard lock(g_connectLock);
        auto it = engine.Connections().find(id);
        return it == engine.Connections().end() ? nullptr : it->second;
    }

    TestPage page;
    TcpEngine engine;
    SOCKET listening = INVALID_SOCKET;
    int baseDescriptors = 0;
    std::size_t baseSockets = 0;
};

TEST_F(TcpEngineTest, PeerProgramsThatConnectSendAndCloseAreAnnouncedLoggedAndClosed) {
    const std::uint16_t port = Listen();
    auto socat = RunPeer("printf hello | socat -u - TCP4:127.0.0.1:" + std::to_string(port));
    ASSERT_TRUE(page.PumpUntil([&] { return page.Count(WM_CONNECT_DATA, 1) == 1; }));
    EXPECT_EQ(socat.get(), 0);

    // Announced, then the data, then the close: in that order, for record id 0.
    ASSERT_GE(page.notices.size(), 3u);
    const Notice& announced = page.notices.front();
    EXPECT_EQ(announced.message, WM_CONNECT_NEW);
    EXPECT_EQ(announced.id, 0u);
    EXPECT_NE(announced.sock, INVALID_SOCKET);
    ConnectInfo* record = announced.record;
    EXPECT_EQ(record->clientAddr.Ipv4Address(), 0x7F000001u);
    std::u16string received;
    for (std::size_t i = 1; i + 1 < page.notices.size(); ++i) {
        const Notice& data = page.notices[i];
        EXPECT_EQ(data.message, WM_CONNECT_DATA);
        EXPECT_EQ(data.wParam, 0u);
        EXPECT_EQ(data.record, record);
        EXPECT_TRUE(data.lockHeldBySender);
    }
    const Notice& closed = page.notices.back();
    EXPECT_EQ(closed.record, record);
    EXPECT_EQ(closed.sock, INVALID_SOCKET);
    EXPECT_TRUE(closed.lockHeldBySender);
    {
        UiCritSecGuard lock(g_connectLock);
        EXPECT_EQ(record->recvBytes, 5);
        EXPECT_EQ(record->unread, 1);
        EXPECT_NE(record->thread, 0u);
        ASSERT_EQ(record->recvLog.LineCount(), 1u);  // one chunk: stamp, hello, line feed
        EXPECT_EQ(record->recvLog.Text(0, 1).substr(21), u"hello\n");
    }

    // A second peer, netcat this time, gets the next id.
    auto nc = RunPeer("printf bye | nc -q 0 127.0.0.1 " + std::to_string(port));
    ASSERT_TRUE(page.PumpUntil([&] { return page.Count(WM_CONNECT_DATA, 1) == 2; }));
    EXPECT_EQ(nc.get(), 0);
    ConnectInfo* second = Record(1);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->recvLog.Text().substr(21), u"bye\n");
}

TEST_F(TcpEngineTest, ALargeSendArrivesInBoundedChunksAndIsCountedExactly) {
    const std::uint16_t port = Listen();
    const SOCKET client = ConnectTo(port);
    const std::string payload(15000, 'z');
    ASSERT_EQ(SendAll(client, payload.data(), 15000), 15000);
    ASSERT_TRUE(page.PumpUntil(
        [&] { return !page.notices.empty() && page.notices.back().recvBytes == 15000; }));
    // Every line: stamp, at most 10239 bytes, line feed; together exactly the payload.
    // Reads that arrived together may share a notification, never a line.
    const CompactLog& log = Record(0)->recvLog;
    EXPECT_GE(log.LineCount(), 2u);
    std::size_t total = 0;
    for (std::size_t line = 0; line < log.LineCount(); ++line) {
        const std::u16string text = log.Text(line, 1);
        ASSERT_GE(text.size(), 22u);
        ASSERT_EQ(text.find(u'\n'), text.size() - 1);
        const std::size_t chunk = text.size() - 22;
        EXPECT_GE(chunk, 1u);
        EXPECT_LE(chunk, 10239u);
        total += chunk;
    }
    EXPECT_EQ(total, 15000u);
    closesocket(client);
}

TEST_F(TcpEngineTest, ARecordThatCanHoldNoMoreStopsLoggingWithoutHoldingUpItsPeerOrOthers) {
    const std::uint16_t port = Listen();
    const SOCKET full = ConnectTo(port);
    const SOCKET other = ConnectTo(port);
    ASSERT_TRUE(page.PumpUntil([&] { return page.Count(WM_CONNECT_NEW, 0) == 2; }));
    {
        UiCritSecGuard lock(g_connectLock);
        Record(0)->recvLog.FailAllocationBeyondForTesting(1000);
    }
    // Far more than the socket buffers hold: the peer is not held up, what comes is dropped.
    auto sending = std::async(std::launch::async, [&] {
        const std::string payload(4 * 1024 * 1024, 'm');
        return SendAll(full, payload.data(), static_cast<int>(payload.size()));
    });
    ASSERT_TRUE(page.PumpUntil([&] { return sending.wait_for(0s) == std::future_status::ready; }));
    EXPECT_EQ(sending.get(), 4 * 1024 * 1024);
    ASSERT_EQ(SendSocket(other, "alive", 5), 5);
    ASSERT_TRUE(page.PumpUntil(
        [&] { return !page.For(Record(1)).empty() && page.For(Record(1)).back().recvBytes == 5; }));
    // Its close is still reported; its log ends saying why it stopped.
    closesocket(full);
    ASSERT_TRUE(page.PumpUntil([&] { return page.Count(WM_CONNECT_DATA, 1) == 1; }));
    EXPECT_EQ(page.notices.back().record, Record(0));
    {
        UiCritSecGuard lock(g_connectLock);
        EXPECT_TRUE(Record(0)->recvLog.Stopped());
        const std::u16string log = Record(0)->recvLog.Text();
        EXPECT_EQ(log.substr(log.size() - CompactLog::ReceivedStoppedText().size() - 1),
                  std::u16string(CompactLog::ReceivedStoppedText()) + u"\n");
        EXPECT_EQ(Record(1)->recvLog.Text().substr(21), u"alive\n");
    }
    closesocket(other);
}

TEST_F(TcpEngineTest, IdsCountOnAcrossStopAndRestartAndOldConnectionsKeepReceiving) {
    const std::uint16_t port = Listen();
    const SOCKET first = ConnectTo(port);
    const SOCKET second = ConnectTo(port);
    ASSERT_TRUE(page.PumpUntil([&] { return page.Count(WM_CONNECT_NEW, 0) == 2; }));
    engine.StopListening(listening);
    listening = INVALID_SOCKET;

    // The accept thread has let go of the port: new attempts are refused...
    EXPECT_TRUE(page.PumpUntil([&] {
        const SOCKET refused = ConnectTo(port);
        if (refused == INVALID_SOCKET)
            return true;
        closesocket(refused);
        return false;
    }));
    // ...while accepted connections go on receiving.
    ASSERT_EQ(SendAll(first, "still", 5), 5);
    ASSERT_TRUE(page.PumpUntil([&] { return page.Count(WM_CONNECT_DATA, 0) == 1; }));
    EXPECT_EQ(page.notices.back().id, 0u);

    // Listening again on the same port works although connections remain on it.
    listening = engine.StartListening(port);
    ASSERT_NE(listening, INVALID_SOCKET);
    const SOCKET third = ConnectTo(port);
    ASSERT_TRUE(page.PumpUntil([&] { return page.Count(WM_CONNECT_NEW, 0) == 3; }));
    std::vector<std::uint32_t> ids;
    for (const Notice& notice : page.notices) {
        if (notice.message == WM_CONNECT_NEW)
            ids.push_back(notice.id);
    }
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{0, 1, 2}));
    // A client page's record takes the next id too.
    auto* own = new ConnectInfo;
    EXPECT_EQ(engine.AddConnection(own), 4u);
    EXPECT_EQ(own->id, 3u);
    for (SOCKET s : {first, second, third}) closesocket(s);
}

TEST_F(TcpEngineTest, ListeningOnABusyPortFailsAndLeavesNothingOpen) {
    const std::uint16_t port = Listen();
    const std::size_t sockets = OpenSocketCount();
    const int descriptors = OpenDescriptorCount();
    EXPECT_EQ(engine.StartListening(port), INVALID_SOCKET);
    EXPECT_EQ(OpenSocketCount(), sockets);
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
}

TEST_F(TcpEngineTest, DisconnectByThePageGivesOneCloseNoticeAndDeleteEndsTheThreadSilently) {
    const std::uint16_t port = Listen();
    const SOCKET first = ConnectTo(port);
    const SOCKET second = ConnectTo(port);
    ASSERT_TRUE(page.PumpUntil([&] { return page.Count(WM_CONNECT_NEW, 0) == 2; }));
    ConnectInfo* disconnected = Record(0);
    ConnectInfo* deleted = Record(1);
    const int descriptorsBefore = OpenDescriptorCount();

    {  // Disconnect: the page closes the socket and keeps the record.
        UiCritSecGuard lock(g_connectLock);
        closesocket(disconnected->sock);
        disconnected->sock = INVALID_SOCKET;
    }
    ASSERT_TRUE(page.PumpUntil([&] { return page.Count(WM_CONNECT_DATA, 1) == 1; }));
    EXPECT_EQ(page.notices.back().record, disconnected);

    DeleteRecord(engine.Connections(), 1, deleted);
    // Both receive threads have let go of their descriptors: the closes woke them.
    ASSERT_TRUE(page.PumpUntil([&] { return OpenDescriptorCount() == descriptorsBefore - 2; }));
    page.PumpFor(200ms);
    EXPECT_EQ(page.notices.size(), 3u);  // two announcements and the one close
    EXPECT_EQ(page.Count(WM_CONNECT_DATA, 1), 1);

    // The peers see their connections closed.
    char byte;
    EXPECT_EQ(RecvSocket(first, &byte, 1), 0);
    EXPECT_EQ(RecvSocket(second, &byte, 1), 0);
    closesocket(first);
    closesocket(second);
}

TEST_F(TcpEngineTest, AReconnectedRecordKeepsItsNewSocket) {
    // A server of the test's own, and the client page's way of connecting a record.
    const SOCKET server = OpenSocket(SOCK_STREAM);
    ASSERT_EQ(BindSocket(server, Loopback(0)), 0);
    ASSERT_EQ(ListenSocket(server, 4), 0);
    auto* record = new ConnectInfo;
    engine.AddConnection(record);
    record->sock = ConnectTo(BoundPort(server));
    const SOCKET firstPeer = AcceptSocket(server, nullptr);
    engine.StartReceiving(record, page.Window());

    const SOCKET secondPeer = [&] {
        // Disconnect and connect again in one go: the old thread wakes to find the record
        // on a socket that is not its own, and must leave that socket alone.
        UiCritSecGuard lock(g_connectLock);
        closesocket(record->sock);
        record->sock = ConnectTo(BoundPort(server));
        const SOCKET peer = AcceptSocket(server, nullptr);
        engine.StartReceiving(record, page.Window());
        return peer;
    }();
    char byte;
    EXPECT_EQ(RecvSocket(firstPeer, &byte, 1), 0);  // the old connection is gone
    page.PumpFor(200ms);
    EXPECT_EQ(page.Count(WM_CONNECT_DATA, 1), 0);

    ASSERT_EQ(SendSocket(secondPeer, "new", 3), 3);
    ASSERT_TRUE(page.PumpUntil([&] { return page.Count(WM_CONNECT_DATA, 0) == 1; }));
    EXPECT_EQ(record->recvLog.Text().substr(21), u"new\n");
    EXPECT_EQ(SendAll(record->sock, "ok", 2), 2);
    for (SOCKET s : {server, firstPeer, secondPeer}) closesocket(s);
}

TEST_F(TcpEngineTest, ListeningSurvivesRunningOutOfDescriptors) {
#if defined(__SANITIZE_ADDRESS__)
    // The undefined-behaviour checks read /proc to validate objects and fail without a
    // free descriptor; the other builds run this test.
    GTEST_SKIP() << "needs free descriptors under the address sanitizer";
#endif
    const std::uint16_t port = Listen();
    const SOCKET first = OpenSocket(SOCK_STREAM);
    const SOCKET second = OpenSocket(SOCK_STREAM);

    // Use up every descriptor number: accept fails with "too many open files".
    rlimit original{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &original), 0);
    int highest = 0;
    for (int fd = 0; fd < 4096; ++fd) {
        if (fcntl(fd, F_GETFD) != -1)
            highest = fd;
    }
    rlimit tight = original;
    tight.rlim_cur = static_cast<rlim_t>(highest + 1);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    std::vector<int> fillers;
    for (int fd; (fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) fillers.push_back(fd);
    ASSERT_EQ(errno, EMFILE);

    // Both connections complete in the backlog. An accept that was already waiting may hold
    // a descriptor for one of them; the other finds none, so at least one accept fails.
    ASSERT_EQ(ConnectSocket(first, Loopback(port)), 0);
    ASSERT_EQ(ConnectSocket(second, Loopback(port)), 0);
    page.PumpFor(300ms);
    EXPECT_LE(page.Count(WM_CONNECT_NEW, 0), 1);

    // The limit first: an accept between the two would find itself among the last
    // descriptors of the tight limit and refuse its peer.
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &original), 0);
    for (int fd : fillers) close(fd);
    // Still listening: each of the two is announced, or was refused (the accept already
    // waiting got a descriptor among the last ones of the tight limit), and a later
    // connection is announced too.
    ASSERT_TRUE(page.PumpUntil([&] {
        return page.Count(WM_CONNECT_NEW, 0) + static_cast<int>(engine.TakeShortage().refused) == 2;
    }));
    const int announced = page.Count(WM_CONNECT_NEW, 0);
    const SOCKET third = ConnectTo(port);
    ASSERT_EQ(SendSocket(third, "alive", 5), 5);
    ASSERT_TRUE(page.PumpUntil([&] { return page.Count(WM_CONNECT_DATA, 0) == 1; }));
    EXPECT_EQ(page.notices.back().id, static_cast<std::uint32_t>(announced));
    for (SOCKET s : {first, second, third}) closesocket(s);
}

TEST_F(TcpEngineTest, DeletingRecordsUnderAFloodNeverDeadlocks) {
    const std::uint16_t port = Listen();
    constexpr int kPeers = 6;
    std::vector<SOCKET> clients;
    std::vector<std::thread> senders;
    for (int i = 0; i < kPeers; ++i) clients.push_back(ConnectTo(port));
    ASSERT_TRUE(page.PumpUntil([&] { return page.Count(WM_CONNECT_NEW, 0) == kPeers; }));
    for (SOCKET client : clients) {
        senders.emplace_back([client] {
            const std::string chunk(100, 'f');
            for (int i = 0; i < 200000; ++i) {
                if (SendSocket(client, chunk.data(), 100) == SOCKET_ERROR)
                    return;
            }
        });
    }

    // The page deletes each record once it has shown some of its data, while the senders go on.
    std::vector<std::size_t> deletedAt(kPeers, 0);
    int deleted = 0;
    const bool done = page.PumpUntil([&] {
        for (std::uint32_t id = 0; id < kPeers; ++id) {
            if (deletedAt[id] != 0)
                continue;
            ConnectInfo* record = Record(id);
            bool hasData;
            {
                UiCritSecGuard lock(g_connectLock);
                hasData = record->recvBytes >= 1000;
            }
            if (hasData) {
                DeleteRecord(engine.Connections(), id, record);
                deletedAt[id] = page.notices.size();
                ++deleted;
                break;
            }
        }
        return deleted == kPeers;
    });
    EXPECT_TRUE(done);
    for (auto& sender : senders) sender.join();  // each stops when its peer is gone
    for (SOCKET client : clients) closesocket(client);
    // Nothing was ever sent for a record after the page deleted it.
    EXPECT_EQ(page.Count(WM_CONNECT_DATA, 1), 0);
}

TEST_F(TcpEngineTest, ThousandsOfConnectsAndClosesLeaveNoDescriptorBehind) {
    const std::uint16_t port = Listen();
    const int descriptorsWhileListening = OpenDescriptorCount();
    constexpr int kRounds = 40;
    constexpr int kPerRound = 50;
    for (int round = 0; round < kRounds; ++round) {
        for (int i = 0; i < kPerRound; ++i) {
            const SOCKET client = ConnectTo(port);
            ASSERT_NE(client, INVALID_SOCKET);
            closesocket(client);
        }
        const int closedTarget = (round + 1) * kPerRound;
        ASSERT_TRUE(page.PumpUntil([&] { return page.Count(WM_CONNECT_DATA, 1) == closedTarget; }));
        std::vector<std::pair<ConnectKey, ConnectInfo*>> records;
        {
            UiCritSecGuard lock(g_connectLock);
            records.assign(engine.Connections().begin(), engine.Connections().end());
        }
        for (auto [key, record] : records) DeleteRecord(engine.Connections(), key, record);
    }
    EXPECT_TRUE(page.PumpUntil([&] { return OpenDescriptorCount() <= descriptorsWhileListening; }));
    EXPECT_EQ(page.Count(WM_CONNECT_NEW, 0), kRounds * kPerRound);
    EXPECT_EQ(OpenSocketCount(), baseSockets + 1);
}

TEST(TcpEngineTeardownTest, ThreadsThatWakeAfterTheEngineIsGoneFindNothing) {
    TestPage page;
    const int baseDescriptors = OpenDescriptorCount();
    std::vector<SOCKET> clients;
    std::vector<ConnectInfo*> records;
    {
        TcpEngine engine;
        engine.SetNotifyWindow(page.Window());
        const SOCKET listening = engine.StartListening(0);
        for (int i = 0; i < 4; ++i) clients.push_back(ConnectTo(BoundPort(listening)));
        ASSERT_TRUE(page.PumpUntil([&] { return page.Count(WM_CONNECT_NEW, 0) == 4; }));
        {
            UiCritSecGuard lock(g_connectLock);
            for (std::uint32_t id = 0; id < 4; ++id) records.push_back(engine.Connections().at(id));
        }
        engine.StopListening(listening);
        // The engine goes while its records are still registered (and alive): the threads
        // that wake from now on must not find them.
    }
    for (SOCKET client : clients) {
        SendSocket(client, "x", 1);
        closesocket(client);
    }
    page.PumpFor(std::chrono::milliseconds(300));
    EXPECT_EQ(page.Count(WM_CONNECT_DATA, 0) + page.Count(WM_CONNECT_DATA, 1), 0);
    {
        UiCritSecGuard lock(g_connectLock);
        for (ConnectInfo* record : records) {
            EXPECT_TRUE(record->recvLog.Empty());
            closesocket(record->sock);
            delete record;
        }
    }
    EXPECT_TRUE(page.PumpUntil([&] { return OpenDescriptorCount() <= baseDescriptors; }));
}

}  // namespace
