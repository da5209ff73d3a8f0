// Received text in every code page the settings offer, through real sockets on 127.0.0.1:
// characters cut between two TCP reads arrive whole, a datagram is read on its own, and
// switching the code page while data flows is safe (this file also runs under
// ThreadSanitizer in the engine-only builds).
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "net/tcp_engine.h"
#include "net/udp_engine.h"
#include "tests/net/test_addresses.h"
#include "tests/net/test_page.h"
#include "tests/text/code_page_restore.h"
#include "tests/text/encoded_samples.h"
#include "text/code_page.h"

namespace {

constexpr std::size_t kStampLength = 21;  // "YYYY-MM-DD hh:mm:ss  "

// The texts of a log's lines, stamps and line feeds taken off, from line `first` on.
std::vector<std::u16string> LineTexts(const std::u16string& log, std::size_t first = 0) {
    std::vector<std::u16string> texts;
    for (std::size_t start = 0, line = 0; start < log.size(); ++line) {
        std::size_t end = log.find(u'\n', start);
        if (end == std::u16string::npos)
            end = log.size();
        if (line >= first)
            texts.push_back(log.substr(start + kStampLength, end - start - kStampLength));
        start = end + 1;
    }
    return texts;
}

std::u16string Joined(const std::vector<std::u16string>& texts) {
    std::u16string all;
    for (const auto& text : texts) all += text;
    return all;
}

std::u16string Repeated(const std::u16string& text, int times) {
    std::u16string all;
    for (int i = 0; i < times; ++i) all += text;
    return all;
}

class ReceiveEncodingTest : public RestoresCodePage {
protected:
    void SetUp() override {
        RestoresCodePage::SetUp();
        tcp.SetNotifyWindow(page.Window());
        udp.SetNotifyWindow(page.Window());
    }
    void TearDown() override {
        if (listening != INVALID_SOCKET)
            tcp.StopListening(listening);
        if (bound != INVALID_SOCKET)
            udp.CloseEndpoint(bound);
        for (ConnectMap* map : {&tcp.Connections(), &udp.Peers()}) {
            std::vector<std::pair<ConnectKey, ConnectInfo*>> records;
            {
                UiCritSecGuard lock(g_connectLock);
                records.assign(map->begin(), map->end());
            }
            for (auto [key, record] : records) DeleteRecord(*map, key, record);
        }
        page.PumpFor(std::chrono::milliseconds(50));
        RestoresCodePage::TearDown();
    }

    // A connected client socket and the record of its accepted end.
    SOCKET Connect(ConnectInfo*& record) {
        if (listening == INVALID_SOCKET)
            listening = tcp.StartListening(0);
        const int before = page.Count(WM_CONNECT_NEW, 0);
        const SOCKET client = OpenSocket(SOCK_STREAM);
        EXPECT_EQ(ConnectSocket(client, Loopback(BoundPort(listening))), 0);
        EXPECT_TRUE(page.PumpUntil([&] { return page.Count(WM_CONNECT_NEW, 0) > before; }));
        record = nullptr;
        for (const Notice& notice : page.notices) {
            if (notice.message == WM_CONNECT_NEW)
                record = notice.record;
        }
        return client;
    }
    void Send(SOCKET client, std::string_view bytes) {
        ASSERT_EQ(SendAll(client, bytes.data(), static_cast<int>(bytes.size())),
                  static_cast<int>(bytes.size()));
    }
    // Waits until the record has counted `total` bytes.
    bool WaitForBytes(ConnectInfo* record, std::int64_t total) {
        return page.PumpUntil([&] {
            UiCritSecGuard lock(g_connectLock);
            return record->recvBytes >= total;
        });
    }
    std::u16string Log(ConnectInfo* record) {
        UiCritSecGuard lock(g_connectLock);
        return record->recvLog.Text();
    }

    TestPage page;
    TcpEngine tcp;
    UdpEngine udp;
    SOCKET listening = INVALID_SOCKET;
    SOCKET bound = INVALID_SOCKET;
};

TEST_F(ReceiveEncodingTest, TextCutBetweenTwoTcpReadsArrivesWholeInEveryCodePage) {
    for (const EncodedSample& sample : EncodedSamples()) {
        SCOPED_TRACE(sample.codePage);
        ASSERT_TRUE(SetAnsiCodePage(sample.codePage));
        ConnectInfo* record = nullptr;
        const SOCKET client = Connect(record);
        ASSERT_NE(record, nullptr);
        const std::string_view bytes = sample.bytes;
        std::int64_t total = 0;
        for (std::size_t cut = 1; cut <= sample.leadBytes; ++cut) {
            // The first piece is read on its own before the second is written.
            Send(client, bytes.substr(0, cut));
            ASSERT_TRUE(WaitForBytes(record, total += cut));
            Send(client, bytes.substr(cut));
            ASSERT_TRUE(WaitForBytes(record, total += bytes.size() - cut));
        }
        const std::u16string log = Log(record);
        EXPECT_EQ(log.find(u'\uFFFD'), std::u16string::npos);
        EXPECT_EQ(Joined(LineTexts(log)),
                  Repeated(sample.text, static_cast<int>(sample.leadBytes)));
        closesocket(client);
    }
}

TEST_F(ReceiveEncodingTest, Utf16StreamInOddSizedReadsDecodesWholeAndACutOffEndShowsOnce) {
    ASSERT_TRUE(SetAnsiCodePage("UTF-16LE"));
    const EncodedSample sample = EncodedSamples()[2];
    ConnectInfo* record = nullptr;
    const SOCKET client = Connect(record);
    // Reads of at most 10239 bytes, an odd number, out of a long burst...
    std::string burst;
    for (int i = 0; i < 1000; ++i) burst += sample.bytes;
    Send(client, burst);
    ASSERT_TRUE(WaitForBytes(record, static_cast<std::int64_t>(burst.size())));
    // ... and pieces of seven bytes, each read on its own.
    std::int64_t total = static_cast<std::int64_t>(burst.size());
    for (std::size_t at = 0; at < sample.bytes.size(); at += 7) {
        const std::string_view piece = std::string_view(sample.bytes).substr(at, 7);
        Send(client, piece);
        ASSERT_TRUE(WaitForBytes(record, total += piece.size()));
    }
    std::u16string log = Log(record);
    EXPECT_GE(LineTexts(log).size(), 2u + sample.bytes.size() / 7);
    EXPECT_EQ(Joined(LineTexts(log)), Repeated(sample.text, 1001));

    // The peer leaves in the middle of a character: one U+FFFD on a line of its own, shown
    // before the page learns of the close; the counters count every byte once.
    const std::size_t lines = LineTexts(log).size();
    Send(client, std::string("A\0B", 3));
    ASSERT_TRUE(WaitForBytes(record, total += 3));
    closesocket(client);
    ASSERT_TRUE(page.PumpUntil([&] { return page.Count(WM_CONNECT_DATA, 1) == 1; }));
    log = Log(record);
    EXPECT_EQ(LineTexts(log, lines), (std::vector<std::u16string>{u"A", u"\uFFFD"}));
    const Notice& last = page.notices[page.notices.size() - 2];
    EXPECT_EQ(last.wParam, CONNECT_DATA_APPENDED);
    EXPECT_EQ(last.recvText, log);
    UiCritSecGuard lock(g_connectLock);
    EXPECT_EQ(record->recvBytes, total);
}

TEST_F(ReceiveEncodingTest, ADatagramIsReadOnItsOwnInEveryCodePage) {
    bound = udp.BindEndpoint(0);
    const std::uint16_t port = BoundPort(bound);
    const SOCKET sender = OpenSocket(SOCK_DGRAM);
    for (const EncodedSample& sample : EncodedSamples()) {
        SCOPED_TRACE(sample.codePage);
        ASSERT_TRUE(SetAnsiCodePage(sample.codePage));
        // A datagram cut inside a character ends with one U+FFFD; the next is untouched.
        const std::string cut = sample.bytes.substr(0, 3);
        for (const std::string* datagram : {&cut, &sample.bytes}) {
            const int before = page.Count(WM_CONNECT_DATA, CONNECT_DATA_APPENDED);
            ASSERT_EQ(SendToSocket(sender, datagram->data(), static_cast<int>(datagram->size()),
                                   Loopback(port)),
                      static_cast<int>(datagram->size()));
            ASSERT_TRUE(page.PumpUntil(
                [&] { return page.Count(WM_CONNECT_DATA, CONNECT_DATA_APPENDED) > before; }));
        }
        const std::vector<std::u16string> lines = LineTexts(page.notices.back().recvText);
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[lines.size() - 2].back(), u'\uFFFD');
        EXPECT_EQ(lines.back(), sample.text);
    }
    closesocket(sender);
}

TEST_F(ReceiveEncodingTest, SwitchingDuringAFloodNeitherCrashesNorCorruptsTextBeforeOrAfter) {
    const EncodedSample sample = EncodedSamples()[0];  // UTF-8; it ends in plain letters
    constexpr int kBefore = 200;
    constexpr int kDuring = 20000;
    constexpr int kAfter = 200;
    ASSERT_TRUE(SetAnsiCodePage("UTF-8"));
    ConnectInfo* a = nullptr;
    ConnectInfo* b = nullptr;
    const SOCKET clientA = Connect(a);
    const SOCKET clientB = Connect(b);
    const auto flood = [&](int copies) {
        // Two connections, one sample per write: many reads, many cut characters.
        std::thread other([&] {
            for (int i = 0; i < copies; ++i)
                SendAll(clientB, sample.bytes.data(), int(sample.bytes.size()));
        });
        for (int i = 0; i < copies; ++i) Send(clientA, sample.bytes);
        other.join();
    };
    const auto size = static_cast<std::int64_t>(sample.bytes.size());

    flood(kBefore);
    ASSERT_TRUE(WaitForBytes(a, kBefore * size) && WaitForBytes(b, kBefore * size));
    const std::size_t linesBefore = LineTexts(Log(a)).size();

    // The user-interface thread switches back and forth while the workers convert.
    std::atomic<bool> flooding{true};
    std::thread sender([&] {
        flood(kDuring);
        flooding = false;
    });
    for (int i = 0; i < 100000 && flooding; ++i) {
        ASSERT_TRUE(SetAnsiCodePage(i % 2 == 0 ? "GBK" : "UTF-8"));
        DispatchSentMessages();
    }
    sender.join();
    ASSERT_TRUE(SetAnsiCodePage("UTF-8"));
    const std::int64_t during = (kBefore + kDuring) * size;
    ASSERT_TRUE(WaitForBytes(a, during) && WaitForBytes(b, during));
    const std::size_t linesDuring = LineTexts(Log(a)).size();

    flood(kAfter);
    const std::int64_t after = during + kAfter * size;
    ASSERT_TRUE(WaitForBytes(a, after) && WaitForBytes(b, after));
    const std::u16string log = Log(a);
    std::vector<std::u16string> lines = LineTexts(log);
    lines.resize(linesBefore);
    EXPECT_EQ(Joined(lines), Repeated(sample.text, kBefore));
    EXPECT_EQ(Joined(LineTexts(log, linesDuring)), Repeated(sample.text, kAfter));
    closesocket(clientA);
    closesocket(clientB);
}

}  // namespace
