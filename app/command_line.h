// The command line, read before any window exists: --help, --version and a mistake are
// answered on the terminal without a display; everything else becomes start options.
// Main thread, before the QApplication is made.
#pragma once

#include <optional>

#include "app/start_options.h"

// Reads the arguments into `options`. When the program should end at once instead (help or
// version printed on standard output, a mistake and the usage on standard error), returns
// its exit status: 0, or 2 for a mistake.
std::optional<int> ReadCommandLine(int argc, char** argv, StartOptions& options);
