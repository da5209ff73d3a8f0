#include "pages/send/typed_text.h"

#include <QStringView>
#include <variant>

#include "net/connect_info.h"
#include "text/answer_template.h"
#include "text/code_page.h"
#include "text/hex_text.h"

std::optional<std::string> TypedTextToWire(const QString& typed) {
    if (typed.isEmpty())
        return std::nullopt;
    QStringView text(typed);
    qsizetype end = text.size();
    while (end > 0 && text[end - 1] == u' ') --end;
    text.truncate(end);
    // Each typed line break goes out as CR LF, as line-based protocols expect. Copied in runs:
    // the text can be megabytes.
    QString wire;
    wire.reserve(text.size() + text.count(u'\n'));
    qsizetype copied = 0;
    for (qsizetype i = text.indexOf(u'\n'); i >= 0; i = text.indexOf(u'\n', i + 1)) {
        if (i > 0 && text[i - 1] == u'\r')
            continue;
        wire.append(text.mid(copied, i - copied));
        wire.append(u'\r');
        copied = i;
    }
    wire.append(text.mid(copied));
    return WideToAnsi(
        std::u16string_view(reinterpret_cast<const char16_t*>(wire.constData()), wire.size()));
}

namespace {

TypedMessage ExpandFields(QStringView typed, AnswerForm form, std::uint64_t number) {
    auto parsed = AnswerTemplate::Parse(
        std::u16string_view(reinterpret_cast<const char16_t*>(typed.data()), typed.size()),
        {form, 0, false, form == AnswerForm::Text});
    if (auto* fault = std::get_if<TextFault>(&parsed))
        return {std::nullopt, QString::fromStdU16String(TextFaultMessage(*fault))};
    std::string stamp = FormatTimeStamp();
    while (!stamp.empty() && stamp.back() == ' ') stamp.pop_back();
    return {std::get<AnswerTemplate>(parsed).Expand({number, stamp, nullptr}), {}};
}

}  // namespace

TypedMessage PrepareTyped(const QString& typed, TypedForm form, bool expandFields,
                          std::uint64_t number) {
    if (form == TypedForm::Text) {
        if (!expandFields || typed.isEmpty())
            return {TypedTextToWire(typed), {}};
        QStringView text(typed);
        while (!text.isEmpty() && text.back() == u' ') text.chop(1);
        return ExpandFields(text, AnswerForm::Text, number);
    }
    if (typed.isEmpty())
        return {};
    if (typed.contains(u'{'))
        return ExpandFields(typed, AnswerForm::Hex, number);
    auto parsed = ParseHexText(typed.toStdU16String());
    if (auto* error = std::get_if<HexParseError>(&parsed))
        return {std::nullopt, QString::fromStdU16String(HexErrorMessage(*error))};
    return {std::move(std::get<std::string>(parsed)), {}};
}
