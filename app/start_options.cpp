#include "app/start_options.h"

#include <QCoreApplication>
#include <QMouseEvent>

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

void ApplyStartOptions(CMgrDlg& frame, const StartOptions& options) {
    if (options.page > 0 && options.page < 4 && frame.TabStrip())
        ClickTab(*frame.TabStrip(), options.page);
    if (options.tcpServerPort > 0)
        frame.TcpServerPage().StartOnPort(options.tcpServerPort);
    if (options.udpServerPort > 0)
        frame.UdpServerPage().StartOnPort(options.udpServerPort);
}
