#include "pages/views/entry_counters.h"

#include <QAction>
#include <QCoreApplication>
#include <QDateTime>
#include <QHelpEvent>
#include <QLocale>
#include <QMenu>
#include <QToolTip>
#include <chrono>

#include "net/crit_sec.h"
#include "pages/core/dialog_p.h"
#include "skin/tree_ctrl_ex.h"

namespace {

// "1,234 字节", with the size in binary units beside it from 1 KiB on.
QString BytesText(std::uint64_t bytes) {
    const QLocale locale(QLocale::Chinese, QLocale::China);
    QString text = QCoreApplication::translate("EntryCounters", "%1 字节")
                       .arg(locale.toString(static_cast<qulonglong>(bytes)));
    if (bytes >= 1024)
        text += QCoreApplication::translate("EntryCounters", "（%1）")
                    .arg(locale.formattedDataSize(static_cast<qint64>(bytes), 2,
                                                  QLocale::DataSizeIecFormat));
    return text;
}

}  // namespace

QString EntryCountsText(const EntryCounts& counts) {
    const QLocale locale(QLocale::Chinese, QLocale::China);
    const QString since = QDateTime::fromSecsSinceEpoch(counts.knownSinceSeconds)
                              .toLocalTime()
                              .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QStringList lines;
    if (!counts.tls.isEmpty())
        lines << counts.tls;
    lines << QCoreApplication::translate("EntryCounters", "收到：%1，%2 行")
                 .arg(BytesText(static_cast<std::uint64_t>(counts.receivedBytes)),
                      locale.toString(static_cast<qlonglong>(counts.receivedLines)));
    lines << QCoreApplication::translate("EntryCounters", "发送：%1，%2 条")
                 .arg(BytesText(static_cast<std::uint64_t>(counts.sentBytes)),
                      locale.toString(static_cast<qlonglong>(counts.sentMessages)));
    if (counts.waiting) {
        if (counts.knownSinceSeconds != 0)  // zero: not connected
            lines << QCoreApplication::translate("EntryCounters", "连接时间：%1").arg(since);
        lines << QCoreApplication::translate("EntryCounters", "等待发送：%1")
                     .arg(BytesText(*counts.waiting));
    } else {
        lines << QCoreApplication::translate("EntryCounters", "建立时间：%1").arg(since);
    }
    return lines.join(u'\n');
}

void EntryCounters::Install(CDialogP& page) {
    auto* counters = new EntryCounters(page);
    if (CTreeCtrlEx* tree = page.Tree())
        tree->viewport()->installEventFilter(counters);
    auto* zero = new QAction(QCoreApplication::translate("EntryCounters", "计数清零"), counters);
    connect(zero, &QAction::triggered, counters, [counters] { counters->ZeroShown(); });
    page.Views().AddMenuFiller(EntryViews::View::Received, [zero, &page](QMenu& menu) {
        zero->setEnabled(page.Views().ShownRecord() != nullptr);
        menu.addAction(zero);
    });
}

EntryCounters::EntryCounters(CDialogP& page) : QObject(&page), page_(page) {}

EntryCounts EntryCounters::CountsOf(const ConnectInfo& record) {
    EntryCounts counts;
    {
        UiCritSecGuard lock(g_connectLock);
        counts.receivedBytes = record.recvBytes;
        counts.receivedLines = record.recvLines;
        counts.sentBytes = record.sentBytes;
        counts.sentMessages = record.sentMessages;
        counts.knownSinceSeconds =
            std::chrono::duration_cast<std::chrono::seconds>(record.knownSince.time_since_epoch())
                .count();
        if (!record.tlsSummary.empty())
            counts.tls = QString::fromStdU16String(record.tlsSummary);
        else if (record.tls)
            counts.tls = QStringLiteral("TLS");
    }
    counts.waiting = page_.WaitingBytes(&record);
    return counts;
}

bool EntryCounters::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ToolTip)
        return QObject::eventFilter(watched, event);
    auto* help = static_cast<QHelpEvent*>(event);
    CTreeCtrlEx* tree = page_.Tree();
    const HTREEITEM item = tree ? tree->HitTest(help->pos()) : nullptr;
    ConnectInfo* record = item ? page_.Records().RecordOf(item) : nullptr;
    const QString hostNote =
        item && page_.Records().IsHostNode(item) ? page_.HostNodeNote() : QString();
    if (!hostNote.isEmpty()) {
        QToolTip::showText(help->globalPos(), hostNote, tree->viewport(),
                           tree->visualItemRect(CTreeCtrlEx::FromHandle(item)));
        return true;
    }
    if (!record) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    QToolTip::showText(help->globalPos(), EntryCountsText(CountsOf(*record)), tree->viewport(),
                       tree->visualItemRect(CTreeCtrlEx::FromHandle(item)));
    return true;
}

void EntryCounters::ZeroShown() {
    const ConnectInfo* shown = page_.Views().ShownRecord();
    page_.Records().ForEachRecord([shown](HTREEITEM, ConnectInfo& record) {
        if (&record != shown)
            return;
        UiCritSecGuard lock(g_connectLock);
        record.recvBytes = 0;
        record.recvLines = 0;
        record.sentBytes = 0;
        record.sentMessages = 0;
    });
}
