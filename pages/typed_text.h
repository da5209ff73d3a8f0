// The send box's text as it goes on the wire, the same for every page.
#pragma once

#include <QString>
#include <optional>
#include <string>

// Trailing spaces trimmed (only spaces: tabs and line breaks are part of the message), each
// line break sent as CR LF, converted to the payload code page. nullopt for an empty box;
// an empty string when it held spaces only.
std::optional<std::string> TypedTextToWire(const QString& typed);
