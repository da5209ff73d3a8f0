#include "pages/send/typed_text.h"

#include <QStringView>
#include <variant>

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
