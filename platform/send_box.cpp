#include "platform/send_box.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMimeData>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextOption>

CSendBox::CSendBox(QWidget* parent) : QPlainTextEdit(parent) {
    connect(document(), &QTextDocument::contentsChange, this, &CSendBox::OnContentsChange);
}

void CSendBox::AddMenuFiller(MenuFiller fill) {
    menuFillers_.push_back(std::move(fill));
}

void CSendBox::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createStandardContextMenu(event->pos());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (const MenuFiller& fill : menuFillers_) {
        menu->addSeparator();
        fill(*menu);
    }
    menu->popup(event->globalPos());
}

bool CSendBox::canInsertFromMimeData(const QMimeData* source) const {
    return source != nullptr && source->hasText();
}

void CSendBox::insertFromMimeData(const QMimeData* source) {
    // Never the base class: it is what crashes on data without formats.
    if (!canInsertFromMimeData(source))
        return;
    const QString text = source->text();
    if (text.isEmpty())
        return;
    // Chosen before the text goes in: the box lays its paragraph out as it is inserted.
    if (text.size() > kLongLine)
        SetWrapAnywhere(true);
    insertPlainText(text);
}

void CSendBox::OnContentsChange(int position, int removed, int added) {
    Q_UNUSED(removed);
    QTextDocument* doc = document();
    // Short text holds no long line: back to word wrapping once the box is (nearly) empty.
    if (doc->characterCount() <= kLongLine) {
        SetWrapAnywhere(false);
        return;
    }
    if (wrapAnywhere_ || added <= 0)
        return;
    // Only the paragraphs the change touched can have grown long.
    const QTextBlock last = doc->findBlock(position + added);
    for (QTextBlock block = doc->findBlock(position); block.isValid(); block = block.next()) {
        if (block.length() > kLongLine) {
            SetWrapAnywhere(true);
            return;
        }
        if (block == last)
            break;
    }
}

void CSendBox::SetWrapAnywhere(bool anywhere) {
    if (wrapAnywhere_ == anywhere)
        return;
    wrapAnywhere_ = anywhere;
    setWordWrapMode(anywhere ? QTextOption::WrapAnywhere
                             : QTextOption::WrapAtWordBoundaryOrAnywhere);
}
