#include "pages/views/view_follower.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

ViewFollower::ViewFollower(QPlainTextEdit* view) : QObject(view), view_(view) {
    connect(view_->verticalScrollBar(), &QScrollBar::valueChanged, this, &ViewFollower::OnScrolled);
    connect(view_, &QPlainTextEdit::selectionChanged, this, &ViewFollower::OnSelectionChanged);
}

bool ViewFollower::AtEnd() const {
    const QScrollBar* bar = view_->verticalScrollBar();
    return bar->value() >= bar->maximum();
}

void ViewFollower::Follow() {
    following_ = true;
}

void ViewFollower::SetFollowing(bool following) {
    const bool resumed = following && !following_;
    following_ = following;
    if (resumed)
        emit followingResumed();
}

void ViewFollower::OnScrolled() {
    if (!changing_)
        SetFollowing(AtEnd());
}

void ViewFollower::OnSelectionChanged() {
    if (changing_)
        return;
    // A selection holds the view still; without one the view follows if it is at the end.
    SetFollowing(!view_->textCursor().hasSelection() && AtEnd());
}

void ViewFollower::Change(bool replaced, const std::function<void()>& change) {
    QScrollBar* bar = view_->verticalScrollBar();
    const bool keep = !following_;
    const int oldValue = bar->value();
    // The scroll value counts lines from the top; a cursor at the first line in sight moves
    // with the text when lines above it go.
    QTextCursor top = view_->cursorForPosition(QPoint(0, 0));
    const int lineInBlock = oldValue - top.block().firstLineNumber();
    changing_ = true;
    change();
    if (keep) {
        const int target = replaced ? oldValue : top.block().firstLineNumber() + lineInBlock;
        bar->setValue(std::min(target, bar->maximum()));
    }
    changing_ = false;
}

void ViewFollower::ScrollToEndIfFollowing() {
    if (!following_)
        return;
    QScrollBar* bar = view_->verticalScrollBar();
    changing_ = true;
    bar->setValue(bar->maximum());
    changing_ = false;
}
