#include "pages/views/log_view.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include "net/compact_log.h"
#include "pages/views/view_follower.h"
#include "platform/allocation_fault.h"

namespace {

// Longest run of log text the view keeps in one paragraph (laid out in about a millisecond).
constexpr std::size_t kMaxParagraphLength = 4 * 1024;
// Longest run without a line break the view keeps in one paragraph: a line longer than this
// reads as several.
constexpr std::size_t kMaxLineLength = 1024;

// The view's form of a stretch of log text. A text document spends most of its time per
// paragraph, and a log of short lines would make one paragraph per line; so line breaks
// inside a stretch become line separators (U+2028), shown as line breaks and given back as
// "\n" by toPlainText(), and only the stretch's last line feed (and the line breaks that
// keep paragraphs within kMaxParagraphLength characters) stays a paragraph break. A paragraph
// is laid out as a whole, and a line without break points in time quadratic in its length:
// so a line longer than kMaxLineLength is cut into paragraphs of that length (it then reads
// as several lines; the record keeps it whole).
// A carriage return right before a line feed is dropped: the document would take it for a
// break of its own, and a peer ending its lines with "\r\n" would get an extra empty line in
// the view for each of them. A lone carriage return is a line break like a line feed (the
// document would otherwise make it a paragraph of its own).
QString ViewText(const char16_t* text, std::size_t length) {
    QString out;
    out.reserve(static_cast<qsizetype>(length + length / kMaxParagraphLength + 1));
    std::size_t paragraphStart = 0;  // in `out`
    std::size_t lineStart = 0;       // in `out`
    const auto breakParagraph = [&] {
        out.append(u'\n');
        paragraphStart = lineStart = static_cast<std::size_t>(out.size());
    };
    for (std::size_t i = 0; i < length; ++i) {
        const char16_t c = text[i];
        if (c == u'\r' && i + 1 < length && text[i + 1] == u'\n')
            continue;
        const std::size_t size = static_cast<std::size_t>(out.size());
        if (c != u'\n' && c != u'\r') {
            if (size - paragraphStart >= kMaxParagraphLength && lineStart > paragraphStart) {
                // Full: the paragraph ends at its last line break instead.
                out[static_cast<qsizetype>(lineStart - 1)] = u'\n';
                paragraphStart = lineStart;
            }
            if (size - lineStart >= kMaxLineLength)
                breakParagraph();
            out.append(QChar(c));
        } else if ((c == u'\n' && i + 1 == length) ||
                   size - paragraphStart >= kMaxParagraphLength) {
            breakParagraph();
        } else {
            out.append(QChar::LineSeparator);
            lineStart = size + 1;
        }
    }
    return out;
}

}  // namespace

LogView::LogView(QPlainTextEdit* view, std::u16string earlierNote)
    : view_(view), earlierNote_(std::move(earlierNote)) {
    if (view_) {
        follower_ = new ViewFollower(view_);
        // The views are written only by the program; an undo history would keep a second
        // copy of every log.
        view_->setUndoRedoEnabled(false);
    }
}

bool LogView::Following() const {
    return follower_ && follower_->Following();
}

LogView::Update LogView::Read(const void* owner, const CompactLog& log, std::uint64_t tail) const {
    Update update;
    update.owner = owner;
    update.generation = log.Generation();
    update.lines = log.LineCount();
    update.form = form_;
    update.milliseconds = milliseconds_;
    const bool sameLog = owner == owner_ && owner != nullptr && update.generation == generation_ &&
                         update.lines >= shownLines_ && shownForm_ == form_ &&
                         shownMilliseconds_ == milliseconds_;
    if (sameLog && MeasureLogLines(log, shownLines_, update.lines, form_) <= tail) {
        update.text =
            LogLinesText(log, shownLines_, update.lines - shownLines_, form_, milliseconds_);
    } else if (sameLog && !Following()) {
        update.skip = true;  // the reader's lines stay where they are
    } else {
        const std::size_t first = LogTailStart(log, tail, form_);
        update.text = LogLinesText(log, first, update.lines - first, form_, milliseconds_);
        update.replace = true;
        update.partial = first > 0;
        update.shortTail = update.partial && tail < kTailSize;
    }
    return update;
}

void LogView::Apply(const Update& update) {
    if (!view_)
        return;
    ReachAllocationPoint(AllocationPoint::kViewRefresh);  // tests inject running out here
    if (held_) {
        if (update.owner == owner_)
            return;  // the excerpt stays until released
        held_ = false;
    }
    if (update.skip)
        return;
    if (update.owner != owner_)
        follower_->Follow();
    if (update.replace) {
        QString text = ViewText(update.text.data(), update.text.size());
        if (update.partial && !earlierNote_.empty())
            text.prepend(QString::fromStdU16String(earlierNote_ + u'\n'));
        follower_->Change(true, [&] { view_->setPlainText(text); });
        shortTail_ = update.shortTail;
    } else if (!update.text.empty()) {
        follower_->Change(false, [&] {
            QTextCursor cursor(view_->document());
            cursor.movePosition(QTextCursor::End);
            cursor.insertText(ViewText(update.text.data(), update.text.size()));
            DropOldestLines();
        });
    }
    owner_ = update.owner;
    generation_ = update.generation;
    shownLines_ = update.lines;
    shownForm_ = update.form;
    shownMilliseconds_ = update.milliseconds;
}

void LogView::Show(const void* owner, const CompactLog& log) {
    Apply(Read(owner, log));
}

void LogView::DropOldestLines() {
    QTextDocument* document = view_->document();
    const int keep = static_cast<int>(kTailSize);
    if (document->characterCount() <= 2 * keep)
        return;
    // Paragraphs begin at the start of a log line, or inside one longer than a paragraph
    // holds (see ViewText).
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

void LogView::ShowExcerpt(const void* owner, const QString& text, std::size_t endLine) {
    if (!view_)
        return;
    follower_->Change(true, [&] { view_->setPlainText(text); });
    owner_ = owner;
    held_ = true;
    excerptEnd_ = endLine;
}

void LogView::Release() {
    if (!held_)
        return;
    held_ = false;
    owner_ = nullptr;  // the next update replaces the excerpt with the tail
    if (follower_)
        follower_->Follow();
}

void LogView::Clear() {
    held_ = false;
    if (view_) {
        view_->clear();
        follower_->Follow();
    }
    owner_ = nullptr;
    shownLines_ = 0;
    shortTail_ = false;
}

void LogView::Forget(const void* owner) {
    if (owner_ == owner) {
        held_ = false;
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
        if (view && follower_)
            follower_->ScrollToEndIfFollowing();
    });
}
