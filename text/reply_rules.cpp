#include "text/reply_rules.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <cstdint>
#include <variant>

#include "text/code_page.h"
#include "text/hex_text.h"
#include "text/ui_text.h"

namespace {

// UTF-16 to UTF-8 for PCRE2; a lone surrogate becomes U+FFFD.
std::string ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::u16string FromUtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t c = length == 1   ? lead
                     : length == 2 ? lead & 0x1F
                     : length == 3 ? lead & 0x0F
                                   : lead & 0x07;
        for (std::size_t k = 1; k < length && i + k < text.size(); ++k)
            c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        i += length;
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

// The 1-based character of `pattern` at UTF-8 offset `offset` of its conversion.
std::size_t CharacterAt(std::u16string_view pattern, std::size_t offset) {
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (bytes >= offset)
            return i + 1;
        const char16_t c = pattern[i];
        bytes += c < 0x80 ? 1 : c < 0x800 ? 2 : (c >= 0xD800 && c <= 0xDBFF) ? 2 : 3;
    }
    return pattern.size() + 1;
}

// A hex pattern: bytes to compare where `exact`, runs of "??" as captures.
struct HexPattern {
    std::string bytes;
    std::string exact;                                      // 1 where the byte must be equal
    std::vector<std::pair<std::size_t, std::size_t>> runs;  // start, length
};

std::variant<HexPattern, TextFault> ParseHexPattern(std::u16string_view text) {
    HexPattern pattern;
    std::size_t i = 0;
    while (i < text.size()) {
        const char16_t c = text[i];
        if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u',') {
            ++i;
            continue;
        }
        if (c == u'?') {
            if (i + 1 >= text.size() || text[i + 1] != u'?')
                return TextFault{i + 2, UiText("ReplyRules", "“?”应成对出现")};
            if (pattern.runs.empty() ||
                pattern.runs.back().first + pattern.runs.back().second != pattern.bytes.size())
                pattern.runs.emplace_back(pattern.bytes.size(), 0);
            ++pattern.runs.back().second;
            pattern.bytes.push_back('\0');
            pattern.exact.push_back('\0');
            i += 2;
            continue;
        }
        if (c == u'0' && i + 1 < text.size() && (text[i + 1] == u'x' || text[i + 1] == u'X'))
            i += 2;
        const int high = i < text.size() ? HexDigitValue(text[i]) : -1;
        if (high < 0)
            return TextFault{i + 1, UiText("ReplyRules", "不是十六进制数字")};
        const int low = i + 1 < text.size() ? HexDigitValue(text[i + 1]) : -1;
        if (low < 0)
            return TextFault{i + 2, UiText("ReplyRules", "缺少一个十六进制数字")};
        pattern.bytes.push_back(static_cast<char>(high << 4 | low));
        pattern.exact.push_back('\1');
        i += 2;
    }
    if (pattern.bytes.empty())
        return TextFault{1, UiText("ReplyRules", "没有字节")};
    return pattern;
}

struct CodeDeleter {
    void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct MatchDataDeleter {
    void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};

std::variant<std::unique_ptr<pcre2_code, CodeDeleter>, TextFault> CompileRegex(
    std::u16string_view pattern) {
    const std::string utf8 = ToUtf8(pattern);
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(utf8.data()), utf8.size(),
                                     PCRE2_UTF, &error, &offset, nullptr);
    if (!code) {
        PCRE2_UCHAR message[256];
        pcre2_get_error_message(error, message, sizeof message);
        return TextFault{CharacterAt(pattern, offset),
                         FromUtf8(reinterpret_cast<const char*>(message))};
    }
    pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);  // without JIT the interpreter runs it
    return std::unique_ptr<pcre2_code, CodeDeleter>(code);
}

int CaptureCount(const pcre2_code* code) {
    std::uint32_t count = 0;
    pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &count);
    return static_cast<int>(count);
}

// The message as the text kinds read it.
std::u16string MessageText(std::string_view message) {
    std::u16string text = AnsiToWide(message);
    if (!text.empty() && text.back() == u'\n') {
        text.pop_back();
        if (!text.empty() && text.back() == u'\r')
            text.pop_back();
    }
    return text;
}

}  // namespace

struct ReplyMatcher::Compiled {
    std::size_t index = 0;
    MatchKind kind = MatchKind::TextEqual;
    std::u16string text;
    HexPattern hex;
    std::unique_ptr<pcre2_code, CodeDeleter> regex;
    std::unique_ptr<pcre2_match_data, MatchDataDeleter> matchData;
    // The fewest characters a match can have (its gate: a message of fewer UTF-16 units has
    // fewer characters).
    std::uint32_t minLength = 0;
    bool jit = false;  // compiled to machine code: matched through PCRE2's direct JIT call
    AnswerTemplate answer;
};

struct ReplyMatcher::Limits {
    pcre2_match_context* context = nullptr;
    pcre2_jit_stack* stack = nullptr;
    ~Limits() {
        pcre2_jit_stack_free(stack);
        pcre2_match_context_free(context);
    }
};

std::optional<RuleFault> CheckRule(const ReplyRule& rule) {
    int captures = 0;
    if (rule.kind == MatchKind::Regex) {
        auto compiled = CompileRegex(rule.pattern);
        if (auto* fault = std::get_if<TextFault>(&compiled))
            return RuleFault{RuleFault::Part::Pattern, std::move(*fault)};
        captures = CaptureCount(std::get<0>(compiled).get());
    } else if (rule.kind == MatchKind::Hex) {
        auto parsed = ParseHexPattern(rule.pattern);
        if (auto* fault = std::get_if<TextFault>(&parsed))
            return RuleFault{RuleFault::Part::Pattern, std::move(*fault)};
        captures = static_cast<int>(std::get<HexPattern>(parsed).runs.size());
    }
    auto answer = AnswerTemplate::Parse(rule.answer, {rule.answerForm, captures, true, false});
    if (auto* fault = std::get_if<TextFault>(&answer))
        return RuleFault{RuleFault::Part::Answer, std::move(*fault)};
    return std::nullopt;
}

ReplyMatcher::ReplyMatcher() : limits_(std::make_unique<Limits>()) {
    limits_->context = pcre2_match_context_create(nullptr);
    pcre2_set_match_limit(limits_->context, kMatchLimit);
    pcre2_set_depth_limit(limits_->context, kDepthLimit);
    pcre2_set_heap_limit(limits_->context, 64 * 1024);  // KiB
    limits_->stack = pcre2_jit_stack_create(32 * 1024, 1024 * 1024, nullptr);
    if (limits_->stack)
        pcre2_jit_stack_assign(limits_->context, nullptr, limits_->stack);
}

ReplyMatcher::~ReplyMatcher() = default;

void ReplyMatcher::SetRules(const std::vector<ReplyRule>& rules) {
    compiled_.clear();
    gates_.clear();
    for (std::size_t index = 0; index < rules.size(); ++index) {
        const ReplyRule& rule = rules[index];
        if (!rule.enabled)
            continue;
        auto compiled = std::make_unique<Compiled>();
        compiled->index = index;
        compiled->kind = rule.kind;
        int captures = 0;
        if (rule.kind == MatchKind::Regex) {
            auto regex = CompileRegex(rule.pattern);
            if (std::holds_alternative<TextFault>(regex))
                continue;
            compiled->regex = std::move(std::get<0>(regex));
            compiled->matchData.reset(
                pcre2_match_data_create_from_pattern(compiled->regex.get(), nullptr));
            captures = CaptureCount(compiled->regex.get());
            pcre2_pattern_info(compiled->regex.get(), PCRE2_INFO_MINLENGTH, &compiled->minLength);
            std::size_t jitSize = 0;
            compiled->jit =
                pcre2_pattern_info(compiled->regex.get(), PCRE2_INFO_JITSIZE, &jitSize) == 0 &&
                jitSize > 0;
        } else if (rule.kind == MatchKind::Hex) {
            auto hex = ParseHexPattern(rule.pattern);
            if (std::holds_alternative<TextFault>(hex))
                continue;
            compiled->hex = std::move(std::get<HexPattern>(hex));
            captures = static_cast<int>(compiled->hex.runs.size());
        } else {
            compiled->text = rule.pattern;
        }
        auto answer = AnswerTemplate::Parse(rule.answer, {rule.answerForm, captures, true, false});
        if (std::holds_alternative<TextFault>(answer))
            continue;
        compiled->answer = std::move(std::get<AnswerTemplate>(answer));
        const std::size_t length = rule.kind == MatchKind::Hex     ? compiled->hex.bytes.size()
                                   : rule.kind == MatchKind::Regex ? compiled->minLength
                                                                   : compiled->text.size();
        gates_.push_back(
            {rule.kind, static_cast<std::uint32_t>(std::min<std::size_t>(length, UINT32_MAX))});
        compiled_.push_back(std::move(compiled));
    }
}

void ReplyMatcher::Drop(std::size_t index) {
    for (std::size_t at = 0; at < compiled_.size(); ++at) {
        if (compiled_[at]->index == index) {
            compiled_.erase(compiled_.begin() + static_cast<std::ptrdiff_t>(at));
            gates_.erase(gates_.begin() + static_cast<std::ptrdiff_t>(at));
            return;
        }
    }
}

ReplyMatcher::Result ReplyMatcher::Match(std::string_view message) const {
    Result result;
    // Decoded once, and only when a rule reads text.
    std::optional<std::u16string> text;
    std::optional<std::string> utf8;
    for (std::size_t at = 0; at < compiled_.size(); ++at) {
        const Gate gate = gates_[at];
        if (gate.kind == MatchKind::Hex) {
            if (message.size() != gate.length)
                continue;
        } else {
            if (!text)
                text = MessageText(message);
            if (text->size() < gate.length ||
                (gate.kind == MatchKind::TextEqual && text->size() != gate.length))
                continue;
        }
        const auto& rule = compiled_[at];
        switch (rule->kind) {
            case MatchKind::Hex: {
                const HexPattern& hex = rule->hex;
                if (message.size() != hex.bytes.size())
                    continue;
                bool equal = true;
                for (std::size_t i = 0; i < message.size() && equal; ++i)
                    equal = !hex.exact[i] || message[i] == hex.bytes[i];
                if (!equal)
                    continue;
                for (const auto& [start, length] : hex.runs)
                    result.captures.emplace_back(message.substr(start, length));
                break;
            }
            case MatchKind::Regex: {
                if (!text)
                    text = MessageText(message);
                if (!utf8)
                    utf8 = ToUtf8(*text);
                pcre2_match_data* data = rule->matchData.get();
                // The subject is valid UTF-8 (made from UTF-16 here), so the direct JIT call
                // may skip the checks pcre2_match makes.
                const auto subject = reinterpret_cast<PCRE2_SPTR>(utf8->data());
                const int found = rule->jit
                                      ? pcre2_jit_match(rule->regex.get(), subject, utf8->size(), 0,
                                                        0, data, limits_->context)
                                      : pcre2_match(rule->regex.get(), subject, utf8->size(), 0, 0,
                                                    data, limits_->context);
                if (found == PCRE2_ERROR_NOMATCH)
                    continue;
                if (found < 0) {
                    // The limits, or anything else PCRE2 could not finish: no match.
                    result.overLimit.push_back(rule->index);
                    continue;
                }
                const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
                const std::uint32_t groups = pcre2_get_ovector_count(data);
                for (std::uint32_t group = 1; group < groups && group <= 9; ++group) {
                    const PCRE2_SIZE start = ovector[2 * group], end = ovector[2 * group + 1];
                    if (start == PCRE2_UNSET || end < start) {
                        result.captures.emplace_back();
                        continue;
                    }
                    result.captures.push_back(
                        WideToAnsi(FromUtf8(std::string_view(*utf8).substr(start, end - start))));
                }
                break;
            }
            default: {
                if (!text)
                    text = MessageText(message);
                const std::u16string_view subject(*text);
                const bool matched = rule->kind == MatchKind::TextEqual ? subject == rule->text
                                     : rule->kind == MatchKind::TextStarts
                                         ? subject.starts_with(rule->text)
                                         : subject.find(rule->text) != std::u16string_view::npos;
                if (!matched)
                    continue;
                break;
            }
        }
        result.what = Result::What::Matched;
        result.rule = rule->index;
        return result;
    }
    return result;
}

std::string ReplyMatcher::Answer(std::size_t index, const AnswerContext& context) const {
    for (const auto& rule : compiled_)
        if (rule->index == index)
            return rule->answer.Expand(context);
    return {};
}
