#include "app/headless_run.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <set>

#include "app/mgr_dlg.h"
#include "app/session_file.h"
#include "app/session_setup.h"
#include "app/settings_file.h"
#include "app/termination_signals.h"
#include "net/crit_sec.h"
#include "pages/core/endpoint_text.h"
#include "pages/core/page_tool.h"
#include "pages/page_snapshot.h"
#include "pages/views/log_lines.h"
#include "platform/message_box.h"
#include "skin/tree_ctrl_ex.h"

namespace {

// How often the log files catch up with the logs.
constexpr int kLogIntervalMs = 200;

void PrintTo(std::FILE* stream, const QString& text) {
    std::fputs((text + QLatin1Char('\n')).toUtf8().constData(), stream);
    std::fflush(stream);
}

// The files of the entries' logs in one folder, brought up to date from the event loop.
// Registered as a tool of every page, to hear of records being freed; outlives the pages.
class LogFolder : public PageTool {
public:
    LogFolder(CMgrDlg& frame, const QString& folder) : frame_(frame), folder_(folder) {
        for (int i = 0; i < 4; ++i) frame.Page(i).AddTool(*this);
    }

    // Writes what every log gained since the last call.
    void CatchUp() {
        for (int i = 0; i < 4; ++i) {
            CDialogP& page = frame_.Page(i);
            const LogForm receivedForm = page.Views().LineForm(EntryViews::View::Received);
            const LogForm sentForm = page.Views().LineForm(EntryViews::View::Sent);
            std::vector<std::pair<QFile*, std::u16string>> gained;
            {
                UiCritSecGuard lock(g_connectLock);
                page.Records().ForEachRecord([&](HTREEITEM, ConnectInfo& record) {
                    Files& files = FilesOf(page, record);
                    gained.emplace_back(&files.received,
                                        Gained(files.receivedAt, record.recvLog, receivedForm));
                    gained.emplace_back(&files.sent,
                                        Gained(files.sentAt, record.sendLog, sentForm));
                });
            }
            for (auto& [file, text] : gained) {
                if (text.empty())
                    continue;
                const QByteArray bytes = QStringView(text).toUtf8();
                if (file->isOpen() && (file->write(bytes) != bytes.size() || !file->flush())) {
                    PrintTo(stderr,
                            QCoreApplication::translate("HeadlessRun", "wirelark: 写入 %1 失败：%2")
                                .arg(file->fileName(), file->errorString()));
                    file->close();
                }
            }
        }
    }

private:
    struct Position {
        std::size_t lines = 0;
        std::uint64_t generation = 0;
    };
    struct Files {
        QFile received;
        QFile sent;
        Position receivedAt;
        Position sentAt;
    };

    // Lines the log gained since `at`, in `form`; a cleared log starts again.
    static std::u16string Gained(Position& at, const CompactLog& log, LogForm form) {
        if (log.Generation() != at.generation) {
            at = {0, log.Generation()};
        }
        const std::size_t lines = log.LineCount();
        if (lines <= at.lines)
            return {};
        std::u16string text = LogLinesText(log, at.lines, lines - at.lines, form);
        at.lines = lines;
        return text;
    }

    Files& FilesOf(CDialogP& page, const ConnectInfo& record) {
        auto found = files_.find(&record);
        if (found != files_.end())
            return *found->second;
        // Named by page and peer; a second entry for the same peer gets "-2", and so on.
        const Endpoint& peer =
            qobject_cast<CTcpClientDlg*>(&page) || qobject_cast<CUdpClientDlg*>(&page)
                ? record.serverAddr
                : record.clientAddr;
        const QString base =
            QStringLiteral("%1_%2_%3")
                .arg(PageKindName(page), QString::fromStdString(peer.AddressText()))
                .arg(peer.Port());
        QString name = base;
        for (int n = 2; taken_.count(name) != 0; ++n)
            name = QStringLiteral("%1-%2").arg(base).arg(n);
        taken_.insert(name);
        auto files = std::make_unique<Files>();
        const QDir folder(folder_);
        files->received.setFileName(folder.filePath(name + QStringLiteral(".received.log")));
        files->sent.setFileName(folder.filePath(name + QStringLiteral(".sent.log")));
        for (QFile* file : {&files->received, &files->sent}) {
            if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
                PrintTo(stderr,
                        QCoreApplication::translate("HeadlessRun", "wirelark: 无法写入 %1：%2")
                            .arg(file->fileName(), file->errorString()));
            }
        }
        return *files_.emplace(&record, std::move(files)).first->second;
    }

    // A record is freed: its files are complete as they are.
    void RecordFreeing(const ConnectInfo* record) override { files_.erase(record); }

    CMgrDlg& frame_;
    QString folder_;
    std::map<const ConnectInfo*, std::unique_ptr<Files>> files_;
    std::set<QString> taken_;
};

// One line per entry of every page: bytes and messages each way.
void PrintSummary(CMgrDlg& frame) {
    for (int i = 0; i < 4; ++i) {
        CDialogP& page = frame.Page(i);
        QStringList lines;
        {
            UiCritSecGuard lock(g_connectLock);
            page.Records().ForEachRecord([&](HTREEITEM entry, ConnectInfo& record) {
                lines << QCoreApplication::translate(
                             "HeadlessRun", "%1 %2：接收 %3 字节 %4 条，发送 %5 字节 %6 条")
                             .arg(PageKindName(page), page.Tree()->GetItemText(entry))
                             .arg(record.recvBytes)
                             .arg(record.recvLines)
                             .arg(record.sentBytes)
                             .arg(record.sentMessages);
            });
        }
        for (const QString& line : lines) PrintTo(stdout, line);
    }
}

}  // namespace

void PrepareHeadlessPlatform() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
}

int RunHeadless(const StartOptions& options) {
    // No one could answer a message box: what it would say goes to the terminal.
    const MessageBoxCatcher toTerminal([](const QString& text, const QString&) {
        PrintTo(stderr, QStringLiteral("wirelark: %1").arg(text));
    });
    // Without --settings, what the session sets (the encoding, the hex switches) is kept in
    // a scratch file: a run in a build job leaves the user's own settings as they were.
    QTemporaryDir scratch;
    if (options.settingsPath.isEmpty() && scratch.isValid())
        UseSettingsFile(scratch.filePath(QStringLiteral("settings.ini")));
    const SessionReading reading = ReadSessionFile(options.sessionPath);
    if (!reading.session) {
        PrintTo(stderr, QCoreApplication::translate("HeadlessRun", "wirelark: 无法打开会话“%1”：%2")
                            .arg(options.sessionPath, reading.problem));
        return 1;
    }
    if (!options.logDir.isEmpty() && !QDir().mkpath(options.logDir)) {
        PrintTo(stderr, QCoreApplication::translate("HeadlessRun", "wirelark: 无法创建日志目录“%1”")
                            .arg(options.logDir));
        return 1;
    }

    int status = 0;
    auto frame = std::make_unique<CMgrDlg>();  // never shown
    std::unique_ptr<LogFolder> logs;
    QTimer logTimer;
    if (!options.logDir.isEmpty()) {
        logs = std::make_unique<LogFolder>(*frame, options.logDir);
        logTimer.setInterval(kLogIntervalMs);
        QObject::connect(&logTimer, &QTimer::timeout, [&logs] { logs->CatchUp(); });
        logTimer.start();
    }
    const CTerminationSignals terminationSignals([] { QCoreApplication::exit(0); });
    if (options.durationSeconds > 0)
        QTimer::singleShot(std::chrono::seconds(options.durationSeconds),
                           [] { QCoreApplication::exit(0); });
    ApplySession(*frame, *reading.session, [&status](const QStringList& failures) {
        if (failures.isEmpty())
            return;
        for (const QString& failure : failures)
            PrintTo(
                stderr,
                QCoreApplication::translate("HeadlessRun", "wirelark: 未能启动：%1").arg(failure));
        status = 1;
        QCoreApplication::exit(1);
    });
    if (status == 0)
        QCoreApplication::exec();

    logTimer.stop();
    if (logs)
        logs->CatchUp();
    PrintSummary(*frame);
    // The frame first: freeing its records tells the log folder.
    frame.reset();
    logs.reset();
    return status;
}
