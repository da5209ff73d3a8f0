#include "text/stream_decoder.h"

#include <gtest/gtest.h>

#include "tests/text/code_page_restore.h"
#include "tests/text/encoded_samples.h"
#include "text/code_page.h"

namespace {

using StreamDecoderTest = RestoresCodePage;

// Pieces of one to five bytes: characters cut anywhere, also across several pieces, in the
// code pages of the samples and in others typed by name.
TEST_F(StreamDecoderTest, TextInPiecesOfAnySizeDecodesWhole) {
    for (const EncodedSample& sample : EncodedSamples()) {
        SCOPED_TRACE(sample.codePage);
        ASSERT_TRUE(SetAnsiCodePage(sample.codePage));
        for (std::size_t size = 1; size <= 5; ++size) {
            StreamDecoder decoder;
            std::u16string out;
            for (std::size_t at = 0; at < sample.bytes.size(); at += size) {
                decoder.Decode(out, std::string_view(sample.bytes).substr(at, size));
            }
            EXPECT_EQ(out, sample.text) << "pieces of " << size;
            EXPECT_FALSE(decoder.Finish(out));
        }
    }
    // Code pages typed by name in the settings: cut-off ends found by the converter (or after
    // the last byte below 0x40), characters of up to four bytes, trail bytes that are also
    // plain letters. Bytes as Python's codecs write them.
    const struct {
        const char* codePage;
        std::u16string text;
        std::string bytes;
    } named[] = {
        {"Shift_JIS", u"本語ABテキスト{x}",
         std::string("\x96\x7b\x8c\xea\x41\x42\x83\x65\x83\x4c\x83\x58\x83\x67\x7b\x78\x7d", 17)},
        {"euc-jp", u"日本語のxテキスト",
         std::string("\xc6\xfc\xcb\xdc\xb8\xec\xa4\xce\x78\xa5\xc6\xa5\xad\xa5\xb9\xa5\xc8", 17)},
        {"Big5", u"繁體字A中文", std::string("\xc1\x63\xc5\xe9\xa6\x72\x41\xa4\xa4\xa4\xe5", 11)},
        {"GB18030", u"中文😀A€", std::string("\xd6\xd0\xce\xc4\x94\x39\xfc\x36\x41\xa2\xe3", 11)},
        {"UTF-32LE", u"A中😀", std::string("\x41\x00\x00\x00\x2d\x4e\x00\x00\x00\xf6\x01\x00", 12)},
        {"KOI8-R", u"Привет!", std::string("\xf0\xd2\xc9\xd7\xc5\xd4\x21", 7)},
    };
    for (const auto& sample : named) {
        SCOPED_TRACE(sample.codePage);
        ASSERT_TRUE(SetAnsiCodePage(sample.codePage));
        EXPECT_EQ(WideToAnsi(sample.text), sample.bytes);
        for (std::size_t size = 1; size <= 5; ++size) {
            StreamDecoder decoder;
            std::u16string out;
            for (std::size_t at = 0; at < sample.bytes.size(); at += size)
                decoder.Decode(out, std::string_view(sample.bytes).substr(at, size));
            EXPECT_EQ(out, sample.text) << "pieces of " << size;
            EXPECT_FALSE(decoder.Finish(out));
        }
    }
    EXPECT_FALSE(SetAnsiCodePage("Big6"));

    // Kept bytes that the next piece shows to be invalid are marked as the whole stream
    // would be (each invalid byte), and reading goes on.
    ASSERT_TRUE(SetAnsiCodePage("UTF-8"));
    StreamDecoder decoder;
    std::u16string out;
    decoder.Decode(out, "ok\xE4");
    decoder.Decode(out, "\xBD");
    decoder.Decode(out, "A");
    EXPECT_EQ(out, u"ok\uFFFD\uFFFDA");
    EXPECT_EQ(AnsiToWide("ok\xE4\xBD"
                         "A"),
              out);
}

}  // namespace
