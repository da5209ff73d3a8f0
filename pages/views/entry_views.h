// EntryViews: the received view and the sent view of a page, showing the logs of the shown
// entry (the tree's caret item). Holds the shown record, batches a flood of received data
// into one refresh, empties logs and views for the two clear buttons, saves the whole
// received log, and gives each view a context menu to which the page and its tools add
// their own actions.
//
// A view whose refresh runs out of memory (std::bad_alloc) stops refreshing with a note in it;
// the program and the other view go on, and showing an entry again resumes it.
//
// Threads: user-interface thread only. Outside the notification handlers the views take
// g_connectLock (UiCritSecGuard) while they read or change a record's received side;
// OnDataAppended runs inside a WM_CONNECT_DATA handler, whose worker holds the lock.
#pragma once

#include <QElapsedTimer>
#include <QEvent>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "pages/views/log_view.h"

class CompactLog;
class LogSaver;
class QAction;
class QProgressDialog;
class QMenu;
class QPlainTextEdit;
class QTimer;
class QWidget;
struct ConnectInfo;

class EntryViews : public QObject {
    Q_OBJECT

public:
    enum class View { Received, Sent };

    // `page` parents the message boxes and the save dialog; `isSelected` tells whether a
    // record's entry is the tree's selected item (data is shown only for that one).
    EntryViews(QWidget* page, std::function<bool(const ConnectInfo*)> isSelected);
    // The views of the page's template (either may be null).
    void Bind(QPlainTextEdit* received, QPlainTextEdit* sent);

    QPlainTextEdit* Widget(View view) const;
    const ConnectInfo* ShownRecord() const { return shown_; }
    bool IsShown(const ConnectInfo* record) const { return record && record == shown_; }

    // Shows both logs of `record` and scrolls both views to the end. The caller holds
    // g_connectLock (or runs inside a notification handler).
    void Show(const ConnectInfo& record);
    // Empties both views; no record is shown (the host node was clicked).
    void ShowNothing();
    // The record's sent log got a line: shown if its entry is selected.
    void SentLogChanged(const ConnectInfo& record);
    // Empties the sent view only (typed text of spaces only); the shown entry stays shown.
    void EmptySentView();
    // A line the sent view shows below the shown record's log while something of it waits
    // to go (empty: none); asked whenever the sent view changes.
    void SetSentWaitingText(std::function<QString(const ConnectInfo& record)> text);
    // What waits for `record` changed: its line is shown anew if its entry is shown.
    void SentWaitingChanged(const ConnectInfo& record);
    // The record is about to be freed: no view counts it as shown any more.
    void Forget(const ConnectInfo* record);

    // WM_CONNECT_DATA, wParam 0, inside the handler: returns false when the record's entry is
    // not selected (the page marks it); otherwise the record's data counts as seen and is
    // shown within kReceivedViewRefreshMs. From then on the view follows the log by itself
    // while it grows (the workers need not tell the page, see ConnectInfo::pageWillLook), at a
    // pace set by what showing it costs: the window spends at most about 1/kPaceFactor of its
    // time on a flood, and shows a shorter tail (kFloodTailSize) while the flood lasts. Between
    // two such refreshes the view looks every kPauseCheckMs whether the log still grows: when
    // it has not grown since the last look, the flood paused and its end is shown at once, not
    // at the next paced refresh. When the log stops growing, the view shows the whole tail once
    // more and stops following.
    bool OnDataAppended(ConnectInfo& record);
    static constexpr int kReceivedViewRefreshMs = 30;
    static constexpr int kLongestRefreshMs = 500;
    static constexpr int kPauseCheckMs = 10;
    static constexpr int kPaceFactor = 50;
    static constexpr std::uint64_t kFloodTailSize = 16 * 1024;

    // How a view shows lines (text or hex); switching shows the shown record's log again.
    void SetLineForm(View view, LogForm form);
    LogForm LineForm(View view) const { return PaneOf(view).log.Form(); }
    // The view's log (for tools that read or place its text).
    LogView& ViewLog(View view) { return PaneOf(view).log; }
    // The shown record's log that `view` shows.
    const CompactLog* ShownLog(View view) const;
    // Shows `text`, a stretch of the shown record's log ending before line `endLine`, in
    // `view` and holds it there (LogView::ShowExcerpt) until ShowAgain.
    void ShowExcerpt(View view, const QString& text, std::size_t endLine);
    // Shows the shown record's log in `view` anew (its tail, an excerpt released).
    void ShowAgain(View view);
    // Whether a view's stamps show milliseconds; switching shows the shown record's log again.
    void SetMilliseconds(View view, bool on);
    bool Milliseconds(View view) const { return PaneOf(view).log.Milliseconds(); }

    // The clear buttons, for the selected entry's record (null: the user is told).
    void ClearReceived(ConnectInfo* record);
    void ClearSent(ConnectInfo* record);

    // Context menus: `action` is appended (after a separator) to the view's menu each time
    // it opens; the caller keeps it alive and decides its enabled and checked state.
    void AddMenuAction(View view, QAction* action);
    // For actions that depend on the moment: `fill` runs each time the view's menu opens,
    // after the added actions, and may add to it.
    using MenuFiller = std::function<void(QMenu& menu)>;
    void AddMenuFiller(View view, MenuFiller fill);

    // Answers the save dialog of the received view's menu instead of the user (an empty path
    // cancels).
    void SetSaveFileChooserForTesting(std::function<QString()> chooser);
    // The save running on its thread (null when none), with its progress box.
    LogSaver* RunningSave() const { return saver_; }
    QProgressDialog* SaveProgress() const { return saveProgress_; }

private:
    struct Pane {
        LogView log{nullptr};
        std::vector<QAction*> actions;
        std::vector<MenuFiller> fillers;
        // Memory ran out while the view was refreshed: it stays as it is, with a note,
        // until an entry is shown again.
        bool paused = false;
    };
    Pane& PaneOf(View view) { return view == View::Received ? received_ : sent_; }
    // Runs `change` on the pane's view unless its refresh is paused; out of memory there
    // pauses it. The sent view's waiting line is taken away before and put back after.
    void Refresh(Pane& pane, const std::function<void()>& change);
    void Pause(Pane& pane);
    void RemoveWaitingLine();
    void AddWaitingLine();
    const Pane& PaneOf(View view) const { return view == View::Received ? received_ : sent_; }
    void ShowMenu(View view, const QPoint& at);
    // Both on the user-interface thread: RefreshReceived from the refresh timer, and
    // PaceAfterRefresh once the window has painted what a refresh that found the log growing
    // showed; it sets the next refresh by what that cost, painting included.
    void RefreshReceived();
    void PaceAfterRefresh();
    // From the pause timer, between paced refreshes: refreshes now when the followed log has
    // not grown since the last check (and has since the last refresh).
    void CheckForPause();
    bool event(QEvent* event) override;
    static constexpr QEvent::Type kRefreshPaintedEvent = QEvent::Type(QEvent::User + 71);
    // The view no longer follows `followed_`: its next data is told to the page again.
    // Takes g_connectLock (outside notification handlers only).
    void StopFollowing();
    void SaveShownReceivedLog();
    void OnSaveFinished(bool saved);
    // The save reading `log` stops (the log is cleared or freed). The caller holds
    // g_connectLock.
    void AbandonSaveOf(const void* log);

    QWidget* page_;
    std::function<bool(const ConnectInfo*)> isSelected_;
    Pane received_;
    Pane sent_;
    const ConnectInfo* shown_ = nullptr;
    // The selected record whose log the received view follows (RefreshReceived), or null.
    ConnectInfo* followed_ = nullptr;
    std::size_t followedLines_ = 0;      // its line count at the last refresh
    std::int64_t followedBytes_ = 0;     // the bytes it had received then
    bool flooding_ = false;              // the last refresh found the log grown
    double refreshCostFrom_ = -1;        // its thread CPU time (ms) when it began, until paced
    std::int64_t pauseCheckBytes_ = -1;  // the bytes it had received at the last pause check
    QElapsedTimer sinceRefresh_;         // since the last refresh of the received view
    QTimer* refreshTimer_;
    QTimer* pauseTimer_;
    QAction* saveReceived_;
    std::function<QString()> saveFileChooser_;
    LogSaver* saver_ = nullptr;
    QProgressDialog* saveProgress_ = nullptr;
    QTimer* saveTimer_ = nullptr;  // moves the progress box on
    std::function<QString(const ConnectInfo&)> sentWaitingText_;
    // Where the sent view's waiting line begins (it runs to the end), or -1.
    int waitingLineAt_ = -1;
};
