#include "text/hex_text.h"

#include <gtest/gtest.h>

namespace {

std::string AllBytes() {
    std::string bytes;
    for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
    return bytes;
}

TEST(HexTextTest, RowsOfSixteenIndentedUnderTheFirst) {
    EXPECT_EQ(FormatHexRows(""), "");
    EXPECT_EQ(FormatHexRows(std::string("\x00\x7f\x80\xff", 4)), "00 7F 80 FF");
    const std::string seventeen = "0123456789abcdefg";
    EXPECT_EQ(FormatHexRows(seventeen, 3),
              "30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66\n   67");
    const std::string rows = FormatHexRows(AllBytes());
    EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 15);
    EXPECT_EQ(rows.substr(0, 6), "00 01 ");
    const std::string lastRow = "\n" + std::string(kHexStampWidth, ' ') + "F0 F1 F2";
    EXPECT_EQ(rows.substr(rows.rfind('\n'), lastRow.size()), lastRow);
    EXPECT_TRUE(rows.ends_with("FE FF"));
    std::u16string wide = u"x";
    AppendHexRows(wide, "\x01\xab");
    EXPECT_EQ(wide, u"x01 AB");
}

TEST(HexTextTest, TypedHexReadsBackAndBadInputSaysWhere) {
    // Every byte, formatted and read back; separators and 0x anywhere between pairs.
    const std::string shown = FormatHexRows(AllBytes());
    const auto all = ParseHexText(std::u16string(shown.begin(), shown.end()));
    ASSERT_TRUE(std::holds_alternative<std::string>(all));
    EXPECT_EQ(std::get<std::string>(all), AllBytes());

    struct Case {
        std::u16string_view text;
        std::string bytes;     // when valid
        std::size_t position;  // when not (0: valid)
    };
    const Case cases[] = {
        {u"", "", 0},
        {u" \t\r\n,", "", 0},
        {u"0x41,0X42 43\t44\r\n0a0B", "ABCD\n\x0b", 0},
        {u"4142", "AB", 0},
        {u"00", std::string(1, '\0'), 0},
        {u"4G", "", 2},
        {u"41 4", "", 5},  // a lone digit at the end: one past the text
        {u"4 1", "", 2},   // a pair cut by a blank
        {u"0x", "", 3},
        {u"0x 41", "", 3},
        {u"41 ３２", "", 4},  // full-width digits are not hex digits
        {u"41 x", "", 4},
        {u"41;42", "", 3},
    };
    for (const Case& c : cases) {
        const auto result = ParseHexText(c.text);
        SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
        if (c.position == 0) {
            ASSERT_TRUE(std::holds_alternative<std::string>(result));
            EXPECT_EQ(std::get<std::string>(result), c.bytes);
        } else {
            ASSERT_TRUE(std::holds_alternative<HexParseError>(result));
            EXPECT_EQ(std::get<HexParseError>(result).position, c.position);
        }
    }
    EXPECT_EQ(HexErrorMessage({12}), u"第 12 个字符不是十六进制数字");
}

}  // namespace
