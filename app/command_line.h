// The command line, read before any window exists: --help, --version and a mistake are
// answered on the terminal without a display; everything else becomes start options.
// Main thread, before the QApplication is made.
#pragma once

#include <optional>

#include "app/start_options.h"

// Reads the arguments into `options`. When the program should end at once instead (help or
// version printed on standard output, a mistake and the usage on standard error), returns
// its exit status: 0, or 2 for a mistake. A settings file that is there but is not a regular
// file, or a Qt platform that is not installed, is a mistake. The window geometry options
// are taken out of argv (the frame applies them, kept on the screen).
std::optional<int> ReadCommandLine(int& argc, char** argv, StartOptions& options);
