// The encoding the settings dialog offers, applied to every page's sends and receives and
// kept across runs. User-interface thread only (workers only convert, through text/).
#pragma once

#include <QString>
#include <string>

// The settings dialog's items in order: "Ansi", "GBK", "Unicode", "UTF8", "UFT16", "...";
// Named is a code page the user typed by name instead of picking an item.
enum class EncodingChoice : int {
    Ansi = 0,
    Gbk = 1,
    Utf16Le = 2,
    Utf8 = 3,
    Utf16Be = 4,
    Keep = 5,
    Named = 6
};

// Applies the choice kept from the last run (at start-up, before any page exists).
void LoadEncodingSetting();
// The choice in force (never Keep): the item the settings dialog opens on.
EncodingChoice CurrentEncodingChoice();
// The code page in force as the user typed it, when the choice in force is Named.
std::string CurrentEncodingName();
// The encoding in force as the settings file names it: "Ansi", "GBK", "UTF-16LE", "UTF-8",
// "UTF-16BE", or the typed name.
QString CurrentEncodingSettingName();
// Applies `choice` to every conversion from now on and keeps it for the next run;
// Keep and Named change nothing (a typed name goes through ApplyEncodingName).
void ApplyEncodingChoice(EncodingChoice choice);
// Applies a code page typed by name: any name the system's converter knows, in any case
// ("Big5", "shift_jis", "ISO-8859-1"); a name that stands for one of the items ("utf-8",
// "gbk") applies that item. False, and nothing changes, for a name the converter does not
// know (or one with conversion options, "//IGNORE").
bool ApplyEncodingName(const std::string& name);
