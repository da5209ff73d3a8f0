#include "pages/log_view.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>

namespace {

// Longest run of log text the view keeps in one paragraph.
constexpr std::size_t kMaxParagraphLength = 4 * 1024;

// The view's form of a stretch of log text. A text document spends most of its time per
// paragraph, and a log of short lines would make one paragraph per line; so line feeds
// inside a stretch become line separators (U+2028), shown as line breaks and given back as
// "\n" by toPlainText(), and only the stretch's last line feed (or one every
// kMaxParagraphLength characters, so that no paragraph grows too long to lay out quickly)
// stays a paragraph break. The text the view shows and gives back is the log, unchanged.
QString ViewText(const char16_t* text, std::size_t length) {
    QString out(reinterpret_cast<const QChar*>(text), static_cast<qsizetype>(length));
    std::size_t paragraphStart = 0;
    char16_t* data = reinterpret_cast<char16_t*>(out.data());
    for (std::size_t i = 0; i < length; ++i) {
        if (data[i] != u'\n')
            continue;
        const bool last = i + 1 == length;
        if (last || i - paragraphStart >= kMaxParagraphLength) {
            paragraphStart = i + 1;
        } else {
            data[i] = QChar::LineSeparator;
        }
    }
    return out;
}

}  // namespace

LogView::LogView(QPlainTextEdit* view) : view_(view) {
    if (view_) {
        // The views are written only by the program; an undo history would keep a second
        // copy of every log.
        view_->setUndoRedoEnabled(false);
    }
}

void LogView::Show(const void* owner, const std::u16string& log) {
    if (!view_)
        return;
    if (owner == owner_ && owner != nullptr && log.size() >= shownLength_) {
        const std::size_t added = log.size() - shownLength_;
        if (added > 0) {
            QTextCursor cursor(view_->document());
            cursor.movePosition(QTextCursor::End);
            cursor.insertText(ViewText(log.data() + shownLength_, added));
        }
    } else {
        view_->setPlainText(ViewText(log.data(), log.size()));
    }
    owner_ = owner;
    shownLength_ = log.size();
}

void LogView::Clear() {
    if (view_)
        view_->clear();
    owner_ = nullptr;
    shownLength_ = 0;
}

void LogView::Forget(const void* owner) {
    if (owner_ == owner) {
        owner_ = nullptr;
        shownLength_ = 0;
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
