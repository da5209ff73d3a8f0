#include "app/chat_app.h"

#include <QApplication>
#include <csignal>

#include "app/encoding_setting.h"
#include "app/mgr_dlg.h"
#include "app/termination_signals.h"
#include "platform/qt_window.h"

CMgrDlg* theMainFrame = nullptr;
CChatApp theApp;

int CChatApp::Run(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Wirelark"));
    QApplication::setDesktopFileName(QStringLiteral("io.github.wirelark.Wirelark"));
    InstallQtMessagePump();
    LoadEncodingSetting();
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
    // Set before the frame runs: its pages start engine threads from now on.
    theMainFrame = new CMgrDlg(nullptr);
    theMainFrame->exec();
    return false;
}

int CChatApp::ExitInstance() {
    // The frame's window is gone once exec() returned; deleting it closes every socket and
    // frees every record. Worker threads still running end when their sockets close.
    delete theMainFrame;
    theMainFrame = nullptr;
    return 0;
}
