#include "app/start_options.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QScreen>
#include <QWidget>
#include <algorithm>

#include "app/mgr_dlg.h"
#include "skin/skin_tab.h"

namespace {

// The tab strip changes its selection only on a click; clicking the tab keeps the strip and
// the page shown in agreement, as a user's click does.
void ClickTab(CSkinTab& strip, int index) {
    const QPointF point = strip.GetItemRect(index).center();
    const QPointF global = strip.mapToGlobal(point);
    QMouseEvent press(QEvent::MouseButtonPress, point, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(&strip, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, point, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(&strip, &release);
}

}  // namespace

std::optional<StartGeometry> StartGeometry::Parse(const QString& text) {
    static const QRegularExpression form(
        QStringLiteral("^=?(?:(\\d{1,9})[xX](\\d{1,9}))?(?:([+-])(\\d{1,9})([+-])(\\d{1,9}))?$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch() || text.isEmpty() || text == QStringLiteral("="))
        return std::nullopt;
    StartGeometry geometry;
    if (match.hasCaptured(1))
        geometry.size = QSize(match.captured(1).toInt(), match.captured(2).toInt());
    if (match.hasCaptured(3)) {
        geometry.placed = true;
        geometry.fromRight = match.captured(3) == QStringLiteral("-");
        geometry.x = match.captured(4).toInt();
        geometry.fromBottom = match.captured(5) == QStringLiteral("-");
        geometry.y = match.captured(6).toInt();
    }
    return geometry;
}

QRect StartGeometry::On(QSize current, const QRect& available) const {
    QSize size = this->size.isValid() ? this->size : current;
    size = size.boundedTo(available.size());
    QRect rect(QPoint(0, 0), size);
    if (!placed) {
        rect.moveCenter(available.center());
        return rect;
    }
    const int left = fromRight ? available.right() + 1 - x - size.width() : available.left() + x;
    const int top = fromBottom ? available.bottom() + 1 - y - size.height() : available.top() + y;
    rect.moveTopLeft(
        QPoint(std::clamp(left, available.left(), available.right() + 1 - size.width()),
               std::clamp(top, available.top(), available.bottom() + 1 - size.height())));
    return rect;
}

void PlaceFrame(QWidget& frame, const StartOptions& options) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!options.geometry || !screen)
        return;
    frame.setGeometry(options.geometry->On(frame.size(), screen->availableGeometry()));
}

void ApplyStartOptions(CMgrDlg& frame, const StartOptions& options) {
    if (options.page > 0 && options.page < 4 && frame.TabStrip())
        ClickTab(*frame.TabStrip(), options.page);
    if (options.tcpServerPort > 0)
        frame.TcpServerPage().StartOnPort(options.tcpServerPort);
    if (options.udpServerPort > 0)
        frame.UdpServerPage().StartOnPort(options.udpServerPort);
}
