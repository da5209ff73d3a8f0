// Keeps a read-only view showing one log (a record's received or sent text).
//
// A log only ever grows between two updates unless the page clears it, so the view appends
// just the new tail when it still shows the same record's log; a flood into the shown
// record then costs time in proportion to the new data, not to the whole log. The whole
// text is replaced when another record is shown or the log got shorter (it was cleared).
// User-interface thread only; the caller reads the log under g_connectLock (or inside a
// notification handler, where the sending worker holds it).
#pragma once

#include <cstddef>
#include <string>

class QPlainTextEdit;

class LogView {
public:
    explicit LogView(QPlainTextEdit* view);

    // Makes the view show `log`, the log of `owner`.
    void Show(const void* owner, const std::u16string& log);
    // Empties the view; it then shows no record's log.
    void Clear();
    // The record is going away: the view keeps its text but no longer counts as showing
    // that record, so a later record at the same address is shown from scratch.
    void Forget(const void* owner);
    // Moves the view to its last line after the current event has been handled; several
    // requests before that are served by one scroll.
    void ScrollToEndLater();

    QPlainTextEdit* Widget() const { return view_; }
    const void* Owner() const { return owner_; }

private:
    QPlainTextEdit* view_;
    const void* owner_ = nullptr;
    std::size_t shownLength_ = 0;  // how much of owner_'s log the view holds
    bool scrollPending_ = false;
};
