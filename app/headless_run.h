// Running a session without a display and without a window (--headless --session FILE):
// the real pages are made on Qt's offscreen platform and never shown; servers listen,
// clients connect, echo answers. With a log folder, every entry's received and sent logs
// are written there as they grow, one text file each, named by page and peer
// ("tcp-server_127.0.0.1_40312.received.log"), in the form the views' Save writes (hex while
// that view of the session is in hex). Message boxes go to standard error instead. Without
// --settings the user's settings are left alone: what the session sets (the encoding, the hex
// switches) is kept in a scratch file for the run.
//
// The run ends on SIGINT, SIGTERM or SIGHUP, or once the duration has passed; at once, with
// the reasons on standard error, when something of the session could not start. It then
// prints one summary line per entry on standard output (bytes and messages each way).
// User-interface thread (the main thread) only.
#pragma once

#include "app/start_options.h"

// Selects the offscreen platform; called before the application object exists.
void PrepareHeadlessPlatform();
// Runs `options.sessionPath` as described above (the QApplication exists). The exit
// status: 0, or 1 when the session could not be read or something of it could not start.
int RunHeadless(const StartOptions& options);
