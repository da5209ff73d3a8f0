#include "pages/dialogs/file_dialogs.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QStyle>

ListingOnlyIconProvider::ListingOnlyIconProvider() {
    const QStyle* style = QApplication::style();
    folder_ = style->standardIcon(QStyle::SP_DirIcon);
    file_ = style->standardIcon(QStyle::SP_FileIcon);
    computer_ = style->standardIcon(QStyle::SP_ComputerIcon);
    drive_ = style->standardIcon(QStyle::SP_DriveHDIcon);
}

QIcon ListingOnlyIconProvider::icon(IconType type) const {
    switch (type) {
        case Computer:
            return computer_;
        case Drive:
            return drive_;
        case Folder:
        case Desktop:
        case Trashcan:
        case Network:
            return folder_;
        case File:
            break;
    }
    return file_;
}

QIcon ListingOnlyIconProvider::icon(const QFileInfo& info) const {
    return info.isDir() ? folder_ : file_;
}

QString ListingOnlyIconProvider::type(const QFileInfo& info) const {
    return info.isDir() ? QCoreApplication::translate("FileDialogs", "文件夹")
                        : QCoreApplication::translate("FileDialogs", "文件");
}

namespace {

// Runs a file dialog set up by `setUp`, with the listing-only icons; the chosen file, or
// empty. The icons are made first so that they outlive the dialog's model.
template <typename SetUp>
QString Run(QWidget* parent, const QString& caption, SetUp setUp) {
    ListingOnlyIconProvider icons;
    QFileDialog dialog(parent, caption);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setIconProvider(&icons);
    setUp(dialog);
    const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    return chosen ? dialog.selectedFiles().constFirst() : QString();
}

}  // namespace

QString ChooseFileToOpen(QWidget* parent, const QString& caption) {
    return Run(parent, caption, [](QFileDialog& dialog) {
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
    });
}

QString ChooseFileToSave(QWidget* parent, const QString& caption, const QString& name,
                         const QString& filter) {
    return Run(parent, caption, [&](QFileDialog& dialog) {
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilter(filter);
        dialog.selectFile(name);
    });
}
