#include "app/encoding_setting.h"

// Placeholder: the choice is not applied yet.
void LoadEncodingSetting() {}

EncodingChoice CurrentEncodingChoice() {
    return EncodingChoice::Ansi;
}

void ApplyEncodingChoice(EncodingChoice) {}
