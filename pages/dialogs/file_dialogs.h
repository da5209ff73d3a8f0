// The file dialogs the program opens (choosing a file to send, saving a log): Qt's own
// widget dialog, with file icons and types told from the folder listing alone. Qt's usual
// guess reads each listed file's first bytes on the window's thread, and some files never
// answer a read (a kernel log in /proc, a device): the window would wait for good.
// User-interface thread only.
#pragma once

#include <QAbstractFileIconProvider>
#include <QIcon>
#include <QString>

class QWidget;

// Icons and type names of listed files from QFileInfo::isDir() alone: a folder or a file,
// nothing read; the style's own icons.
class ListingOnlyIconProvider : public QAbstractFileIconProvider {
public:
    ListingOnlyIconProvider();  // user-interface thread: takes the style's icons
    QIcon icon(IconType type) const override;
    QIcon icon(const QFileInfo& info) const override;  // any thread
    QString type(const QFileInfo& info) const override;

private:
    QIcon folder_;
    QIcon file_;
    QIcon computer_;
    QIcon drive_;
};

// An existing file to open; empty when the user cancels.
QString ChooseFileToOpen(QWidget* parent, const QString& caption);
// A file to write, starting with `name` and the name filters `filter` ("文本文件 (*.txt)");
// empty when the user cancels.
QString ChooseFileToSave(QWidget* parent, const QString& caption, const QString& name,
                         const QString& filter);
