// The send box's text as it goes on the wire, the same for every page.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string>

// Trailing spaces trimmed (only spaces: tabs and line breaks are part of the message), each
// line break sent as CR LF, converted to the payload code page. nullopt for an empty box;
// an empty string when it held spaces only.
std::optional<std::string> TypedTextToWire(const QString& typed);

// How Send reads the box: as text (TypedTextToWire), or as pairs of hex digits
// (text/hex_text.h: only the typed bytes go, no line breaks of the box's).
enum class TypedForm : std::uint8_t { Text, Hex };

// What Send makes of the box: `bytes` as above (in hex, empty when the box held only
// separators), or nothing with `refusal` saying why the text cannot go.
struct TypedMessage {
    std::optional<std::string> bytes;
    QString refusal;
};
// With `expandFields` (and in hex whenever the text holds a "{"), the fields of
// text/answer_template.h are expanded ({n} is `number`); captures are refused, there is no
// request to take them from.
TypedMessage PrepareTyped(const QString& typed, TypedForm form, bool expandFields = false,
                          std::uint64_t number = 1);
