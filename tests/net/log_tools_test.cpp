// The log tools without a window: a conversation's pieces both ways exported as pcap and
// read back (count, addresses, ports, payloads, sequence numbers, checksums, over IPv4 and
// IPv6; tshark too where installed); an empty log and an unwritable folder; a search over a log on disk
// whose only hit lies in its last MiB; stamps with milliseconds for lines logged before.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "net/compact_log.h"
#include "net/log_search.h"
#include "net/pcap_export.h"
#include "tests/support/pcap_reader.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono;

std::string ScratchPath(const char* name) {
    return (fs::temp_directory_path() /
            (std::string("wl-logtools-") + std::to_string(getpid()) + "-" + name))
        .string();
}

std::string Pattern(std::size_t size, char seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i * 7);
    return bytes;
}

TEST(PcapExportTest, BothDirectionsReadBackInOrderWithSequencesAddressesAndChecksums) {
    const CompactLog::Clock::time_point start = CompactLog::Clock::now();
    CompactLog received, sent(CompactLog::kSentLog);
    // A piece over what one packet carries is split; notes carry nothing.
    const std::vector<std::string> fromPeer = {"hello", Pattern(70000, 'a'), "x"};
    const std::vector<std::string> toPeer = {"answer", std::string("\0\1\2", 3)};
    received.AppendStream(1, fromPeer[0], start);
    sent.AppendSent(toPeer[0], start + microseconds(1500));
    sent.AppendNote(u"（一条说明）", start + microseconds(1600));
    received.AppendStream(1, fromPeer[1], start + microseconds(2000));
    sent.AppendSent(toPeer[1], start + microseconds(3000));
    received.AppendStream(1, fromPeer[2], start + microseconds(4000));

    std::vector<PcapConversation> conversations(1);
    conversations[0].tcp = true;
    conversations[0].local = {0x7F000001, 8888};
    conversations[0].peer = {0x7F000002, 40000};
    conversations[0].received = received.Snapshot();
    conversations[0].sent = sent.Snapshot();
    received.Clear();  // the snapshots stay whole
    const std::string path = ScratchPath("both.pcap");
    PcapExportProgress progress;
    const PcapExportResult result = ExportPcap(conversations, path, progress);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.packets, 6u);

    const std::optional<PcapFile> file = ReadPcap(path);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->linkType, 101u);
    ASSERT_EQ(file->packets.size(), 6u);
    const std::string expected[] = {
        fromPeer[0], toPeer[0],  fromPeer[1].substr(0, 65495), fromPeer[1].substr(65495),
        toPeer[1],   fromPeer[2]};
    std::map<std::uint16_t, std::uint32_t> nextSequence;
    for (std::size_t i = 0; i < 6; ++i) {
        const PcapPacket& packet = file->packets[i];
        EXPECT_EQ(packet.payload, expected[i]) << i;
        EXPECT_TRUE(packet.checksumsHold) << i;
        EXPECT_EQ(packet.protocol, 6);
        const bool fromThePeer = i != 1 && i != 4;
        EXPECT_EQ(packet.from, fromThePeer ? 0x7F000002u : 0x7F000001u);
        EXPECT_EQ(packet.fromPort, fromThePeer ? 40000 : 8888);
        EXPECT_EQ(packet.toPort, fromThePeer ? 8888 : 40000);
        // Each direction's sequence numbers follow on from its last payload.
        if (nextSequence.count(packet.fromPort)) {
            EXPECT_EQ(packet.sequence, nextSequence[packet.fromPort]) << i;
        }
        nextSequence[packet.fromPort] =
            packet.sequence + static_cast<std::uint32_t>(packet.payload.size());
    }
    EXPECT_EQ(file->packets[1].micros - file->packets[0].micros, 1500);

    // tshark, where installed, reads as many packets with the same bytes.
    if (std::system("command -v tshark >/dev/null 2>&1") == 0) {
        const std::string out = ScratchPath("tshark.txt");
        ASSERT_EQ(std::system(("tshark -r " + path + " -T fields -e data.len -e tcp.payload > " +
                               out + " 2>/dev/null")
                                  .c_str()),
                  0);
        std::ifstream lines(out);
        std::size_t count = 0;
        for (std::string line; std::getline(lines, line);) ++count;
        EXPECT_EQ(count, 6u);
        fs::remove(out);
    }
    // The same conversation between ::1 and ::2 is written as IPv6.
    conversations[0].local = {0, 8888, true, {}};
    conversations[0].local.address6[15] = 1;
    conversations[0].peer = {0, 40000, true, {}};
    conversations[0].peer.address6[15] = 2;
    ASSERT_TRUE(ExportPcap(conversations, path, progress).ok);
    const std::optional<PcapFile> six = ReadPcap(path);
    ASSERT_TRUE(six);
    ASSERT_EQ(six->packets.size(), 6u);
    for (const PcapPacket& packet : six->packets) {
        EXPECT_TRUE(packet.ipv6 && packet.checksumsHold);
        EXPECT_EQ(packet.from, packet.fromPort == 40000 ? 2u : 1u);
    }
    EXPECT_EQ(six->packets[3].payload, fromPeer[1].substr(65495));

    fs::remove(path);

    // An empty log: a valid capture of no packets. A folder that cannot be written: why,
    // and no file.
    std::vector<PcapConversation> empty(1);
    empty[0].tcp = false;
    ASSERT_TRUE(ExportPcap(empty, path, progress).ok);
    const std::optional<PcapFile> none = ReadPcap(path);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->packets.empty());
    fs::remove(path);
    const PcapExportResult refused = ExportPcap(conversations, "/proc/wl-no/x.pcap", progress);
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.error, 0);
}

TEST(LogSearchTest, FindsTheOneHitInTheLastMiBOfALogOnDisk) {
    CompactLog log;
    const std::string filler(64 * 1024, 'q');
    for (int i = 0; i < 160; ++i) log.AppendStream(1, filler);  // 10 MiB, in a file
    log.AppendNote(u"needle");                                  // notes are not searched
    log.AppendStream(1, "..ne");                                // cut by a line's end
    log.AppendStream(1, "edle..");
    log.AppendStream(1, filler + "a needle here" + filler);
    ASSERT_TRUE(log.InFile());
    LogSearch search(log.Snapshot(), "needle");
    std::thread worker([&] { search.Run(); });
    worker.join();
    const LogSearch::State state = search.Progress();
    EXPECT_TRUE(state.done);
    EXPECT_EQ(state.error, 0);
    ASSERT_EQ(state.count, 1u);
    const std::vector<LogSearch::Hit> hits = search.Hits(0, 10);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].line, log.LineCount() - 1);
    EXPECT_EQ(hits[0].at, filler.size() + 2);
}

TEST(MillisecondStampsTest, LinesLoggedBeforeShowTheirMilliseconds) {
    CompactLog log;
    const CompactLog::Clock::time_point at =
        CompactLog::Clock::time_point(seconds(1'700'000'000)) + microseconds(123'456);
    log.AppendReceived("one", at);
    // Over 71 minutes later, and then a clock that went back: stamps stay exact.
    log.AppendReceived("two", at + hours(2) + microseconds(7'000));
    log.AppendReceived("three", at - seconds(1));
    EXPECT_EQ(log.LineTime(0), at);
    EXPECT_EQ(log.LineTime(1), at + hours(2) + microseconds(7'000));
    EXPECT_EQ(log.LineTime(2), at - seconds(1));
    const std::u16string seconds = log.Text(0, 1);
    const std::u16string millis = log.Text(0, 1, true);
    EXPECT_EQ(seconds.size() + 4, millis.size());
    EXPECT_EQ(millis.substr(19, 6), u".123  ");
    EXPECT_EQ(log.Text(1, 1, true).substr(19, 6), u".130  ");
}

}  // namespace
