#include "pages/views/entry_views.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>
#include <ctime>
#include <new>

#include "net/connect_info.h"
#include "net/crit_sec.h"
#include "pages/dialogs/file_dialogs.h"
#include "pages/views/log_file.h"
#include "pages/views/view_follower.h"
#include "platform/message_box.h"

EntryViews::EntryViews(QWidget* page, std::function<bool(const ConnectInfo*)> isSelected)
    : QObject(page),
      page_(page),
      isSelected_(std::move(isSelected)),
      refreshTimer_(new QTimer(this)),
      pauseTimer_(new QTimer(this)),
      saveReceived_(
          new QAction(QCoreApplication::translate("EntryViews", "保存收到的全部信息..."), this)) {
    refreshTimer_->setSingleShot(true);
    refreshTimer_->setInterval(kReceivedViewRefreshMs);
    connect(refreshTimer_, &QTimer::timeout, this, [this] { RefreshReceived(); });
    pauseTimer_->setInterval(kPauseCheckMs);
    connect(pauseTimer_, &QTimer::timeout, this, [this] { CheckForPause(); });
    connect(saveReceived_, &QAction::triggered, this, [this] { SaveShownReceivedLog(); });
    received_.actions.push_back(saveReceived_);
}

void EntryViews::Bind(QPlainTextEdit* received, QPlainTextEdit* sent) {
    received_.log = LogView(
        received,
        QCoreApplication::translate(
            "EntryViews", "（更早收到的信息未在此显示，右键菜单“保存收到的全部信息...”可保存全部）")
            .toStdU16String());
    sent_.log = LogView(
        sent,
        QCoreApplication::translate("EntryViews", "（更早发送的信息未在此显示）").toStdU16String());
    // Back at the end after reading earlier lines: the view catches up.
    if (ViewFollower* follower = received_.log.Follower()) {
        connect(follower, &ViewFollower::followingResumed, this, [this] {
            if (shown_ && !refreshTimer_->isActive())
                refreshTimer_->start(kReceivedViewRefreshMs);
        });
    }
    for (View view : {View::Received, View::Sent}) {
        QPlainTextEdit* widget = Widget(view);
        if (!widget)
            continue;
        widget->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(widget, &QWidget::customContextMenuRequested, this,
                [this, view](const QPoint& at) { ShowMenu(view, at); });
    }
}

QPlainTextEdit* EntryViews::Widget(View view) const {
    return (view == View::Received ? received_ : sent_).log.Widget();
}

// ---- showing -------------------------------------------------------------------------------

void EntryViews::Show(const ConnectInfo& record) {
    if (followed_ != &record)
        StopFollowing();
    shown_ = &record;
    // Shown again by the user: a paused view starts afresh.
    for (Pane* pane : {&received_, &sent_}) {
        if (pane->paused) {
            pane->paused = false;
            RemoveWaitingLine();
            pane->log.Clear();
        }
    }
    Refresh(received_, [&] {
        received_.log.Show(&record, record.recvLog);
        received_.log.ScrollToEndLater();
    });
    Refresh(sent_, [&] {
        sent_.log.Show(&record, record.sendLog);
        sent_.log.ScrollToEndLater();
    });
}

void EntryViews::ShowNothing() {
    StopFollowing();
    shown_ = nullptr;
    for (Pane* pane : {&received_, &sent_}) {
        pane->paused = false;
        Refresh(*pane, [pane] { pane->log.Clear(); });
    }
}

void EntryViews::SentLogChanged(const ConnectInfo& record) {
    if (!isSelected_(&record))
        return;
    Refresh(sent_, [&] {
        sent_.log.Show(&record, record.sendLog);
        sent_.log.ScrollToEndLater();
    });
}

void EntryViews::EmptySentView() {
    Refresh(sent_, [this] { sent_.log.Clear(); });
}

void EntryViews::SetSentWaitingText(std::function<QString(const ConnectInfo& record)> text) {
    sentWaitingText_ = std::move(text);
}

void EntryViews::SentWaitingChanged(const ConnectInfo& record) {
    if (IsShown(&record))
        Refresh(sent_, [] {});
}

void EntryViews::Forget(const ConnectInfo* record) {
    AbandonSaveOf(&record->recvLog);
    received_.log.Forget(record);
    sent_.log.Forget(record);
    if (followed_ == record)
        followed_ = nullptr;
    if (shown_ == record) {
        shown_ = nullptr;
        RemoveWaitingLine();
    }
}

void EntryViews::Refresh(Pane& pane, const std::function<void()>& change) {
    if (pane.paused || !pane.log.Widget())
        return;
    const bool sent = &pane == &sent_;
    try {
        if (sent)
            RemoveWaitingLine();
        change();
        if (sent)
            AddWaitingLine();
    } catch (const std::bad_alloc&) {
        Pause(pane);
    }
}

void EntryViews::Pause(Pane& pane) {
    pane.paused = true;
    if (&pane == &received_) {
        StopFollowing();
        refreshTimer_->stop();
    }
    waitingLineAt_ = &pane == &sent_ ? -1 : waitingLineAt_;
    // The note may need memory too; without it the view just stays as it is.
    try {
        QTextCursor cursor(pane.log.Widget()->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(
            QCoreApplication::translate("EntryViews", "\n（内存不足：此视图暂停刷新）\n"));
        pane.log.ScrollToEndLater();
    } catch (const std::bad_alloc&) {
    }
}

void EntryViews::RemoveWaitingLine() {
    QPlainTextEdit* view = sent_.log.Widget();
    if (waitingLineAt_ < 0 || !view)
        return;
    QTextCursor cursor(view->document());
    cursor.setPosition(waitingLineAt_);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    waitingLineAt_ = -1;
}

void EntryViews::AddWaitingLine() {
    QPlainTextEdit* view = sent_.log.Widget();
    if (!shown_ || !sentWaitingText_ || !view)
        return;
    const QString line = sentWaitingText_(*shown_);
    if (line.isEmpty())
        return;
    // The log ends with a line feed, so its view ends with an empty paragraph: the line
    // goes there, and taking it away leaves the view as the log made it.
    QTextCursor cursor(view->document());
    cursor.movePosition(QTextCursor::End);
    waitingLineAt_ = cursor.position();
    cursor.insertText(line);
    sent_.log.ScrollToEndLater();
}

bool EntryViews::OnDataAppended(ConnectInfo& record) {
    if (!isSelected_(&record))
        return false;
    // Data shown as it arrives is seen: the entry keeps no unseen mark when its peer closes.
    // No lock here: the worker that sent the notification holds it.
    record.unread = 0;
    if (followed_ != &record) {
        followed_ = &record;  // one followed before belongs to an entry no longer selected
        followedLines_ = 0;
        followedBytes_ = record.recvBytes;
        flooding_ = false;
    }
    if (!refreshTimer_->isActive())
        refreshTimer_->start(kReceivedViewRefreshMs);
    return true;
}

void EntryViews::StopFollowing() {
    pauseTimer_->stop();
    if (!followed_)
        return;
    UiCritSecGuard lock(g_connectLock);
    followed_->pageWillLook = false;
    followed_ = nullptr;
}

namespace {

double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

}  // namespace

void EntryViews::RefreshReceived() {
    // The followed record, or the shown one when the user came back to the end.
    ConnectInfo* record = followed_;
    if (!record && shown_ && isSelected_(shown_))
        record = const_cast<ConnectInfo*>(shown_);  // the page's own record, shown
    if (!record || !isSelected_(record) || received_.paused) {
        StopFollowing();
        return;
    }
    // From the timer, outside any handler. The lock is held only while the new lines are
    // read: the receive threads need not wait while the view lays them out.
    const double costFrom = ThreadCpuMs();
    bool grew = false;
    Refresh(received_, [&] {
        LogView::Update update;
        {
            UiCritSecGuard lock(g_connectLock);
            const CompactLog& log = record->recvLog;
            record->unread = 0;  // shown as it arrives: seen
            grew = record == followed_ && log.LineCount() != followedLines_;
            followedLines_ = log.LineCount();
            // More than a short tail's worth since the last look: a flood has begun.
            const bool burst = grew && record->recvBytes - followedBytes_ >
                                           static_cast<std::int64_t>(kFloodTailSize);
            followedBytes_ = record->recvBytes;
            // A flood in progress is shown by a short tail; once it pauses, by the whole tail
            // (read afresh when the view showed a short one and the user is at the end).
            const bool flood = grew && (flooding_ || burst);
            if (!flood && received_.log.ShowsShortTail() && received_.log.Following())
                received_.log.Forget(record);  // read whole, not only what is new
            update = received_.log.Read(record, log, flood ? kFloodTailSize : LogView::kTailSize);
            if (!grew && record == followed_) {
                record->pageWillLook = false;  // quiet: the next data is told again
                followed_ = nullptr;
            }
        }
        received_.log.Apply(update);
        received_.log.ScrollToEndLater();
    });
    flooding_ = grew;
    pauseCheckBytes_ = followedBytes_;
    sinceRefresh_.start();
    if (!grew) {
        pauseTimer_->stop();
        return;
    }
    pauseTimer_->start();
    // Still growing: looked at again after a pause that keeps the window's share small. What
    // showing cost is known once the window has also laid out and painted it: posted at the
    // lowest priority, the note is handled after the paint the refresh asked for.
    refreshCostFrom_ = costFrom;
    refreshTimer_->start(kLongestRefreshMs);
    QCoreApplication::postEvent(this, new QEvent(kRefreshPaintedEvent), Qt::LowEventPriority);
}

void EntryViews::CheckForPause() {
    if (!followed_ || !isSelected_(followed_) || !refreshTimer_->isActive()) {
        pauseTimer_->stop();
        return;
    }
    std::int64_t bytes = 0;
    {
        UiCritSecGuard lock(g_connectLock);
        bytes = followed_->recvBytes;
    }
    const bool paused = bytes == pauseCheckBytes_;
    pauseCheckBytes_ = bytes;
    // Still growing, or nothing new since the last refresh; and a flood that pauses often is
    // not shown more often than ordinary traffic.
    if (!paused || bytes == followedBytes_ || sinceRefresh_.elapsed() < kReceivedViewRefreshMs)
        return;
    refreshTimer_->stop();
    RefreshReceived();
}

bool EntryViews::event(QEvent* event) {
    if (event->type() != kRefreshPaintedEvent)
        return QObject::event(event);
    PaceAfterRefresh();
    return true;
}

void EntryViews::PaceAfterRefresh() {
    if (refreshCostFrom_ < 0)
        return;
    const double cost = ThreadCpuMs() - refreshCostFrom_;
    refreshCostFrom_ = -1;
    if (!refreshTimer_->isActive())
        return;  // the view stopped following meanwhile
    refreshTimer_->start(std::clamp(static_cast<int>(cost * kPaceFactor), kReceivedViewRefreshMs,
                                    kLongestRefreshMs));
}

void EntryViews::SetLineForm(View view, LogForm form) {
    Pane& pane = PaneOf(view);
    pane.log.SetForm(form);
    // Hex rows are short and meant to line up: they are never wrapped (a narrow view
    // scrolls sideways instead).
    if (QPlainTextEdit* widget = Widget(view))
        widget->setLineWrapMode(form == LogForm::Hex ? QPlainTextEdit::NoWrap
                                                     : QPlainTextEdit::WidgetWidth);
    ShowAgain(view);
}

void EntryViews::SetMilliseconds(View view, bool on) {
    PaneOf(view).log.SetMilliseconds(on);
    ShowAgain(view);
}

const CompactLog* EntryViews::ShownLog(View view) const {
    if (!shown_)
        return nullptr;
    return view == View::Received ? &shown_->recvLog : &shown_->sendLog;
}

void EntryViews::ShowExcerpt(View view, const QString& text, std::size_t endLine) {
    Pane& pane = PaneOf(view);
    if (!shown_ || pane.paused || !pane.log.Widget())
        return;
    if (view == View::Sent)
        RemoveWaitingLine();
    pane.log.ShowExcerpt(shown_, text, endLine);
}

void EntryViews::ShowAgain(View view) {
    Pane& pane = PaneOf(view);
    pane.log.Release();
    if (!shown_)
        return;
    // Through Refresh, like every change of a view: the sent view's waiting line is taken
    // away first and put back after, at the new text's end.
    const ConnectInfo* record = shown_;
    Refresh(pane, [&] {
        LogView::Update update;
        {
            UiCritSecGuard lock(g_connectLock);  // held only while the lines are read
            update =
                pane.log.Read(record, view == View::Received ? record->recvLog : record->sendLog);
        }
        pane.log.Apply(update);
        pane.log.ScrollToEndLater();
    });
}

// ---- clears --------------------------------------------------------------------------------

void EntryViews::ClearReceived(ConnectInfo* record) {
    if (!record) {
        ShowMessageBox(page_, QCoreApplication::translate("EntryViews", "未选择要清除的连接"),
                       QCoreApplication::translate("EntryViews", "提示"));
        return;
    }
    UiCritSecGuard lock(g_connectLock);
    record->unread = 0;
    record->recvBytes = 0;
    record->recvLines = 0;
    AbandonSaveOf(&record->recvLog);
    record->recvLog.Clear();
    received_.paused = false;
    Refresh(received_, [this] { received_.log.Clear(); });
}

void EntryViews::ClearSent(ConnectInfo* record) {
    if (!record) {
        ShowMessageBox(page_, QCoreApplication::translate("EntryViews", "未选择要清除的连接"),
                       QCoreApplication::translate("EntryViews", "提示"));
        return;
    }
    record->sentBytes = 0;  // the sent counters and sendLog belong to the page alone
    record->sentMessages = 0;
    record->sendLog.Clear();
    sent_.paused = false;
    Refresh(sent_, [this] { sent_.log.Clear(); });
}

// ---- menus ---------------------------------------------------------------------------------

void EntryViews::AddMenuAction(View view, QAction* action) {
    PaneOf(view).actions.push_back(action);
}

void EntryViews::AddMenuFiller(View view, MenuFiller fill) {
    PaneOf(view).fillers.push_back(std::move(fill));
}

void EntryViews::ShowMenu(View view, const QPoint& at) {
    QPlainTextEdit* widget = Widget(view);
    Pane& pane = PaneOf(view);
    // Our own items rather than Qt's, whose texts and mnemonics follow the locale.
    auto* menu = new QMenu(widget);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* copy = menu->addAction(QCoreApplication::translate("EntryViews", "复制"), widget,
                                    &QPlainTextEdit::copy);
    copy->setObjectName(QStringLiteral("edit-copy"));
    copy->setEnabled(widget->textCursor().hasSelection());
    QAction* all = menu->addAction(QCoreApplication::translate("EntryViews", "全选"), widget,
                                   &QPlainTextEdit::selectAll);
    all->setObjectName(QStringLiteral("select-all"));
    all->setEnabled(!widget->document()->isEmpty());
    saveReceived_->setEnabled(shown_ != nullptr && !saver_);
    if (!pane.actions.empty())
        menu->addSeparator();
    for (QAction* action : pane.actions) menu->addAction(action);
    for (const MenuFiller& fill : pane.fillers) fill(*menu);
    menu->popup(widget->viewport()->mapToGlobal(at));
}

void EntryViews::SetSaveFileChooserForTesting(std::function<QString()> chooser) {
    saveFileChooser_ = std::move(chooser);
}

void EntryViews::SaveShownReceivedLog() {
    const ConnectInfo* record = shown_;
    if (!record || saver_)
        return;
    const QString path =
        saveFileChooser_
            ? saveFileChooser_()
            : ChooseFileToSave(
                  page_, QCoreApplication::translate("EntryViews", "保存收到的信息"),
                  QCoreApplication::translate("EntryViews", "收到的信息.txt"),
                  QCoreApplication::translate("EntryViews", "文本文件 (*.txt);;所有文件 (*)"));
    // The dialog let other commands run: the entry may be gone or another one shown.
    if (path.isEmpty() || shown_ != record || saver_)
        return;
    std::size_t lines = 0;
    {
        UiCritSecGuard lock(g_connectLock);
        lines = record->recvLog.LineCount();
    }
    // What arrives meanwhile is not waited for: a flood would make the save endless. The
    // file is written on a thread of its own; the box shows how far it got and cancels it.
    saver_ = new LogSaver(record->recvLog, lines, path, received_.log.Form(),
                          received_.log.Milliseconds(), this);
    connect(saver_, &LogSaver::finished, this, &EntryViews::OnSaveFinished);
    saveProgress_ =
        new QProgressDialog(QCoreApplication::translate("EntryViews", "正在保存收到的信息…"),
                            QCoreApplication::translate("EntryViews", "取消"), 0, 1000, page_);
    saveProgress_->setObjectName(QStringLiteral("save-progress"));
    saveProgress_->setWindowTitle(QCoreApplication::translate("EntryViews", "保存"));
    saveProgress_->setWindowModality(Qt::NonModal);
    saveProgress_->setAutoClose(false);
    saveProgress_->setAutoReset(false);
    saveProgress_->setMinimumDuration(400);  // a short save shows no box
    saveProgress_->setValue(0);
    connect(saveProgress_, &QProgressDialog::canceled, saver_, &LogSaver::Cancel);
    saveTimer_ = new QTimer(this);
    saveTimer_->setInterval(100);
    connect(saveTimer_, &QTimer::timeout, this, [this] {
        if (saver_ && saveProgress_ && saver_->Lines() > 0)
            saveProgress_->setValue(static_cast<int>(1000 * saver_->LinesDone() / saver_->Lines()));
    });
    saveTimer_->start();
    saveReceived_->setEnabled(false);
    saver_->Start();
}

void EntryViews::OnSaveFinished(bool saved) {
    const bool cancelled = saver_ && saver_->Cancelled();
    const bool abandoned = cancelled && saveProgress_ && !saveProgress_->wasCanceled();
    saver_->deleteLater();
    saver_ = nullptr;
    saveTimer_->deleteLater();
    saveTimer_ = nullptr;
    saveProgress_->deleteLater();
    saveProgress_ = nullptr;
    saveReceived_->setEnabled(shown_ != nullptr);
    // Cancelled by the user: nothing to say. Failed, or the entry was cleared or deleted
    // while its log was being saved: the file stays as it was.
    if (!saved && (!cancelled || abandoned))
        ShowMessageBox(page_, QCoreApplication::translate("EntryViews", "无法保存到这个文件！"),
                       QCoreApplication::translate("EntryViews", "提示"));
}

void EntryViews::AbandonSaveOf(const void* log) {
    if (saver_ && saver_->Log() == log)
        saver_->Abandon();
}
