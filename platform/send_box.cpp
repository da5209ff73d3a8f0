#include "platform/send_box.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>

namespace {

// Block property of a paragraph that continues the one before it (a soft break before it).
constexpr int kContinuation = QTextFormat::UserProperty + 0x5B0;

bool IsContinuation(const QTextBlock& block) {
    return block.isValid() && block.blockFormat().boolProperty(kContinuation);
}

// The document's text between two positions with the soft breaks left out and the other
// breaks and spaces as QTextDocument::toPlainText gives them.
QString JoinedText(QTextDocument* doc, int from, int to) {
    QTextCursor range(doc);
    range.setPosition(from);
    range.setPosition(to, QTextCursor::KeepAnchor);
    const QString raw = range.selectedText();
    QString text;
    text.reserve(raw.size());
    qsizetype copied = 0;
    // Positions only of the continuations: finding one costs a walk down the block tree.
    const QTextBlock last = doc->findBlock(to);
    for (QTextBlock block = doc->findBlock(from); block.isValid() && block != last;) {
        block = block.next();
        if (!IsContinuation(block))
            continue;
        const qsizetype softBreak = block.position() - 1 - from;
        text.append(QStringView(raw).mid(copied, softBreak - copied));
        copied = softBreak + 1;
    }
    text.append(QStringView(raw).mid(copied));
    for (QChar& c : text) {
        switch (c.unicode()) {
            case 0xfdd0:  // frame marks, which a plain box does not hold
            case 0xfdd1:
            case QChar::ParagraphSeparator:
            case QChar::LineSeparator:
                c = u'\n';
                break;
            case QChar::Nbsp:
                c = u' ';
                break;
            default:
                break;
        }
    }
    return text;
}

// Where QTextCursor::insertText starts a new paragraph.
bool IsParagraphBreak(QChar c) {
    return c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator || c.unicode() == 0xfdd0 ||
           c.unicode() == 0xfdd1;
}

}  // namespace

CSendBox::CSendBox(QWidget* parent) : QPlainTextEdit(parent) {
    connect(document(), &QTextDocument::contentsChange, this, &CSendBox::OnContentsChange);
}

QString CSendBox::TextOf(const QPlainTextEdit* box) {
    if (!box)
        return {};
    QTextDocument* doc = box->document();
    return JoinedText(doc, 0, doc->characterCount() - 1);
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
    add("edit-undo", QCoreApplication::translate("SendBox", "撤销"),
        editable && document()->isUndoAvailable(), [this] { undo(); });
    add("edit-redo", QCoreApplication::translate("SendBox", "重做"),
        editable && document()->isRedoAvailable(), [this] { redo(); });
    menu->addSeparator();
    add("edit-cut", QCoreApplication::translate("SendBox", "剪切"), editable && selection,
        [this] { cut(); });
    add("edit-copy", QCoreApplication::translate("SendBox", "复制"), selection, [this] { copy(); });
    // Through insertFromMimeData, like every other paste.
    add("edit-paste", QCoreApplication::translate("SendBox", "粘贴"), editable && canPaste(),
        [this] { paste(); });
    add("edit-delete", QCoreApplication::translate("SendBox", "删除"), editable && selection,
        [this] { textCursor().removeSelectedText(); });
    menu->addSeparator();
    add("select-all", QCoreApplication::translate("SendBox", "全选"), !document()->isEmpty(),
        [this] { selectAll(); });
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
    // Chosen before the text goes in: the box lays its paragraphs out as they are inserted.
    if (text.size() > kLongLine)
        SetWrapAnywhere(true);
    InsertPieces(text);
}

QMimeData* CSendBox::createMimeDataFromSelection() const {
    const QTextCursor cursor = textCursor();
    auto* data = new QMimeData;
    data->setText(JoinedText(document(), cursor.selectionStart(), cursor.selectionEnd()));
    return data;
}

// Inserts `text` at the cursor as one edit, a soft break after every kPiece characters of a
// paragraph. Runs of short lines go in through one insertText, which starts each new paragraph
// as a copy of the cursor's: so only while the cursor is in a continuation is a line break
// inserted here.
void CSendBox::InsertPieces(const QString& text) {
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    QTextBlockFormat hard = cursor.blockFormat();
    hard.clearProperty(kContinuation);
    QTextBlockFormat soft = hard;
    soft.setProperty(kContinuation, true);
    bool inContinuation = IsContinuation(cursor.block());
    qsizetype start = 0;  // of the text not yet inserted
    qsizetype run = cursor.positionInBlock();
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size;) {
        const QChar c = text[i];
        if (IsParagraphBreak(c)) {
            const qsizetype breakSize = c == u'\r' && i + 1 < size && text[i + 1] == u'\n' ? 2 : 1;
            if (inContinuation) {
                cursor.insertText(text.mid(start, i - start));
                cursor.insertBlock(hard);
                inContinuation = false;
                start = i + breakSize;
            }
            i += breakSize;
            run = 0;
            continue;
        }
        // Never between the halves of a surrogate pair.
        if (run >= kPiece && !c.isLowSurrogate()) {
            cursor.insertText(text.mid(start, i - start));
            cursor.insertBlock(soft);
            inContinuation = true;
            start = i;
            run = 0;
        }
        ++run;
        ++i;
    }
    cursor.insertText(text.mid(start));
    cursor.endEditBlock();
    setTextCursor(cursor);
    ensureCursorVisible();
}

void CSendBox::keyPressEvent(QKeyEvent* event) {
    if (!isReadOnly() && EditAtSoftBreak(event)) {
        event->accept();
        return;
    }
    const int before = textCursor().position();
    QPlainTextEdit::keyPressEvent(event);
    // A soft break is no character: a step onto it goes on to the next character.
    QTextCursor cursor = textCursor();
    const bool select = event->matches(QKeySequence::SelectNextChar) ||
                        event->matches(QKeySequence::SelectPreviousChar);
    const auto mode = select ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor;
    if ((select || event->matches(QKeySequence::MoveToNextChar)) &&
        cursor.position() == before + 1 && cursor.atBlockStart() &&
        IsContinuation(cursor.block()) && !cursor.atEnd()) {
        cursor.movePosition(QTextCursor::NextCharacter, mode);
        setTextCursor(cursor);
    } else if ((select || event->matches(QKeySequence::MoveToPreviousChar)) &&
               cursor.position() == before - 1 && cursor.atBlockEnd() &&
               IsContinuation(cursor.block().next()) && !cursor.atBlockStart()) {
        cursor.movePosition(QTextCursor::PreviousCharacter, mode);
        setTextCursor(cursor);
    }
}

// Return in a continuation starts a paragraph of its own (Qt's would copy the soft mark);
// Backspace and Delete at a soft break remove the character beyond it.
bool CSendBox::EditAtSoftBreak(QKeyEvent* event) {
    QTextCursor cursor = textCursor();
    if (cursor.hasSelection())
        return false;
    const QTextBlock block = cursor.block();
    if (event->matches(QKeySequence::InsertParagraphSeparator)) {
        if (!IsContinuation(block))
            return false;
        QTextBlockFormat hard = cursor.blockFormat();
        hard.clearProperty(kContinuation);
        cursor.insertBlock(hard);
    } else if (event->key() == Qt::Key_Backspace && !(event->modifiers() & ~Qt::ShiftModifier)) {
        if (!cursor.atBlockStart() || !IsContinuation(block) || block.previous().length() <= 1)
            return false;
        cursor.setPosition(block.position() - 1);
        cursor.deletePreviousChar();
    } else if (event->matches(QKeySequence::Delete)) {
        const QTextBlock next = block.next();
        if (!cursor.atBlockEnd() || !IsContinuation(next) || next.length() <= 1)
            return false;
        cursor.setPosition(next.position());
        cursor.deleteChar();
    } else {
        return false;
    }
    setTextCursor(cursor);
    ensureCursorVisible();
    return true;
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
