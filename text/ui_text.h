// Texts the engine hands to the user (reasons, notes in the logs), in the interface's
// language. They are written in Chinese, as UTF-8 literals; the application installs a
// lookup at start (before any worker runs) that finds the chosen language's text. The
// engine itself has no Qt: without a lookup, or where it has no text, the Chinese stays.
// Any thread: the lookup is set once, and the lookup itself must be safe on any thread.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// Marks a text kept in a table for the translation tools; it is looked up with UiText where
// it is shown.
#define UI_TEXT_NOOP(context, text) text

// The text for `chinese` (UTF-8) in the interface's language; `context` names where it is
// used (the translation file groups texts by it).
using UiTextLookup = std::u16string (*)(const char* context, const char* chinese);

void SetUiTextLookup(UiTextLookup lookup);

// `chinese` (a UTF-8 literal) in the interface's language.
std::u16string UiText(const char* context, const char* chinese);

// `pattern` with %1 … %9 replaced by `args`, in order ("第 %1 个字符").
std::u16string WithArgs(std::u16string pattern, std::initializer_list<std::u16string_view> args);

// Digits and other ASCII text as UTF-16.
std::u16string AsciiText(std::string_view ascii);
