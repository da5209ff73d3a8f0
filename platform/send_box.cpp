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
    // Our own edit items rather than Qt's, whose texts and mnemonics follow the locale. No
    // shortcut texts either: the keys work as ever.
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const bool editable = !isReadOnly();
    const bool selection = textCursor().hasSelection();
    // Named as Qt names its own items.
    const auto add = [menu](const char* name, const QString& text, bool enabled,
                            const std::function<void()>& run) {
        QAction* action = menu->addAction(text, run);
        action->setObjectName(QLatin1String(name));
        action->setEnabled(enabled);
    };
    add("edit-undo", QStringLiteral("撤销"), editable && document()->isUndoAvailable(),
        [this] { undo(); });
    add("edit-redo", QStringLiteral("重做"), editable && document()->isRedoAvailable(),
        [this] { redo(); });
    menu->addSeparator();
    add("edit-cut", QStringLiteral("剪切"), editable && selection, [this] { cut(); });
    add("edit-copy", QStringLiteral("复制"), selection, [this] { copy(); });
    // Through insertFromMimeData, like every other paste.
    add("edit-paste", QStringLiteral("粘贴"), editable && canPaste(), [this] { paste(); });
    add("edit-delete", QStringLiteral("删除"), editable && selection,
        [this] { textCursor().removeSelectedText(); });
    menu->addSeparator();
    add("select-all", QStringLiteral("全选"), !document()->isEmpty(), [this] { selectAll(); });
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
