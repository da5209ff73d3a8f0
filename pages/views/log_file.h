// Saving a record's whole log to a file, so that nothing logged is out of the user's reach
// however little of it the views hold.
#pragma once

#include <cstddef>

#include "pages/views/log_lines.h"

class CompactLog;
class QString;

// Writes lines [0, lines) of `log` to `path` (created or replaced) as UTF-8 text in `form`,
// as the view shows them. Reads a batch of lines at a time under g_connectLock, so receive threads
// go on logging between batches (lines already written never change). User-interface
// thread, outside notification handlers. False if the file cannot be written.
bool SaveLogToFile(const CompactLog& log, std::size_t lines, const QString& path,
                   LogForm form = LogForm::Text, bool milliseconds = false);
