#include "text/stream_decoder.h"

#include <gtest/gtest.h>

#include "tests/text/code_page_restore.h"
#include "tests/text/encoded_samples.h"
#include "text/code_page.h"

namespace {

using StreamDecoderTest = RestoresCodePage;

// Pieces of one to five bytes: characters cut anywhere, also across several pieces.
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
