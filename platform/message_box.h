// Modal message boxes with one "确定" button and no icon. Texts and captions are shown
// exactly as given.
#pragma once

#include <QString>
#include <functional>

class QWidget;

// A message box owned by `owner` (may be null) with the given text and caption.
void ShowMessageBox(QWidget* owner, const QString& text, const QString& caption);
// The application's standard message box: caption is the application's title.
void AfxMessageBox(const QString& text);

// The application's title, the caption of the standard message box.
QString ApplicationTitle();  // "Wirelark"

// While one lives, message boxes are not shown: their texts go to `sink` instead (a session
// being opened gathers what could not start into one message; a run without a window
// writes them to the terminal). The latest one made is the one in force.
// User-interface thread only.
class MessageBoxCatcher {
public:
    using Sink = std::function<void(const QString& text, const QString& caption)>;
    explicit MessageBoxCatcher(Sink sink);
    ~MessageBoxCatcher();
    MessageBoxCatcher(const MessageBoxCatcher&) = delete;
    MessageBoxCatcher& operator=(const MessageBoxCatcher&) = delete;

private:
    friend void ShowMessageBox(QWidget* owner, const QString& text, const QString& caption);
    Sink sink_;
    MessageBoxCatcher* previous_;
};
