// The reply rules' engine: checksums against their published check values, answers with
// fields, the five match kinds, refusals with positions, the regex limits, framing.
#include "text/reply_rules.h"

#include <gtest/gtest.h>

#include <chrono>

#include "tests/text/code_page_restore.h"
#include "text/checksums.h"
#include "text/message_framer.h"

class ReplyRulesTest : public RestoresCodePage {};

namespace {

std::string Expand(std::u16string_view source, AnswerForm form, AnswerContext context = {}) {
    auto parsed = AnswerTemplate::Parse(source, {form, 9, true, false});
    EXPECT_TRUE(std::holds_alternative<AnswerTemplate>(parsed));
    return std::get<AnswerTemplate>(parsed).Expand(context);
}

ReplyRule Rule(MatchKind kind, std::u16string pattern, std::u16string answer,
               AnswerForm form = AnswerForm::Text) {
    ReplyRule rule;
    rule.kind = kind;
    rule.pattern = std::move(pattern);
    rule.answer = std::move(answer);
    rule.answerForm = form;
    return rule;
}

}  // namespace

TEST_F(ReplyRulesTest, ChecksumsAndFieldsGiveThePublishedValues) {
    EXPECT_EQ(Crc16Modbus("123456789"), 0x4B37);
    EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
    EXPECT_EQ(Sum8("123456789"), 0xDD);
    EXPECT_EQ(Xor8("123456789"), 0x31);
    EXPECT_EQ(Lrc8("123456789"), 0x23);
    // The Modbus request: CRC low byte first on the wire.
    EXPECT_EQ(Expand(u"01 03 00 0A 00 02 {crc16}", AnswerForm::Hex),
              std::string("\x01\x03\x00\x0A\x00\x02\xE4\x09", 8));
    EXPECT_EQ(Expand(u"01 03 00 0A 00 02 {crc16be}", AnswerForm::Hex),
              std::string("\x01\x03\x00\x0A\x00\x02\x09\xE4", 8));
    // Text: checksums as hex digits, counts and captures as they are, escapes, braces kept.

    ASSERT_TRUE(SetAnsiCodePage("UTF-8"));
    const std::vector<std::string> captures{"42"};
    EXPECT_EQ(Expand(u"123456789{crc32} #{n} {1}\\r\\n{\"a\":1}", AnswerForm::Text,
                     {7, "2026-01-02 03:04:05", &captures}),
              "123456789CBF43926 #7 42\r\n{\"a\":1}");
}

TEST_F(ReplyRulesTest, BadPatternsAndAnswersAreRefusedWithTheirPosition) {
    const auto fault = [](ReplyRule rule) { return CheckRule(rule).value_or(RuleFault{}); };
    RuleFault bad = fault(Rule(MatchKind::Regex, u"ab(c", u"x"));
    EXPECT_EQ(bad.part, RuleFault::Part::Pattern);
    EXPECT_EQ(bad.fault.position, 5u);
    EXPECT_NE(bad.fault.why.find(u"parenthesis"), std::u16string::npos);
    bad = fault(Rule(MatchKind::Hex, u"01 0", u""));
    EXPECT_EQ(bad.fault.position, 5u);
    bad = fault(Rule(MatchKind::Hex, u"01 ?? 03", u"{2}", AnswerForm::Hex));
    EXPECT_EQ(bad.part, RuleFault::Part::Answer);
    EXPECT_EQ(bad.fault.position, 1u);
    bad = fault(Rule(MatchKind::TextEqual, u"PING", u"PONG {crc99}"));
    EXPECT_EQ(bad.fault.position, 6u);
    EXPECT_EQ(TextFaultMessage(bad.fault), u"第 6 个字符：未知字段“{crc99}”");
    bad = fault(Rule(MatchKind::TextEqual, u"PING", u"0A B", AnswerForm::Hex));
    EXPECT_EQ(bad.fault.position, 5u);
    EXPECT_FALSE(CheckRule(Rule(MatchKind::Regex, u"^GET (\\w+)$", u"{1}")));
}

TEST_F(ReplyRulesTest, FirstEnabledMatchingRuleAnswers) {
    ASSERT_TRUE(SetAnsiCodePage("UTF-8"));
    std::vector<ReplyRule> rules{
        Rule(MatchKind::Hex, u"01 03 ?? ?? 00 02 ?? ??", u"01 03 {1} {crc16}", AnswerForm::Hex),
        Rule(MatchKind::TextStarts, u"PING", u"PONG {n}"),
        Rule(MatchKind::Regex, u"^温度 (\\d+)$", u"T={1}"),
        Rule(MatchKind::TextContains, u"quiet", u""),
        Rule(MatchKind::TextEqual, u"off", u"never"),
    };
    rules[4].enabled = false;
    ReplyMatcher matcher;
    matcher.SetRules(rules);
    auto result = matcher.Match(std::string("\x01\x03\x00\x0A\x00\x02\xE4\x09", 8));
    ASSERT_EQ(result.what, ReplyMatcher::Result::What::Matched);
    EXPECT_EQ(result.rule, 0u);
    EXPECT_EQ(matcher.Answer(0, {1, "", &result.captures}),
              std::string("\x01\x03\x00\x0A\x71\xDF", 6));
    result = matcher.Match("PING 1\r\n");
    EXPECT_EQ(result.rule, 1u);
    EXPECT_EQ(matcher.Answer(1, {3, "", &result.captures}), "PONG 3");
    result = matcher.Match("温度 21\n");
    ASSERT_EQ(result.what, ReplyMatcher::Result::What::Matched);
    EXPECT_EQ(matcher.Answer(2, {1, "", &result.captures}), "T=21");
    result = matcher.Match("be quiet");
    EXPECT_EQ(result.rule, 3u);
    EXPECT_EQ(matcher.Answer(3, {1, "", &result.captures}), "");
    EXPECT_EQ(matcher.Match("off").what, ReplyMatcher::Result::What::NoMatch);
}

TEST_F(ReplyRulesTest, CatastrophicPatternStopsAtTheLimit) {
    ReplyMatcher matcher;
    matcher.SetRules(
        {Rule(MatchKind::Regex, u"^(a+)+$", u"x"), Rule(MatchKind::TextContains, u"a", u"y")});
    const auto start = std::chrono::steady_clock::now();
    const auto result = matcher.Match(std::string(40, 'a') + "b");
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result.overLimit, std::vector<std::size_t>{0});
    EXPECT_EQ(result.rule, 1u);  // the next rule still reads the message
    // Bounded by the match limit, far below a second even unoptimised.
    EXPECT_LT(took, std::chrono::seconds(2));
    matcher.Drop(0);
    EXPECT_EQ(matcher.Match(std::string(40, 'a') + "b").rule, 1u);
}

TEST_F(ReplyRulesTest, FramingCutsStreamsAndDatagrams) {
    MessageFramer framer;
    std::vector<std::string> out;
    const FramingChoice lines{Framing::Line, 0};
    framer.Feed(lines, "PI", false, out);
    EXPECT_TRUE(out.empty());
    framer.Feed(lines, "NG\nA\nB", false, out);
    EXPECT_EQ(out, (std::vector<std::string>{"PING\n", "A\n"}));
    framer.Feed(lines, "C", true, out);  // a datagram's rest is a message
    EXPECT_EQ(out.back(), "BC");
    out.clear();
    const FramingChoice fixed{Framing::Fixed, 3};
    framer.Feed(fixed, "abcdefg", false, out);
    framer.Feed(fixed, "hi", false, out);
    EXPECT_EQ(out, (std::vector<std::string>{"abc", "def", "ghi"}));
}
