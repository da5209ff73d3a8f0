// The encoding the settings dialog offers, applied to every page's sends and receives and
// kept across runs. User-interface thread only (workers only convert, through text/).
#pragma once

// The settings dialog's items in order: "Ansi", "GBK", "Unicode", "UTF8", "UFT16", "...".
enum class EncodingChoice : int { Ansi = 0, Gbk = 1, Utf16Le = 2, Utf8 = 3, Utf16Be = 4, Keep = 5 };

// Applies the choice kept from the last run (at start-up, before any page exists).
void LoadEncodingSetting();
// The choice in force (never Keep): the item the settings dialog opens on.
EncodingChoice CurrentEncodingChoice();
// Applies `choice` to every conversion from now on and keeps it for the next run;
// Keep changes nothing.
void ApplyEncodingChoice(EncodingChoice choice);
