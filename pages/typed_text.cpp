#include "pages/typed_text.h"

#include <variant>

#include "text/code_page.h"
#include "text/hex_text.h"

std::optional<std::string> TypedTextToWire(const QString& typed) {
    if (typed.isEmpty())
        return std::nullopt;
    QString text = typed;
    qsizetype end = text.size();
    while (end > 0 && text[end - 1] == u' ') --end;
    text.truncate(end);
    // Each typed line break goes out as CR LF, as line-based protocols expect.
    QString wire;
    wire.reserve(text.size() + text.count(u'\n'));
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r'))
            wire.append(u'\r');
        wire.append(text[i]);
    }
    return WideToAnsi(wire.toStdU16String());
}

TypedMessage PrepareTyped(const QString& typed, TypedForm form) {
    if (form == TypedForm::Text)
        return {TypedTextToWire(typed), {}};
    if (typed.isEmpty())
        return {};
    auto parsed = ParseHexText(typed.toStdU16String());
    if (auto* error = std::get_if<HexParseError>(&parsed))
        return {std::nullopt, QString::fromStdU16String(HexErrorMessage(*error))};
    return {std::move(std::get<std::string>(parsed)), {}};
}
