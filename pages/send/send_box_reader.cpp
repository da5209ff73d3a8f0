#include "pages/send/send_box_reader.h"

#include <QPlainTextEdit>

#include "platform/send_box.h"

BoxMessage ReadSendBox(const QPlainTextEdit* box, TypedForm form, const FieldExpander& expand) {
    BoxMessage message;
    if (!box)
        return message;
    message.text = CSendBox::TextOf(box);
    TypedMessage typed = expand ? expand(message.text, form) : PrepareTyped(message.text, form);
    message.bytes = std::move(typed.bytes);
    message.refusal = std::move(typed.refusal);
    return message;
}

bool SendBoxHolds(const QPlainTextEdit* box, const QString& text) {
    return box && !text.isEmpty() && CSendBox::TextOf(box) == text;
}
