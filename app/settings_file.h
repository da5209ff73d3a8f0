// Where the program keeps its settings: the user's settings file of the application
// (~/.config/Wirelark/Wirelark.conf on Linux), or the file named on the command line.
// UseSettingsFile runs once at start, before any other thread; OpenSettings then runs on the
// user-interface thread and on the settings writer's thread.
#pragma once

#include <QString>
#include <memory>

class QSettings;

// From now on the settings live in `path` (INI format); an empty path goes back to the
// user's settings file.
void UseSettingsFile(const QString& path);
// The settings, opened on the file in use.
std::unique_ptr<QSettings> OpenSettings();
