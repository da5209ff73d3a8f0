#include "net/connect_info.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <set>

#include "tests/net/test_addresses.h"
#include "tests/net/test_page.h"
#include "text/code_page.h"

namespace {

using namespace std::chrono;

TEST(UdpKeyTest, DistinctSendersNeverShareAKey) {
    // These two shared one key (and one record) under a product of port and address.
    EXPECT_NE(UdpKey(EndpointOf("10.0.0.2", 1000)), UdpKey(EndpointOf("5.0.0.1", 2000)));
    EXPECT_NE(UdpKey(EndpointOf("10.0.0.2", 4000)), UdpKey(EndpointOf("10.0.0.2", 4001)));
    EXPECT_NE(UdpKey(EndpointOf("0.0.0.0", 5)), UdpKey(EndpointOf("0.0.0.5", 0)));
    EXPECT_EQ(UdpKey(EndpointOf("10.0.0.2", 4000)), UdpKey(EndpointOf("10.0.0.2", 4000)));

    std::set<ConnectKey> keys;
    const char* hosts[] = {"0.0.0.0",   "0.0.0.1",         "0.0.1.0",  "1.0.0.0",
                           "127.0.0.1", "255.255.255.255", "10.0.0.2", "5.0.0.1"};
    const std::uint16_t ports[] = {0, 1, 2, 255, 256, 1000, 2000, 65535};
    for (const char* host : hosts) {
        for (std::uint16_t port : ports) keys.insert(UdpKey(EndpointOf(host, port)));
    }
    EXPECT_EQ(keys.size(), std::size(hosts) * std::size(ports));
}

TEST(UdpKeyTest, BothFamiliesAsTheyAreTypedAndHeard) {
    // IPv6 text in brackets or not, with a zone; an IPv4 peer of a dual-stack socket is IPv4.
    const auto six = Endpoint::FromText("[::1]", 40312);
    ASSERT_TRUE(six.has_value());
    EXPECT_EQ(six->Text(), "[::1]:40312");
    EXPECT_EQ(Endpoint::FromText("fe80::1%7", 5)->Text(), "[fe80::1%7]:5");
    EXPECT_TRUE(Endpoint::FromText("fe80::1", 0)->NeedsZone());
    EXPECT_EQ(Endpoint::FromText("::ffff:127.0.0.1", 8)->Text(), "127.0.0.1:8");
    EXPECT_EQ(UdpKey(*Endpoint::FromText("::ffff:10.0.0.2", 4000)),
              UdpKey(EndpointOf("10.0.0.2", 4000)));
    EXPECT_NE(UdpKey(*six), UdpKey(EndpointOf("127.0.0.1", 40312)));
    EXPECT_TRUE(Endpoint::FromText("ff15::1234", 0)->IsMulticast());
    for (const char* wrong : {"::1%", "[::1", "1.2.3.4:5", "::1::2", "fe80::1%a b"})
        EXPECT_FALSE(Endpoint::FromText(wrong, 0).has_value()) << wrong;
    // Names: IPv4 first when a name has both (localhost has ::1 too on most machines).
    EXPECT_EQ(ResolveName("localhost")->Family(), AddressFamily::kIpv4);
    EXPECT_EQ(ResolveName("[::1]")->AddressText(), "::1");
}

system_clock::time_point Utc(int y, unsigned m, unsigned d, int hh, int mm, int ss) {
    return sys_days(year(y) / month(m) / day(d)) + hours(hh) + minutes(mm) + seconds(ss);
}

// Pins the machine's time zone (a POSIX TZ rule, so no zone database is needed) and puts
// the old one back.
class ZonePin {
public:
    explicit ZonePin(const char* zone) {
        if (const char* old = std::getenv("TZ"))
            previous_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZonePin() {
        if (previous_)
            setenv("TZ", previous_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> previous_;
};

TEST(FormatTimeStampTest, StampsInTheMachinesTimeZoneWithTwoTrailingBlanks) {
    {
        // A machine set to UTC+8: the carry reaches the year.
        ZonePin zone("CST-8");
        EXPECT_EQ(FormatTimeStamp(Utc(2024, 12, 31, 20, 15, 0)), "2025-01-01 04:15:00  ");
        EXPECT_EQ(FormatTimeStamp(Utc(2024, 2, 28, 17, 0, 0)), "2024-02-29 01:00:00  ");
        EXPECT_EQ(FormatTimeStamp(Utc(2024, 6, 5, 1, 2, 3) + milliseconds(999)),
                  "2024-06-05 09:02:03  ");
    }
    {
        // London: Greenwich time in winter, an hour ahead in summer.
        ZonePin zone("GMT0BST,M3.5.0/1,M10.5.0");
        EXPECT_EQ(FormatTimeStamp(Utc(2024, 12, 31, 20, 15, 1)), "2024-12-31 20:15:01  ");
        EXPECT_EQ(FormatTimeStamp(Utc(2024, 7, 1, 23, 30, 0)), "2024-07-02 00:30:00  ");
    }
    EXPECT_EQ(FormatTimeStamp().size(), std::string("YYYY-MM-DD hh:mm:ss  ").size());
}

class AppendReceivedTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = GetAnsiCodePage();
        SetAnsiCodePage("GBK");
    }
    void TearDown() override { SetAnsiCodePage(previous_); }

    TestPage page;

private:
    std::string previous_;
};

TEST_F(AppendReceivedTest, LogsTheWholeChunkIncludingNulBytes) {
    ConnectInfo record;
    const char chunk[] = {'a', 'b', '\0', 'c', 'd', '\xC4', '\xE3', '\0'};
    {
        CritSecGuard lock(g_connectLock);
        AppendReceived(&record, chunk, 7, page.Window());
    }
    EXPECT_EQ(record.recvBytes, 7);
    EXPECT_EQ(record.unread, 1);
    const std::u16string expectedText = u"ab\u2400cd你\n";
    const std::u16string first = record.recvLog.Text();
    ASSERT_EQ(first.size(), 21 + expectedText.size());
    EXPECT_EQ(first.substr(21), expectedText);
    EXPECT_EQ(first[19], u' ');
    EXPECT_EQ(first[20], u' ');
    ASSERT_EQ(page.notices.size(), 1u);
    EXPECT_EQ(page.notices[0].message, WM_CONNECT_DATA);
    EXPECT_EQ(page.notices[0].wParam, 0u);
    EXPECT_EQ(page.notices[0].record, &record);

    // A second chunk adds a second line; an empty one adds a stamped empty line.
    {
        CritSecGuard lock(g_connectLock);
        AppendReceived(&record, "xyz", 3, page.Window());
        AppendReceived(&record, "", 0, page.Window());
    }
    EXPECT_EQ(record.recvBytes, 10);
    // ... "xyz\n" then a 21-character stamp and the line feed of the empty datagram.
    const std::u16string log = record.recvLog.Text();
    ASSERT_GT(log.size(), 26u);
    EXPECT_EQ(log.substr(log.size() - 26, 4), u"xyz\n");
    EXPECT_EQ(log.substr(log.size() - 3), u"  \n");
    EXPECT_EQ(page.notices.size(), 3u);
}

// Counters just short of 4 GiB (as after a long flood) go past it rather than wrap, and
// count lines and messages with the bytes.
TEST_F(AppendReceivedTest, CountersGoPastFourGiB) {
    constexpr std::int64_t kNearFourGiB = (std::int64_t{1} << 32) - 2;
    ConnectInfo record;
    EXPECT_LE(record.knownSince, std::chrono::system_clock::now());
    EXPECT_GT(record.knownSince, std::chrono::system_clock::now() - std::chrono::minutes(1));
    record.recvBytes = kNearFourGiB;
    {
        CritSecGuard lock(g_connectLock);
        AppendReceived(&record, "abc", 3, page.Window());
        AppendReceivedStream(&record, 7, "defg", 4, page.Window());
    }
    EXPECT_EQ(record.recvBytes, kNearFourGiB + 7);
    EXPECT_EQ(record.recvLines, 2);

    record.sentBytes = kNearFourGiB;
    CountSent(&record, 5);
    CountSent(&record, std::uint64_t{3} << 30);
    EXPECT_EQ(record.sentBytes, kNearFourGiB + 5 + (std::int64_t{3} << 30));
    EXPECT_EQ(record.sentMessages, 2);
}

TEST_F(AppendReceivedTest, MarkPeerClosedClosesTheSocketOnceAndTellsThePage) {
    ConnectInfo record;
    record.sock = OpenSocket(SOCK_STREAM);
    const SOCKET s = record.sock;
    const std::size_t open = OpenSocketCount();
    {
        CritSecGuard lock(g_connectLock);
        MarkPeerClosed(&record, page.Window());
        MarkPeerClosed(&record, page.Window());  // already closed: nothing more to close
    }
    EXPECT_EQ(record.sock, INVALID_SOCKET);
    EXPECT_EQ(OpenSocketCount(), open - 1);
    EXPECT_EQ(closesocket(s), SOCKET_ERROR);
    ASSERT_EQ(page.notices.size(), 2u);
    EXPECT_EQ(page.notices[0].message, WM_CONNECT_DATA);
    EXPECT_EQ(page.notices[0].wParam, 1u);
    EXPECT_EQ(page.notices[0].sock, INVALID_SOCKET);
}

TEST(GetLocalHostAddressTest, GivesADottedAddressAndCanBePinned) {
    // Empty only where the host name does not resolve (some containers).
    std::string address;
    EXPECT_TRUE(GetLocalHostAddress(address));
    in_addr parsed{};
    if (!address.empty()) {
        EXPECT_EQ(inet_pton(AF_INET, address.c_str(), &parsed), 1) << address;
    }

    PinLocalHostAddressForTesting("127.0.0.1");
    EXPECT_TRUE(GetLocalHostAddress(address));
    EXPECT_EQ(address, "127.0.0.1");
    PinLocalHostAddressForTesting(std::nullopt);
}

}  // namespace
