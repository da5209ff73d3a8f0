#include "app/about_dlg.h"

#include <QCoreApplication>
#include <QPainter>

#include "app/app_dialog.h"
#include "app/dialog_face.h"
#include "platform/resources.h"

CAbout::CAbout(QWidget* parent) : QDialog(parent) {
    BuildAppDialog(this, kTemplateId);
    // A bitmap that does not load leaves its image empty: nothing is drawn for it.
    firstImage_ = LoadBitmapResource(kFirstImageId);
    secondImage_ = LoadBitmapResource(kSecondImageId);
}

CAbout::~CAbout() = default;

QString CAbout::Title() {
    return QCoreApplication::translate("AboutDlg", "SOCKET 测试工具 VER1.0");
}

void CAbout::paintEvent(QPaintEvent*) {
    PaintCaptionedFace(this, Title(), [this](QPainter& painter) {
        // Plain copies at natural size.
        if (!firstImage_.isNull())
            painter.drawPixmap(70, 90, firstImage_);
        if (!secondImage_.isNull())
            painter.drawPixmap(260, 90, secondImage_);
    });
}
