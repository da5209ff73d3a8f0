// Session files (".wirelark"): a whole test set-up kept as readable JSON, UTF-8, so that it
// can be opened again, diffed and kept beside a build job:
//   {"format": "wirelark-session", "version": 1, "encoding": "GBK",
//    "pages": {"tcp-server": {...}, "tcp-client": {...}, "udp-server": {...},
//              "udp-client": {...}}}
// A page holds its server ("port", "listening"), its entries, its switches ("echo",
// "hex": {"received", "sent", "send"}) and the UDP server's "groups". Runs of alike entries
// are kept as one with a "count", as Create makes them. Keys this program does not know
// are ignored, so that a file of a later minor version opens as far as it can.
//
// Reading checks everything before anything is used: a file that is not JSON, not a
// session, of a later major version, or with a value out of range is refused whole, with a
// message naming what is wrong. Writing goes to a temporary file beside the target, renamed
// over it once complete. User-interface thread (the files are small).
#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <optional>

#include "pages/page_snapshot.h"

struct Session {
    // The code page: "Ansi" (the locale's) or a name the converter knows ("GBK", "UTF-8",
    // "UTF-16LE", "UTF-16BE", "Big5", ...).
    QString encoding = QStringLiteral("Ansi");
    // In the frame's tab order: TCP server, TCP client, UDP server, UDP client.
    std::array<PageSnapshot, 4> pages;
};

inline constexpr int kSessionVersion = 1;
inline constexpr int kMaxEntriesPerRun = 10000;
// More entries than this on one page is not a test set-up but a file that would eat memory.
inline constexpr std::size_t kMaxEntriesPerPage = 100000;

QByteArray SessionToJson(const Session& session);

struct SessionReading {
    std::optional<Session> session;
    QString problem;  // why not, when there is no session
};
SessionReading SessionFromJson(const QByteArray& json);

// False, with `problem` set, when the file cannot be written (the target is left as it was).
bool WriteSessionFile(const QString& path, const Session& session, QString* problem);
SessionReading ReadSessionFile(const QString& path);
