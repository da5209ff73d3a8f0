#include "text/code_page.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <iconv.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/text/code_page_restore.h"
#include "tests/text/encoded_samples.h"

namespace {

using CodePageTest = RestoresCodePage;

const std::string kNiHaoGbk = "\xC4\xE3\xBA\xC3";
const std::string kNiHaoUtf8 = "\xE4\xBD\xA0\xE5\xA5\xBD";

TEST_F(CodePageTest, EveryOfferedCodePageConvertsBothWaysAsPythonDoes) {
    for (const EncodedSample& sample : EncodedSamples()) {
        SCOPED_TRACE(sample.codePage);
        ASSERT_TRUE(SetAnsiCodePage(sample.codePage));
        EXPECT_EQ(GetAnsiCodePage(), sample.codePage);
        EXPECT_EQ(WideToAnsi(sample.text), sample.bytes);
        EXPECT_EQ(AnsiToWide(sample.bytes), sample.text);
    }
    // UTF-16 has no byte-order mark, holds NUL units without cutting there, and writes
    // what it cannot hold (a lone surrogate) as its own "?", two bytes wide.
    ASSERT_TRUE(SetAnsiCodePage("UTF-16LE"));
    EXPECT_EQ(WideToAnsi(u"a"), std::string("a\0", 2));
    EXPECT_EQ(WideToAnsi(std::u16string(u"a\0b", 3)), std::string("a\0\0\0b\0", 6));
    EXPECT_EQ(WideToAnsi(u"x\xD800y"), std::string("x\0?\0y\0", 6));
    ASSERT_TRUE(SetAnsiCodePage("UTF-16BE"));
    EXPECT_EQ(WideToAnsi(u"x\xDC00"), std::string("\0x\0?", 4));
    // A lone low surrogate is one invalid unit: what follows stays in step.
    EXPECT_EQ(AnsiToWide(std::string("\xDC\x00\x00\x41", 4)), u"\uFFFDA");
}

TEST_F(CodePageTest, ReceivedTextShowsNulUnitsInEveryCodePageAndLocalTextIgnoresTheChoice) {
    ASSERT_TRUE(SetAnsiCodePage("UTF-8"));
    std::u16string out;
    AppendReceivedText(out, std::string("a\0b", 3));
    EXPECT_EQ(out, u"a\u2400b");
    ASSERT_TRUE(SetAnsiCodePage("GBK"));
    out.clear();
    AppendReceivedText(out, std::string("\0\xC4\xE3\0", 4));
    EXPECT_EQ(out, u"\u2400你\u2400");
    ASSERT_TRUE(SetAnsiCodePage("UTF-16LE"));
    out.clear();
    // The zero bytes of "A" are no NUL; the unit 00 00 is.
    AppendReceivedText(out, std::string("A\0\0\0B\0", 6));
    EXPECT_EQ(out, u"A\u2400B");
    // Read as a whole, a cut-off end is one replacement character.
    out.clear();
    EXPECT_EQ(AppendReceivedText(out, std::string("A\0B", 3)), 3u);
    EXPECT_EQ(out, u"A\uFFFD");

    // Text logged earlier reads in the code page it came in, whatever is in force now.
    out.clear();
    AppendReceivedTextIn("GBK", out, std::string("\xC4\xE3\0", 3));
    AppendReceivedTextIn("UTF-8", out, kNiHaoUtf8);
    EXPECT_EQ(out, u"你\u2400你好");

    // Addresses and stamps are local text: the same whatever code page is in force.
    EXPECT_EQ(LocaleTextToWide("127.0.0.1  12:00"), u"127.0.0.1  12:00");
    EXPECT_EQ(WideToLocaleText(u"127.0.0.1"), "127.0.0.1");
    ASSERT_TRUE(SetAnsiCodePage(LocaleCodePage()));
    EXPECT_EQ(WideToAnsi(u"127.0.0.1"), "127.0.0.1");
}

TEST_F(CodePageTest, UnrepresentableCharactersBecomeQuestionMarksAndConversionGoesOn) {
    ASSERT_TRUE(SetAnsiCodePage("GBK"));
    // One emoji (a surrogate pair) is one character, so one "?".
    EXPECT_EQ(WideToAnsi(u"a\U0001F600b你好"), "a?b" + kNiHaoGbk);
    ASSERT_TRUE(SetAnsiCodePage("ISO-8859-1"));
    EXPECT_EQ(WideToAnsi(u"é你ü"), "\xE9?\xFC");
    // A lone surrogate is no character at all.
    std::u16string lone = u"x";
    lone.push_back(char16_t(0xD800));
    lone += u"y";
    ASSERT_TRUE(SetAnsiCodePage("UTF-8"));
    EXPECT_EQ(WideToAnsi(lone), "x?y");
    lone.pop_back();
    lone.pop_back();
    lone.push_back(char16_t(0xD800));
    EXPECT_EQ(WideToAnsi(lone), "x?");
}

TEST_F(CodePageTest, InvalidBytesBecomeReplacementCharactersAndConversionGoesOn) {
    ASSERT_TRUE(SetAnsiCodePage("UTF-8"));
    EXPECT_EQ(AnsiToWide("a\xFF"
                         "b\xFE\xFF"
                         "c"),
              u"a\uFFFDb\uFFFD\uFFFDc");
    // An incomplete sequence at the end is marked, not dropped silently.
    EXPECT_EQ(AnsiToWide("ok\xE4\xBD"), u"ok\uFFFD");
    ASSERT_TRUE(SetAnsiCodePage("GBK"));
    EXPECT_EQ(AnsiToWide("\xFF" + kNiHaoGbk), u"\uFFFD你好");
}

// Bytes read by the system's iconv the way the program read them before it had decoders of
// its own: each invalid unit one U+FFFD, a cut-off end one U+FFFD (or, with
// `keepIncompleteEnd`, left unread). `converted` gets the bytes read.
std::u16string IconvReading(const char* codePage, const std::string& bytes, bool keepIncompleteEnd,
                            std::size_t& converted) {
    iconv_t converter = iconv_open("UTF-16LE", codePage);
    const std::size_t unit = std::string(codePage).rfind("UTF-16", 0) == 0 ? 2 : 1;
    std::u16string out;
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char16_t chunk[256];
        char* outPtr = reinterpret_cast<char*>(chunk);
        std::size_t outLeft = sizeof(chunk);
        const std::size_t result = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
        const int error = errno;
        out.append(chunk, (sizeof(chunk) - outLeft) / 2);
        if (result != static_cast<std::size_t>(-1) || error == E2BIG)
            continue;
        if (error == EINVAL && keepIncompleteEnd)
            break;
        out.push_back(u'\uFFFD');
        const std::size_t skip = error == EILSEQ ? std::min(unit, inLeft) : inLeft;
        in += skip;
        inLeft -= skip;
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(converter);
    converted = bytes.size() - inLeft;
    return out;
}

TEST_F(CodePageTest, OwnDecodersReadEveryByteStringAsIconvDoes) {
    // Bytes that make and break sequences: plain text, every kind of UTF-8 lead byte, the
    // edges of the continuation ranges (overlong forms, surrogates, beyond U+10FFFF), and
    // the halves of UTF-16 surrogates.
    const unsigned char alphabet[] = {'a',  'Z',  0x00, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF,
                                      0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xE4, 0xED, 0xEF, 0xF0, 0xF4,
                                      0xF5, 0xF7, 0xF8, 0xFC, 0xFE, 0xFF, 0xD8, 0xDB, 0xDC, 0x3D};
    std::mt19937 random(13);
    for (const char* codePage : {"UTF-8", "UTF-16LE", "UTF-16BE"}) {
        SCOPED_TRACE(codePage);
        ASSERT_TRUE(SetAnsiCodePage(codePage));
        for (int round = 0; round < 10000; ++round) {
            std::string bytes;
            const std::size_t length = random() % 24;
            for (std::size_t i = 0; i < length; ++i) {
                // Long plain runs now and then, so the eight-at-a-time path meets every edge.
                if (random() % 16 == 0)
                    bytes.append(random() % 20, 'p');
                bytes.push_back(static_cast<char>(alphabet[random() % sizeof(alphabet)]));
            }
            SCOPED_TRACE(::testing::PrintToString(bytes));
            std::size_t expectedConverted = 0;
            EXPECT_EQ(AnsiToWide(bytes), IconvReading(codePage, bytes, false, expectedConverted));
            const std::u16string kept = IconvReading(codePage, bytes, true, expectedConverted);
            std::u16string out;
            EXPECT_EQ(AppendReceivedText(out, bytes, true), expectedConverted);
            for (char16_t& unit : out) unit = unit == u'\u2400' ? u'\0' : unit;
            EXPECT_EQ(out, kept);
        }
    }
}

TEST_F(CodePageTest, TheIncompleteEndIsFoundWithoutConvertingAsConvertingFindsIt) {
    std::mt19937 random(7);
    for (const EncodedSample& sample : EncodedSamples()) {
        SCOPED_TRACE(sample.codePage);
        ASSERT_TRUE(SetAnsiCodePage(sample.codePage));
        // Text cut anywhere, then the same with random bytes mixed in.
        std::string text;
        for (int i = 0; i < 3; ++i) text += sample.bytes;
        for (int round = 0; round < 4000; ++round) {
            std::string bytes = text.substr(random() % text.size(), random() % 24);
            if (round % 2 == 1) {
                for (int i = random() % 4; i > 0; --i) {
                    bytes.insert(bytes.begin() + static_cast<long>(random() % (bytes.size() + 1)),
                                 static_cast<char>(random()));
                }
            }
            SCOPED_TRACE(::testing::PrintToString(bytes));
            std::u16string out;
            EXPECT_EQ(IncompleteEndLength(bytes),
                      bytes.size() - AppendReceivedText(out, bytes, true));
        }
    }
}

TEST_F(CodePageTest, NeverTruncatesAtNulOrOnLongText) {
    ASSERT_TRUE(SetAnsiCodePage("GBK"));
    const std::string withNul("a\0b", 3);
    EXPECT_EQ(AnsiToWide(withNul), std::u16string(u"a\0b", 3));
    EXPECT_EQ(WideToAnsi(std::u16string(u"a\0b", 3)), withNul);

    std::u16string longText;
    std::string longBytes;
    for (int i = 0; i < 20000; ++i) {
        longText += u"你x";
        longBytes += "\xC4\xE3x";
    }
    EXPECT_EQ(WideToAnsi(longText), longBytes);
    EXPECT_EQ(AnsiToWide(longBytes), longText);
}

TEST_F(CodePageTest, UnknownCodePageIsRefusedAndTheOldOneStays) {
    ASSERT_TRUE(SetAnsiCodePage("GBK"));
    EXPECT_FALSE(SetAnsiCodePage("NO-SUCH-CHARSET-42"));
    EXPECT_FALSE(SetAnsiCodePage(""));
    EXPECT_EQ(GetAnsiCodePage(), "GBK");
    EXPECT_EQ(WideToAnsi(u"你好"), kNiHaoGbk);
}

TEST_F(CodePageTest, SwitchingWhileOtherThreadsConvertGivesOneCodePageOrTheOther) {
    ASSERT_TRUE(SetAnsiCodePage("UTF-8"));
    const std::u16string gbkReadAsUtf8 = AnsiToWide(kNiHaoGbk);
    ASSERT_TRUE(SetAnsiCodePage("GBK"));
    std::atomic<int> mixed{0};
    std::atomic<int> running{2};
    std::vector<std::thread> converters;
    for (int t = 0; t < 2; ++t) {
        converters.emplace_back([&] {
            for (int i = 0; i < 5000; ++i) {
                const std::string bytes = WideToAnsi(u"你好");
                if (bytes != kNiHaoGbk && bytes != kNiHaoUtf8)
                    ++mixed;
                const std::u16string wide = AnsiToWide(kNiHaoGbk);
                if (wide != u"你好" && wide != gbkReadAsUtf8)
                    ++mixed;
            }
            --running;
        });
    }
    for (int i = 0; i < 100000 && running > 0; ++i) SetAnsiCodePage(i % 2 == 0 ? "UTF-8" : "GBK");
    for (auto& thread : converters) thread.join();
    EXPECT_EQ(mixed.load(), 0);
}

}  // namespace
