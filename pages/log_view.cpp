#include "pages/log_view.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include "net/compact_log.h"

namespace {

// Longest run of log text the view keeps in one paragraph.
constexpr std::size_t kMaxParagraphLength = 4 * 1024;

// The view's form of a stretch of log text. A text document spends most of its time per
// paragraph, and a log of short lines would make one paragraph per line; so line breaks
// inside a stretch become line separators (U+2028), shown as line breaks and given back as
// "\n" by toPlainText(), and only the stretch's last line feed (or one break every
// kMaxParagraphLength characters, so that no paragraph grows too long to lay out quickly)
// stays a paragraph break. A carriage return right before a line feed is dropped: the
// document would take it for a break of its own, and a peer ending its lines with "\r\n"
// would get an extra empty line in the view for each of them. A lone carriage return is a
// line break like a line feed (the document would otherwise make it a paragraph of its own).
QString ViewText(const char16_t* text, std::size_t length) {
    QString out(reinterpret_cast<const QChar*>(text), static_cast<qsizetype>(length));
    char16_t* data = reinterpret_cast<char16_t*>(out.data());
    std::size_t paragraphStart = 0;
    std::size_t kept = 0;  // characters written back so far (dropped ones close the gap)
    for (std::size_t i = 0; i < length; ++i) {
        const char16_t c = data[i];
        if (c == u'\r' && i + 1 < length && data[i + 1] == u'\n')
            continue;
        data[kept++] = c;
        if (c != u'\n' && c != u'\r')
            continue;
        const bool last = c == u'\n' && i + 1 == length;
        if (last || i - paragraphStart >= kMaxParagraphLength) {
            data[kept - 1] = u'\n';
            paragraphStart = i + 1;
        } else {
            data[kept - 1] = QChar::LineSeparator;
        }
    }
    out.truncate(static_cast<qsizetype>(kept));
    return out;
}

}  // namespace

LogView::LogView(QPlainTextEdit* view, std::u16string earlierNote)
    : view_(view), earlierNote_(std::move(earlierNote)) {
    if (view_) {
        // The views are written only by the program; an undo history would keep a second
        // copy of every log.
        view_->setUndoRedoEnabled(false);
    }
}

LogView::Update LogView::Read(const void* owner, const CompactLog& log) const {
    Update update;
    update.owner = owner;
    update.generation = log.Generation();
    update.lines = log.LineCount();
    const bool sameLog = owner == owner_ && owner != nullptr && update.generation == generation_ &&
                         update.lines >= shownLines_;
    if (sameLog && log.Measure(shownLines_, update.lines) <= kTailSize) {
        update.text = log.Text(shownLines_, update.lines - shownLines_);
    } else {
        const std::size_t first = log.TailStart(kTailSize);
        update.text = log.Text(first, update.lines - first);
        update.replace = true;
        update.partial = first > 0;
    }
    return update;
}

void LogView::Apply(const Update& update) {
    if (!view_)
        return;
    if (update.replace) {
        QString text = ViewText(update.text.data(), update.text.size());
        if (update.partial && !earlierNote_.empty())
            text.prepend(QString::fromStdU16String(earlierNote_ + u'\n'));
        view_->setPlainText(text);
    } else if (!update.text.empty()) {
        QTextCursor cursor(view_->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(ViewText(update.text.data(), update.text.size()));
        DropOldestLines();
    }
    owner_ = update.owner;
    generation_ = update.generation;
    shownLines_ = update.lines;
}

void LogView::Show(const void* owner, const CompactLog& log) {
    Apply(Read(owner, log));
}

void LogView::DropOldestLines() {
    QTextDocument* document = view_->document();
    const int keep = static_cast<int>(kTailSize);
    if (document->characterCount() <= 2 * keep)
        return;
    // Paragraphs begin at the start of a log line (see ViewText).
    const QTextBlock first = document->findBlock(document->characterCount() - keep);
    if (!first.isValid() || first.position() == 0)
        return;
    QTextCursor cursor(document);
    cursor.setPosition(first.position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    if (!earlierNote_.empty()) {
        cursor.insertText(QString::fromStdU16String(earlierNote_));
        cursor.insertBlock();
    }
}

void LogView::Clear() {
    if (view_)
        view_->clear();
    owner_ = nullptr;
    shownLines_ = 0;
}

void LogView::Forget(const void* owner) {
    if (owner_ == owner) {
        owner_ = nullptr;
        shownLines_ = 0;
    }
}

void LogView::ScrollToEndLater() {
    if (!view_ || scrollPending_)
        return;
    scrollPending_ = true;
    QPointer<QPlainTextEdit> view = view_;
    QTimer::singleShot(0, view_, [this, view] {
        scrollPending_ = false;
        if (view)
            view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
    });
}
