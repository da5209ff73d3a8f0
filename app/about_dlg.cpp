#include "app/about_dlg.h"

#include <QPainter>
#include <QPushButton>

#include "app/dialog_face.h"
#include "platform/dialog_template.h"
#include "platform/resources.h"

namespace {
constexpr int kIdOk = 1;
}  // namespace

CAbout::CAbout(QWidget* parent) : QDialog(parent) {
    BuildDialogFromTemplate(this, kTemplateId);
    if (auto* ok = FindControlAs<QPushButton>(this, kIdOk))
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    // A bitmap that does not load leaves its image empty: nothing is drawn for it.
    firstImage_ = LoadBitmapResource(kFirstImageId);
    secondImage_ = LoadBitmapResource(kSecondImageId);
}

CAbout::~CAbout() = default;

QString CAbout::Title() {
    return QStringLiteral("SOCKET 测试工具 VER1.0");
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
