// Reply rules: which request a page answers and with what. A rule matches a message (a
// request, text/message_framer.h) by one of five kinds; the first enabled rule that matches
// answers, with its answer's fields expanded (text/answer_template.h). Text kinds and
// regular expressions read the message in the code page in force, with one line end (LF or
// CR LF) at its end left out; hex patterns read the raw bytes, whole.
//
// Regular expressions are PCRE2's (JIT-compiled where the machine has it), run under match,
// depth and stack limits: a pattern that backtracks without end stops at the limit and is
// reported instead of stalling its caller.
//
// Free of Qt. A ReplyMatcher is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/answer_template.h"

enum class MatchKind : std::uint8_t {
    TextEqual,     // 文本相同
    TextContains,  // 文本包含
    TextStarts,    // 文本开头
    Regex,         // 正则表达式, captures {1}..{9}
    Hex,           // 十六进制: bytes, "??" any byte; each run of "??" is a capture
};

// The longest delay before an answer.
inline constexpr std::uint32_t kMaxReplyDelayMs = 3'600'000;

// A rule as the user wrote it.
struct ReplyRule {
    bool enabled = true;
    MatchKind kind = MatchKind::TextEqual;
    std::u16string pattern;
    AnswerForm answerForm = AnswerForm::Text;
    std::u16string answer;  // text answers take \r \n \t \\ ; empty: the match answers nothing
    std::uint32_t delayMs = 0;
    std::uint64_t answered = 0;  // answers given since the program started (not kept)

    bool operator==(const ReplyRule&) const = default;
};

// Which part of a rule is at fault, where and why.
struct RuleFault {
    enum class Part : std::uint8_t { Pattern, Answer };
    Part part = Part::Pattern;
    TextFault fault;
};
// nullopt when the rule can be used.
std::optional<RuleFault> CheckRule(const ReplyRule& rule);

class ReplyMatcher {
public:
    // Limits of one regular-expression match (PCRE2's match and depth limits).
    static constexpr std::uint32_t kMatchLimit = 1'000'000;
    static constexpr std::uint32_t kDepthLimit = 10'000;

    ReplyMatcher();
    ~ReplyMatcher();
    ReplyMatcher(const ReplyMatcher&) = delete;
    ReplyMatcher& operator=(const ReplyMatcher&) = delete;

    // Takes the enabled rules of `rules` (indices kept); a rule that does not check is left
    // out.
    void SetRules(const std::vector<ReplyRule>& rules);
    // Leaves rule `index` out from now on.
    void Drop(std::size_t index);
    bool Empty() const { return compiled_.empty(); }

    struct Result {
        enum class What : std::uint8_t {
            NoMatch,
            Matched,  // rule `rule` matched; `captures` hold its groups' bytes
        };
        What what = What::NoMatch;
        std::size_t rule = 0;
        std::vector<std::string> captures;
        // Rules tried before the outcome whose regular expression reached a limit: they
        // matched nothing (the caller switches them off).
        std::vector<std::size_t> overLimit;
    };
    // The first rule that matches `message`, tried in order.
    Result Match(std::string_view message) const;
    // Rule `index`'s answer (empty if it answers nothing) for a match.
    std::string Answer(std::size_t index, const AnswerContext& context) const;

private:
    struct Compiled;
    std::vector<std::unique_ptr<Compiled>> compiled_;
    // Beside each compiled rule, in one array: the length a message must have (hex: exactly,
    // text equal: exactly, in UTF-16 units; the other text kinds and regular expressions: at
    // least), so that most rules of a long list are passed over without reaching their
    // compiled form.
    struct Gate {
        MatchKind kind;
        std::uint32_t length;
    };
    std::vector<Gate> gates_;
    struct Limits;
    std::unique_ptr<Limits> limits_;
};
