#include "pages/typed_text.h"

#include "text/code_page.h"

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
