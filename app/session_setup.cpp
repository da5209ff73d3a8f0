#include "app/session_setup.h"

#include <QCoreApplication>
#include <QTimer>
#include <memory>

#include "app/encoding_setting.h"
#include "app/mgr_dlg.h"

namespace {

// The file was checked when read; a name the converter lost since is reported.
bool ApplyEncoding(const QString& name) {
    if (name.compare(QLatin1String("Ansi"), Qt::CaseInsensitive) == 0) {
        ApplyEncodingChoice(EncodingChoice::Ansi);
        return true;
    }
    return ApplyEncodingName(name.toStdString());
}

}  // namespace

Session CaptureSession(CMgrDlg& frame) {
    Session session;
    session.encoding = CurrentEncodingSettingName();
    for (int i = 0; i < 4; ++i)
        session.pages[static_cast<std::size_t>(i)] = DescribePage(frame.Page(i));
    return session;
}

bool HasSetUp(CMgrDlg& frame) {
    for (int i = 0; i < 4; ++i) {
        const PageSnapshot page = DescribePage(frame.Page(i));
        if (page.serverPort > 0 || !page.groups.empty() || !page.tcpClients.empty() ||
            !page.udpClients.empty())
            return true;
        bool entries = false;
        frame.Page(i).Records().ForEachRecord([&](HTREEITEM, ConnectInfo&) { entries = true; });
        if (entries)
            return true;
    }
    return false;
}

void ApplySession(CMgrDlg& frame, const Session& session,
                  std::function<void(const QStringList& failures)> done) {
    for (int i = 0; i < 4; ++i) ClearPage(frame.Page(i));
    auto report = std::make_shared<RebuildReport>();
    if (!ApplyEncoding(session.encoding))
        report->Failed(QCoreApplication::translate("SessionSetup", "编码"),
                       QCoreApplication::translate("SessionSetup", "系统不支持编码“%1”")
                           .arg(session.encoding));
    // Held until the last page is rebuilt, so that connects ending at once do not settle
    // the report early.
    report->Began();
    for (int i = 0; i < 4; ++i)
        RebuildPage(frame.Page(i), session.pages[static_cast<std::size_t>(i)], report);
    // Told from the event loop: the last connect may end inside a page's handler, even
    // under g_connectLock (a connect given up as its entry is deleted).
    std::weak_ptr<RebuildReport> weak = report;
    report->settled = [weak, &frame, done = std::move(done)] {
        if (const auto settled = weak.lock()) {
            QTimer::singleShot(0, &frame,
                               [done, failures = settled->Failures()] { done(failures); });
        }
    };
    report->Ended();
}
