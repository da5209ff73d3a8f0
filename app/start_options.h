// What the command line asks of the main window at start: servers to start on given ports
// and the page to show. User-interface thread only.
#pragma once

#include <QString>

class CMgrDlg;

struct StartOptions {
    QString settingsPath;   // empty: the user's settings file
    int tcpServerPort = 0;  // 0: none
    int udpServerPort = 0;  // 0: none
    int page = 0;           // index in tab order, 0 the TCP server page
    QString sessionPath;    // a session to open at start; empty: none
    // Run the session without a window (app/headless_run.h).
    bool headless = false;
    QString logDir;           // headless: where the entries' logs go; empty: none
    int durationSeconds = 0;  // headless: 0 runs until a termination signal
};

// Carries out `options` on the shown frame as the user would: the page's tab is clicked and
// each server is created on its port, a failure reported by the page's own message box.
void ApplyStartOptions(CMgrDlg& frame, const StartOptions& options);
