// Keeps a read-only view showing one log (a record's received or sent log).
//
// The view holds only the log's tail, about kTailSize characters, turned into text when shown:
// showing the entry of a gigabyte costs what showing a short one costs, and the shown
// entry holds no second copy of its log. The whole log stays in the record (the received
// view's menu saves it). A log only grows between two updates unless the page clears it, so
// the view appends just the lines that are new when it still shows the same record's log,
// and drops its oldest lines once it holds twice the tail. The whole text is replaced when
// another record is shown, the log was cleared or more is new than the tail holds.
// The view shows the lines as text or as hex (LogForm, pages/views/log_lines.h); switching the form
// makes the next update replace the whole text.
// User-interface thread only; the caller reads the log under g_connectLock (or inside a
// notification handler, where the sending worker holds it).
#pragma once

#include <QPointer>
#include <cstddef>
#include <cstdint>
#include <string>

#include "pages/views/log_lines.h"
#include "pages/views/view_follower.h"

class CompactLog;

class QPlainTextEdit;

class LogView {
public:
    // `earlierNote`: the line the view shows above a tail that is not the whole log, saying
    // where the rest can be had.
    explicit LogView(QPlainTextEdit* view, std::u16string earlierNote = {});

    // About how many characters of a log's tail the view shows.
    static constexpr std::uint64_t kTailSize = 256 * 1024;

    // Makes the view show the tail of `log`, the log of `owner`.
    void Show(const void* owner, const CompactLog& log);
    // The form of the lines from the next update on (the next Read replaces the text).
    void SetForm(LogForm form) { form_ = form; }
    LogForm Form() const { return form_; }
    // Stamps with milliseconds from the next update on (the next Read replaces the text).
    void SetMilliseconds(bool on) { milliseconds_ = on; }
    bool Milliseconds() const { return milliseconds_; }
    // Show in two steps, so that the lock guarding the log is held only while it is read:
    // Read takes what the view lacks (under the lock), Apply puts it into the view (without).
    // Nothing else may change the view in between.
    struct Update {
        const void* owner = nullptr;
        std::uint64_t generation = 0;
        std::size_t lines = 0;
        bool replace = false;    // the text replaces the view's, or else follows it
        bool partial = false;    // replacing: the text is a tail, not the whole log
        bool shortTail = false;  // replacing: the tail is shorter than kTailSize
        bool skip = false;       // nothing to change: the view stays as it is
        LogForm form = LogForm::Text;
        bool milliseconds = false;
        std::u16string text;
    };
    // `tail`: the most a replacing text holds (a flood is shown with less than kTailSize,
    // see EntryViews). While the user reads earlier lines (the view does not follow the
    // end), new lines are only appended: when more is new than `tail`, the update is
    // skipped and the view stays as it is, lines and place.
    Update Read(const void* owner, const CompactLog& log, std::uint64_t tail = kTailSize) const;
    // The view shows a tail shorter than kTailSize of a log that holds more.
    bool ShowsShortTail() const { return shortTail_; }
    // The view follows the end of its text (see ViewFollower).
    bool Following() const;
    // May throw std::bad_alloc (the caller decides what stops).
    void Apply(const Update& update);
    // Empties the view; it then shows no record's log.
    void Clear();
    // The record is going away: the view keeps its text but no longer counts as showing
    // that record, so a later record at the same address is shown from scratch.
    void Forget(const void* owner);
    // Moves the view to its last line after the current event has been handled, if the view
    // follows the end (the user has not scrolled away from it or selected text, see
    // ViewFollower); several requests before that are served by one scroll.
    void ScrollToEndLater();

    QPlainTextEdit* Widget() const { return view_; }
    ViewFollower* Follower() const { return follower_; }
    const void* Owner() const { return owner_; }
    // The log line just past the last one the view's text shows.
    std::size_t EndLine() const { return held_ ? excerptEnd_ : shownLines_; }

    // Shows `text`, lines [.., endLine) of `owner`'s log (a stretch around a found place),
    // instead of the tail, and holds it: updates of that log wait until Release (which makes
    // the next update show the tail again).
    void ShowExcerpt(const void* owner, const QString& text, std::size_t endLine);
    void Release();
    bool Held() const { return held_; }

private:
    // Drops whole paragraphs from the top once the view holds twice the tail (the note on
    // earlier lines stays first).
    void DropOldestLines();

    QPlainTextEdit* view_;
    QPointer<ViewFollower> follower_;  // a child of view_
    std::u16string earlierNote_;
    const void* owner_ = nullptr;
    std::uint64_t generation_ = 0;       // owner_'s log's generation when shown
    std::size_t shownLines_ = 0;         // lines of owner_'s log the view holds, up to its end
    LogForm form_ = LogForm::Text;       // the form wanted
    LogForm shownForm_ = LogForm::Text;  // the form of the text the view holds
    bool milliseconds_ = false;          // stamps wanted with milliseconds
    bool shownMilliseconds_ = false;     // the stamps of the text the view holds
    bool scrollPending_ = false;
    bool held_ = false;  // an excerpt of owner_'s log is shown
    std::size_t excerptEnd_ = 0;
    bool shortTail_ = false;
};
