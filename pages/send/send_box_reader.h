// The one reader of a page's send box: every command that sends the box's text (Send,
// "发送给全部", "定时发送…", a reply rule later) reads it here, so that each sends the same
// bytes: the box's soft breaks joined (a long pasted line is no longer cut), each line break
// as CR LF in text mode, hex mode honoured. Nothing else reads the box's text.
// User-interface thread only.
#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "pages/send/typed_text.h"

class QPlainTextEdit;

// Reads the typed text in `form` with its fields expanded (pages/send/typed_text.h,
// PrepareTyped): the page's field switch decides.
using FieldExpander = std::function<TypedMessage(const QString& typed, TypedForm form)>;

// What the box makes: `bytes` to send (empty when the box held only spaces or separators;
// nothing when it was empty or refused, `refusal` then saying why when there is a reason),
// and `text`, the box's text as read.
struct BoxMessage {
    std::optional<std::string> bytes;
    QString refusal;
    QString text;
};
BoxMessage ReadSendBox(const QPlainTextEdit* box, TypedForm form, const FieldExpander& expand = {});

// The box still holds `text`: the user has not changed it since it was read.
bool SendBoxHolds(const QPlainTextEdit* box, const QString& text);
