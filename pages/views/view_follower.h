// Keeps a log view at its end while the user is there, and out of the user's way otherwise.
//
// The view follows the end of its text until the user scrolls away from the end or selects
// text; from then on new text neither moves the lines the user reads nor drops the selection
// (the scroll bar shows there is more), until the user scrolls back to the end (or clears the
// selection there). Only the user's scrolling and selecting count: changes the program makes
// inside Change() do not.
// Owned by the view (a child object); user-interface thread only.
#pragma once

#include <QObject>
#include <functional>

class QPlainTextEdit;

class ViewFollower : public QObject {
    Q_OBJECT

public:
    explicit ViewFollower(QPlainTextEdit* view);

    bool Following() const { return following_; }
    // Follows the end from now on (another log is shown, or the view was emptied).
    void Follow();
    // Runs `change`, the program's change of the view's text. A user who does not follow
    // keeps the lines in sight: the first of them stays at the top when lines are removed
    // above it, and a `replaced` text keeps the scroll position.
    void Change(bool replaced, const std::function<void()>& change);
    // Moves the view to its last line if it follows the end.
    void ScrollToEndIfFollowing();

signals:
    // The user came back to the end: the view follows it again.
    void followingResumed();

private:
    bool AtEnd() const;
    void OnScrolled();
    void OnSelectionChanged();
    void SetFollowing(bool following);

    QPlainTextEdit* view_;
    bool following_ = true;
    bool changing_ = false;  // inside Change() or the program's own scrolling
};
