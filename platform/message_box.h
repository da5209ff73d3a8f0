// Modal message boxes with one "确定" button and no icon. Texts and captions are shown
// exactly as given.
#pragma once

#include <QString>

class QWidget;

// A message box owned by `owner` (may be null) with the given text and caption.
void ShowMessageBox(QWidget* owner, const QString& text, const QString& caption);
// The application's standard message box: caption is the application's title.
void AfxMessageBox(const QString& text);

// The application's title, the caption of the standard message box.
QString ApplicationTitle();  // "Wirelark"
