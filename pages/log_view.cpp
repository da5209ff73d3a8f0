#include "pages/log_view.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>

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
            cursor.insertText(
                QString::fromUtf16(log.data() + shownLength_, static_cast<qsizetype>(added)));
        }
    } else {
        view_->setPlainText(QString::fromStdU16String(log));
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
