// The whole set-up of the frame's four pages and the encoding, as a session holds it:
// captured from the pages, and made again on them. User-interface thread only.
#pragma once

#include <QStringList>
#include <functional>

#include "app/session_file.h"

class CMgrDlg;

// What the user made on every page, and the encoding in force.
Session CaptureSession(CMgrDlg& frame);
// Some page has an entry, a server with a port, or a group: opening a session would close
// something.
bool HasSetUp(CMgrDlg& frame);

// Clears every page, applies the encoding, then makes `session` again on the pages. `done`
// runs once everything has started or failed (connects included; it may run before this
// returns), with one line per item that could not start, naming it and why.
void ApplySession(CMgrDlg& frame, const Session& session,
                  std::function<void(const QStringList& failures)> done);
