#include "net/compact_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/connect_info.h"
#include "tests/net/test_page.h"
#include "tests/text/code_page_restore.h"
#include "text/code_page.h"

namespace {

// The texts of the log's lines, stamps and line feeds taken off.
std::vector<std::u16string> Lines(const std::u16string& text) {
    std::vector<std::u16string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find(u'\n', start);
        lines.push_back(text.substr(start + 21, end - start - 21));
        start = end + 1;
    }
    return lines;
}

using CompactLogTest = RestoresCodePage;

TEST_F(CompactLogTest, EachLineReadsInItsOwnCodePageAndCutCharactersReadWhole) {
    CompactLog log;
    ASSERT_TRUE(SetAnsiCodePage("GBK"));
    ASSERT_TRUE(log.AppendReceived(std::string("\xC4\xE3\0a", 4)));  // 你, NUL, a
    ASSERT_TRUE(SetAnsiCodePage("UTF-8"));
    // 你好 cut after its first byte and again inside 好; the stream ends cut off.
    ASSERT_TRUE(log.AppendStream(7, "x\xE4"));
    ASSERT_TRUE(log.AppendStream(7, "\xBD\xA0\xE5\xA5"));
    ASSERT_TRUE(log.AppendStream(7, "\xBD!\xE5"));
    EXPECT_TRUE(log.FinishStream(7));
    EXPECT_FALSE(log.FinishStream(7));  // nothing left cut off
    // Sent bytes keep NUL as it is (once the code page changed they read as received
    // text); notes are the program's own text.
    ASSERT_TRUE(log.AppendSent(std::string("s\0t", 3)));
    EXPECT_EQ(log.Text(5, 1).substr(21), std::u16string(u"s\0t\n", 4));
    ASSERT_TRUE(log.AppendNote(u"（说明）"));
    ASSERT_TRUE(SetAnsiCodePage("UTF-16LE"));  // a later switch changes no earlier line

    const std::vector<std::u16string> expected = {u"你\u2400a", u"x",        u"你",      u"好!",
                                                  u"\uFFFD",    u"s\u2400t", u"（说明）"};
    EXPECT_EQ(Lines(log.Text()), expected);
    EXPECT_EQ(log.LineCount(), expected.size());
    EXPECT_EQ(Lines(log.Text(2, 2)), (std::vector<std::u16string>{u"你", u"好!"}));
    EXPECT_EQ(log.Text(7, 3), u"");
    EXPECT_EQ(log.BytesBefore(1), 4u);
    // Lines measure their bytes and stamps: the shortest tail measuring 8 + 2 * 22 is the
    // last two lines (3 and 8 bytes).
    EXPECT_EQ(log.Measure(5, 7), 11u + 2 * 22);
    EXPECT_EQ(log.TailStart(8 + 2 * 22), 5u);
    EXPECT_EQ(log.TailStart(12 + 2 * 22), 4u);
    EXPECT_EQ(log.TailStart(100000), 0u);
    // The bytes of each line as they came, whatever characters they cut (the hex view's).
    const auto bytesOf = [&](std::size_t line, CompactLog::LineContent content) {
        std::string bytes;
        CompactLog::Clock::time_point when;
        EXPECT_EQ(log.LineBytes(line, bytes, when), content) << line;
        return bytes;
    };
    EXPECT_EQ(bytesOf(0, CompactLog::LineContent::kBytes), std::string("\xC4\xE3\0a", 4));
    EXPECT_EQ(bytesOf(2, CompactLog::LineContent::kBytes), "\xBD\xA0\xE5\xA5");
    EXPECT_EQ(bytesOf(4, CompactLog::LineContent::kCutEnd), "");
    EXPECT_EQ(bytesOf(5, CompactLog::LineContent::kBytes), std::string("s\0t", 3));
    EXPECT_EQ(bytesOf(6, CompactLog::LineContent::kText), "");

    // Cleared with a character cut off: the next chunk still completes it; another stream
    // does not.
    ASSERT_TRUE(SetAnsiCodePage("UTF-8"));
    ASSERT_TRUE(log.AppendStream(7, "a\xE4\xBD"));
    const std::uint64_t generation = log.Generation();
    log.Clear();
    EXPECT_TRUE(log.Empty());
    EXPECT_GT(log.Generation(), generation);
    ASSERT_TRUE(log.AppendStream(7, "\xA0z"));
    ASSERT_TRUE(log.AppendStream(8, "\xA0"));
    EXPECT_EQ(Lines(log.Text()), (std::vector<std::u16string>{u"你z", u"\uFFFD"}));
    EXPECT_EQ(bytesOf(0, CompactLog::LineContent::kBytes), "\xA0z");

    // Plain lines come out as UTF-8 exactly as they read (NUL as U+2400); the others are
    // left to Text.
    ASSERT_TRUE(log.AppendReceived(std::string("p\0q", 3)));
    std::string plain;
    EXPECT_FALSE(log.AppendPlainLineUtf8(0, false, plain));  // completes a cut character
    EXPECT_TRUE(log.AppendPlainLineUtf8(2, true, plain));
    EXPECT_EQ(plain, CompactLog::Stamp(log.LineTime(2), true) + "p\xE2\x90\x80q\n");
    EXPECT_EQ(Lines(log.Text(2, 1)), (std::vector<std::u16string>{u"p\u2400q"}));
}

TEST_F(CompactLogTest, RunningOutOfMemoryKeepsWhatWasLoggedAndSaysWhyReceptionStopped) {
    TestPage page;
    ConnectInfo record;
    record.recvLog.FailAllocationBeyondForTesting(10);
    {
        CritSecGuard lock(g_connectLock);
        EXPECT_TRUE(AppendReceivedStream(&record, 3, "12345678", 8, page.Window()));
        EXPECT_FALSE(AppendReceivedStream(&record, 3, "abcdefgh", 8, page.Window()));
        // The log takes nothing more, and the page hears of no more data.
        EXPECT_FALSE(AppendReceived(&record, "z", 1, page.Window()));
    }
    EXPECT_TRUE(record.recvLog.Stopped());
    EXPECT_EQ(Lines(record.recvLog.Text()),
              (std::vector<std::u16string>{u"12345678",
                                           std::u16string(CompactLog::ReceivedStoppedText())}));
    EXPECT_EQ(record.recvBytes, 8);
    EXPECT_EQ(page.Count(WM_CONNECT_DATA, CONNECT_DATA_APPENDED), 2);
    // Clearing keeps the reason: the record still takes nothing.
    record.recvLog.Clear();
    EXPECT_EQ(record.recvLog.LineCount(), 1u);
    EXPECT_FALSE(record.recvLog.AppendReceived("x"));

    // A sent log words its stop line for what it holds.
    CompactLog sent(CompactLog::kSentLog);
    sent.FailAllocationBeyondForTesting(0);
    EXPECT_FALSE(sent.AppendSent("x"));
    EXPECT_EQ(Lines(sent.Text()),
              (std::vector<std::u16string>{std::u16string(CompactLog::SentStoppedText())}));

    // Another record goes on.
    ConnectInfo other;
    {
        CritSecGuard lock(g_connectLock);
        EXPECT_TRUE(AppendReceived(&other, "fine", 4, page.Window()));
    }
    EXPECT_EQ(Lines(other.recvLog.Text()), (std::vector<std::u16string>{u"fine"}));
}

}  // namespace
