#include "text/stream_decoder.h"

#include <gtest/gtest.h>

#include "tests/text/code_page_restore.h"
#include "tests/text/encoded_samples.h"
#include "text/code_page.h"

namespace {

using StreamDecoderTest = RestoresCodePage;

TEST_F(StreamDecoderTest, TextCutAnywhereDecodesWhole) {
    for (const EncodedSample& sample : EncodedSamples()) {
        SCOPED_TRACE(sample.codePage);
        ASSERT_TRUE(SetAnsiCodePage(sample.codePage));
        // Two pieces, cut at every byte of the first characters.
        for (std::size_t cut = 1; cut <= sample.leadBytes; ++cut) {
            StreamDecoder decoder;
            std::u16string out;
            decoder.Decode(out, std::string_view(sample.bytes).substr(0, cut));
            decoder.Decode(out, std::string_view(sample.bytes).substr(cut));
            EXPECT_EQ(out, sample.text) << "cut at " << cut;
            EXPECT_FALSE(decoder.HasPending());
        }
        // Pieces of every size from one byte up: odd sizes put UTF-16 out of step.
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
}

TEST_F(StreamDecoderTest, AStreamEndingInsideACharacterShowsOneReplacement) {
    ASSERT_TRUE(SetAnsiCodePage("UTF-8"));
    StreamDecoder decoder;
    std::u16string out;
    decoder.Decode(out, "ok\xE4\xBD");
    EXPECT_EQ(out, u"ok");
    EXPECT_TRUE(decoder.HasPending());
    EXPECT_TRUE(decoder.Finish(out));
    EXPECT_EQ(out, u"ok\uFFFD");
    EXPECT_FALSE(decoder.Finish(out));

    // Kept bytes that the next chunk does not complete are invalid, nothing more.
    decoder.Decode(out, "\xE4");
    decoder.Decode(out, "A");
    EXPECT_EQ(out, u"ok\uFFFD\uFFFDA");

    // A new stream forgets what the old one left.
    ASSERT_TRUE(SetAnsiCodePage("UTF-16LE"));
    out.clear();
    decoder.Decode(out, std::string("A\0B", 3));
    decoder.Reset();
    decoder.Decode(out, std::string("C\0", 2));
    EXPECT_EQ(out, u"AC");
}

}  // namespace
