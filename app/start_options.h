// What the command line asks of the main window at start: servers to start on given ports
// and the page to show. User-interface thread only.
#pragma once

#include <QRect>
#include <QSize>
#include <QString>
#include <optional>

#include "app/ui_language.h"

class CMgrDlg;
class QWidget;

// Qt's window geometry option, "[WxH][{+-}X{+-}Y]" as X11 programs take it: a negative
// offset counts from the right or bottom edge.
struct StartGeometry {
    QSize size;  // invalid: the frame's own
    bool placed = false;
    int x = 0;
    int y = 0;
    bool fromRight = false;
    bool fromBottom = false;

    // Nothing when `text` is not such a geometry.
    static std::optional<StartGeometry> Parse(const QString& text);
    // Where a frame of size `current` goes on a screen whose free area is `available`: the
    // asked size and place, never larger than the screen, never beyond its edges.
    QRect On(QSize current, const QRect& available) const;
};

struct StartOptions {
    QString settingsPath;                   // empty: the user's settings file
    int tcpServerPort = 0;                  // 0: none
    int udpServerPort = 0;                  // 0: none
    int page = 0;                           // index in tab order, 0 the TCP server page
    std::optional<StartGeometry> geometry;  // -qwindowgeometry, kept on the screen
    QString sessionPath;                    // a session to open at start; empty: none
    // Run the session without a window (app/headless_run.h).
    bool headless = false;
    QString logDir;                      // headless: where the entries' logs go; empty: none
    int durationSeconds = 0;             // headless: 0 runs until a termination signal
    std::optional<UiLanguage> language;  // --lang: this run's interface language
};

// Sizes and places the frame, not shown yet, as `options` ask.
void PlaceFrame(QWidget& frame, const StartOptions& options);

// Carries out `options` on the shown frame as the user would: the page's tab is clicked and
// each server is created on its port, a failure reported by the page's own message box.
void ApplyStartOptions(CMgrDlg& frame, const StartOptions& options);
