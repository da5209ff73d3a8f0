#include "app/chat_app.h"

#include <QApplication>
#include <QSettings>
#include <QTimer>
#include <csignal>
#include <string_view>
#include <thread>
#include <vector>

#include "app/command_line.h"
#include "app/encoding_setting.h"
#include "app/headless_run.h"
#include "app/mgr_dlg.h"
#include "app/session_menu.h"
#include "app/settings_file.h"
#include "app/termination_signals.h"
#include "app/ui_language.h"
#include "net/log_store.h"
#include "pages/core/page_settings.h"
#include "platform/qt_window.h"

namespace {

// The arguments without "--session FILE" (or "--session=FILE"), null-terminated as argv is.
std::vector<char*> WithoutSessionOption(int argc, char** argv) {
    std::vector<char*> kept;
    for (int i = 0; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--session" || argument == "-session") {
            ++i;  // and its value
            continue;
        }
        if (argument.starts_with("--session=") || argument.starts_with("-session="))
            continue;
        kept.push_back(argv[i]);
    }
    kept.push_back(nullptr);
    return kept;
}

}  // namespace

CMgrDlg* theMainFrame = nullptr;
CChatApp theApp;

int CChatApp::Run(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("Wirelark"));
    QCoreApplication::setApplicationVersion(QStringLiteral(WIRELARK_VERSION));
    if (const std::optional<int> status = ReadCommandLine(argc, argv, startOptions_))
        return *status;
    if (startOptions_.headless)
        PrepareHeadlessPlatform();
    // Qt would take --session for the desktop's session manager: it is ours.
    std::vector<char*> qtArguments = WithoutSessionOption(argc, argv);
    int qtArgumentCount = static_cast<int>(qtArguments.size()) - 1;
    QApplication application(qtArgumentCount, qtArguments.data());
    QApplication::setDesktopFileName(QStringLiteral("io.github.wirelark.Wirelark"));
    InstallQtMessagePump();
    UseSettingsFile(startOptions_.settingsPath);
    // Before any text is made: the language of this run, else the one kept.
    InstallInterfaceLanguage(startOptions_.language.value_or(KeptLanguage()));
    SetPageSettingsOpener(&OpenSettings);
    // However the run ends, the last changes are written and the writer thread has ended
    // before the application object goes.
    struct SettingsWriterEnd {
        ~SettingsWriterEnd() { SetPageSettingsOpener(nullptr); }
    } settingsWriterEnd;
    LoadEncodingSetting();
    if (startOptions_.headless)
        return RunHeadless(startOptions_);
    // A termination signal ends the program as closing the window does, minus the about
    // dialog: every loop ends (modal dialogs' too) and the frame is deleted as usual.
    const CTerminationSignals terminationSignals([] {
        if (theMainFrame)
            theMainFrame->hide();
        QCoreApplication::exit(0);
    });
    InitInstance();
    return ExitInstance();
}

bool CChatApp::InitInstance() {
    // Sockets need no start-up here; a peer that vanishes while we send must give a send
    // error, not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    // Log files a killed run left behind; on a thread of its own, as a slow disk may block.
    std::thread(&LogStore::SweepLeftFiles).detach();
    // Set before the frame runs: its pages start engine threads from now on.
    theMainFrame = new CMgrDlg(nullptr);
    PlaceFrame(*theMainFrame, startOptions_);
    // Runs once the frame shows, so that a server's failure is reported over the window.
    QTimer::singleShot(0, theMainFrame, [this] {
        // A session named on the command line, else the one kept at the last exit; the
        // servers named on the command line after it.
        if (!startOptions_.sessionPath.isEmpty())
            OpenSessionFile(*theMainFrame, startOptions_.sessionPath, false);
        else
            RestoreLastSession(*theMainFrame);
        ApplyStartOptions(*theMainFrame, startOptions_);
    });
    theMainFrame->exec();
    return false;
}

int CChatApp::ExitInstance() {
    if (theMainFrame)
        KeepLastSession(*theMainFrame);
    // The frame's window is gone once exec() returned; deleting it closes every socket and
    // frees every record. Worker threads still running end when their sockets close.
    delete theMainFrame;
    theMainFrame = nullptr;
    return 0;
}
