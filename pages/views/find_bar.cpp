#include "pages/views/find_bar.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>
#include <variant>

#include "net/compact_log.h"
#include "net/connect_info.h"
#include "net/crit_sec.h"
#include "pages/views/log_lines.h"
#include "platform/message_box.h"
#include "text/code_page.h"
#include "text/hex_text.h"

namespace {

// About how many characters the view shows before and after a hit's line.
constexpr std::uint64_t kAroundHit = 32 * 1024;
constexpr std::size_t kMostLinesAround = 400;

}  // namespace

void FindBar::Install(EntryViews& views) {
    for (EntryViews::View view : {EntryViews::View::Received, EntryViews::View::Sent}) {
        QPlainTextEdit* widget = views.Widget(view);
        if (!widget)
            continue;
        auto* bar = new FindBar(views, view);
        auto* find = new QAction(QCoreApplication::translate("FindBar", "查找…"), bar);
        QObject::connect(find, &QAction::triggered, bar, &FindBar::Open);
        views.AddMenuAction(view, find);
    }
}

FindBar* FindBar::Of(QWidget* viewWidget) {
    return viewWidget ? viewWidget->findChild<FindBar*>(QString(), Qt::FindDirectChildrenOnly)
                      : nullptr;
}

FindBar::FindBar(EntryViews& views, EntryViews::View view)
    : QWidget(views.Widget(view)),
      views_(views),
      view_(view),
      field_(new QLineEdit(this)),
      hex_(new QCheckBox(QCoreApplication::translate("FindBar", "十六进制"), this)),
      previous_(new QToolButton(this)),
      next_(new QToolButton(this)),
      count_(new QLabel(this)),
      poll_(new QTimer(this)) {
    setObjectName(QStringLiteral("find-bar"));
    setAutoFillBackground(true);
    auto* close = new QToolButton(this);
    close->setText(QStringLiteral("×"));
    close->setAutoRaise(true);
    close->setToolTip(QCoreApplication::translate("FindBar", "关闭"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 1, 2, 1);
    layout->setSpacing(2);
    layout->addWidget(close);  // first: a narrow view squeezes the bar's right end
    layout->addWidget(field_, 1);
    layout->addWidget(hex_);
    layout->addWidget(previous_);
    layout->addWidget(next_);
    layout->addWidget(count_);
    previous_->setText(QCoreApplication::translate("FindBar", "上一个"));
    next_->setText(QCoreApplication::translate("FindBar", "下一个"));
    for (QToolButton* button : {previous_, next_}) button->setFocusPolicy(Qt::NoFocus);
    field_->setMinimumWidth(50);
    field_->setPlaceholderText(QCoreApplication::translate("FindBar", "查找"));
    connect(field_, &QLineEdit::returnPressed, this, &FindBar::FindNext);
    connect(next_, &QToolButton::clicked, this, &FindBar::FindNext);
    connect(previous_, &QToolButton::clicked, this, &FindBar::FindPrevious);
    connect(close, &QToolButton::clicked, this, &FindBar::Close);
    connect(field_, &QLineEdit::textChanged, this, [this] { count_->clear(); });
    connect(hex_, &QCheckBox::toggled, this, [this] { count_->clear(); });
    poll_->setInterval(20);
    connect(poll_, &QTimer::timeout, this, &FindBar::Poll);
    parentWidget()->installEventFilter(this);
    hide();
}

FindBar::~FindBar() {
    StopSearch();
}

bool FindBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        Place();
    // Ctrl+F in the view (the view has the focus: no window-wide shortcut needed).
    if (watched == parentWidget() && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Find)) {
        Open();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void FindBar::Place() {
    QWidget* view = parentWidget();
    const int height = sizeHint().height();
    // Beside the scroll bar, over the view's last lines.
    auto* edit = qobject_cast<QPlainTextEdit*>(view);
    const int bar =
        edit && edit->verticalScrollBar()->isVisible() ? edit->verticalScrollBar()->width() : 0;
    setGeometry(1, view->height() - height - 1, view->width() - 2 - bar, height);
}

void FindBar::Open() {
    Place();
    show();
    raise();
    field_->setFocus();
    field_->selectAll();
}

void FindBar::Close() {
    StopSearch();
    search_.reset();
    current_ = -1;
    pendingStep_ = 0;
    count_->clear();
    hide();
    views_.ShowAgain(view_);
    if (QWidget* view = parentWidget())
        view->setFocus();
}

void FindBar::StopSearch() {
    poll_->stop();
    if (search_)
        search_->Cancel();
    if (worker_.joinable())
        worker_.join();  // a cancelled search stops within one block
}

bool FindBar::StartSearch() {
    StopSearch();
    search_.reset();
    current_ = -1;
    count_->clear();
    const QString typed = field_->text();
    std::string pattern;
    if (hex_->isChecked()) {
        auto parsed = ParseHexText(typed.toStdU16String());
        if (const auto* error = std::get_if<HexParseError>(&parsed)) {
            ShowMessageBox(window(), QString::fromStdU16String(HexErrorMessage(*error)),
                           QCoreApplication::translate("FindBar", "提示"));
            return false;
        }
        pattern = std::get<std::string>(std::move(parsed));
    } else {
        pattern = WideToAnsi(typed.toStdU16String());
    }
    const CompactLog* log = views_.ShownLog(view_);
    if (pattern.empty() || !log)
        return false;
    try {
        UiCritSecGuard lock(g_connectLock);
        searchedGeneration_ = log->Generation();
        search_ = std::make_shared<LogSearch>(log->Snapshot(), std::move(pattern));
    } catch (const std::bad_alloc&) {
        ShowMessageBox(window(), QCoreApplication::translate("FindBar", "内存不足，无法查找"),
                       QCoreApplication::translate("FindBar", "提示"));
        return false;
    }
    searchedRecord_ = views_.ShownRecord();
    searchedHex_ = hex_->isChecked();
    searchedText_ = typed;
    count_->setText(QCoreApplication::translate("FindBar", "正在查找…"));
    worker_ = std::thread([search = search_] { search->Run(); });
    poll_->start();
    return true;
}

void FindBar::Step(int direction) {
    const CompactLog* log = views_.ShownLog(view_);
    const bool stale = !search_ || searchedRecord_ != views_.ShownRecord() ||
                       searchedHex_ != hex_->isChecked() || searchedText_ != field_->text() ||
                       (log && log->Generation() != searchedGeneration_);
    if (stale && !StartSearch())
        return;
    pendingStep_ = direction;
    Poll();
}

void FindBar::Poll() {
    if (!search_)
        return;
    const LogSearch::State state = search_->Progress();
    if (state.done) {
        poll_->stop();
        if (worker_.joinable())
            worker_.join();
        count_->setText(state.error
                            ? QCoreApplication::translate("FindBar", "读取日志出错")
                            : QCoreApplication::translate("FindBar", "%1 处").arg(state.count));
    }
    if (pendingStep_ == 0 || searchedRecord_ != views_.ShownRecord())
        return;
    // Forward needs the next hit kept; backward from nothing shown, or wrapping, needs the
    // last, which is known only once the search is done.
    const long long kept =
        static_cast<long long>(std::min<std::uint64_t>(state.count, LogSearch::kMostHitsKept));
    long long wanted = current_ + pendingStep_;
    if (current_ < 0 && pendingStep_ < 0)
        wanted = state.done ? kept - 1 : -2;
    else if (wanted >= kept)
        wanted = state.done ? 0 : -2;
    else if (wanted < 0)
        wanted = state.done ? kept - 1 : -2;
    if (wanted == -2 || kept == 0)
        return;  // not found yet (or at all): wait for the search, or for the user
    const std::vector<LogSearch::Hit> hits = search_->Hits(static_cast<std::size_t>(wanted), 1);
    if (hits.empty())
        return;
    pendingStep_ = 0;
    current_ = wanted;
    ShowHit(hits.front());
}

void FindBar::ShowHit(const LogSearch::Hit& hit) {
    const CompactLog* log = views_.ShownLog(view_);
    QPlainTextEdit* widget = views_.Widget(view_);
    if (!log || !widget)
        return;
    const LogView& logView = views_.ViewLog(view_);
    const LogForm form = logView.Form();
    const bool milliseconds = logView.Milliseconds();
    const std::string& pattern = search_->Pattern();
    std::u16string before, line, after;
    std::string bytes;
    std::size_t first = hit.line, end = hit.line + 1;
    {
        UiCritSecGuard lock(g_connectLock);
        if (log->Generation() != searchedGeneration_ || hit.line >= log->LineCount())
            return;
        while (first > 0 && hit.line - first < kMostLinesAround &&
               MeasureLogLines(*log, first - 1, hit.line, form) <= kAroundHit)
            --first;
        while (end < log->LineCount() && end - hit.line < kMostLinesAround &&
               MeasureLogLines(*log, hit.line + 1, end + 1, form) <= kAroundHit)
            ++end;
        before = LogLinesText(*log, first, hit.line - first, form, milliseconds);
        line = LogLinesText(*log, hit.line, 1, form, milliseconds);
        after = LogLinesText(*log, hit.line + 1, end - hit.line - 1, form, milliseconds);
        log->AppendLineBytes(hit.line, bytes);
    }
    QString text;
    if (first > 0)
        text = QCoreApplication::translate("FindBar", "（更早的信息未在此显示）\n");
    const qsizetype lineStart = text.size() + static_cast<qsizetype>(before.size());
    text += QString::fromStdU16String(before + line + after);
    if (end < log->LineCount())
        text += QCoreApplication::translate("FindBar",
                                            "（更晚的信息未在此显示，关闭查找栏即回到末尾）\n");
    text.replace(u'\r', QChar(0x240D));  // a lone CR would break lines the count relies on
    // Where the hit lies in its line's text.
    const std::size_t stampWidth =
        CompactLog::Stamp(CompactLog::Clock::time_point(), milliseconds).size();
    qsizetype selectFrom = lineStart, selectTo = lineStart + static_cast<qsizetype>(line.size());
    if (form == LogForm::Hex) {
        const auto position = [&](std::uint64_t byte) {
            return lineStart +
                   static_cast<qsizetype>(
                       stampWidth + (byte / kHexBytesPerRow) * (kHexBytesPerRow * 3 + stampWidth) +
                       (byte % kHexBytesPerRow) * 3);
        };
        selectFrom = position(hit.at);
        selectTo = position(hit.at + pattern.size() - 1) + 2;
    } else {
        // The same number of matches before it in the line's bytes and in its text.
        std::size_t earlier = 0;
        for (std::size_t at = bytes.find(pattern); at != std::string::npos && at < hit.at;
             at = bytes.find(pattern, at + 1))
            ++earlier;
        const QString needle =
            searchedHex_ ? QString::fromStdU16String(AnsiToWide(pattern)) : searchedText_;
        const QString lineText = text.mid(lineStart, static_cast<qsizetype>(line.size()));
        qsizetype at = lineText.indexOf(needle, static_cast<qsizetype>(stampWidth));
        for (std::size_t i = 0; i < earlier && at >= 0; ++i) at = lineText.indexOf(needle, at + 1);
        if (at >= 0 && !needle.isEmpty()) {
            selectFrom = lineStart + at;
            selectTo = selectFrom + needle.size();
        }
    }
    views_.ShowExcerpt(view_, text, end);
    QTextCursor cursor(widget->document());
    cursor.setPosition(static_cast<int>(std::min<qsizetype>(selectFrom, text.size())));
    cursor.setPosition(static_cast<int>(std::min<qsizetype>(selectTo, text.size())),
                       QTextCursor::KeepAnchor);
    widget->setTextCursor(cursor);
    widget->centerCursor();
}
