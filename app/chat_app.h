// CChatApp: the application object. Start-up creates the main frame and runs it modally
// for the whole life of the program; shutdown deletes it once its window is gone.
// User-interface thread only.
#pragma once

#include "app/start_options.h"

class CMgrDlg;

// The main frame, set before it runs and cleared when it is deleted.
extern CMgrDlg* theMainFrame;

class CChatApp {
public:
    // Reads the command line (answering --help, --version and mistakes without a window),
    // makes the QApplication, runs InitInstance and ExitInstance; the process's exit status.
    int Run(int argc, char** argv);

    // Creates and runs the main frame (QApplication exists), carrying out the start options
    // once it shows. Returns false: the program ends when the frame closes.
    bool InitInstance();
    // Deletes the main frame (at most once); the exit status.
    int ExitInstance();

private:
    StartOptions startOptions_;
};

extern CChatApp theApp;
