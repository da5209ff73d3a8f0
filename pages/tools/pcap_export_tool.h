// "导出 pcap…": the received view's menu writes the shown entry's conversation (what its
// peer sent and what was sent to it), the host node's menu every entry of the page, as one
// pcap capture (net/pcap_export.h) with the entries' real addresses and ports.
//
// The logs are taken as snapshots on the user-interface thread (the received ones under
// g_connectLock) and written on a worker thread of the tool's own, so a gigabyte never
// stalls the window; a progress dialog offers to cancel an export that takes a while. A
// failure says why and leaves no partial file.
//
// User-interface thread only, but for the worker, which touches only its snapshots.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "net/pcap_export.h"
#include "pages/core/page_tool.h"

class CDialogP;
class QProgressDialog;
class QTimer;
struct ConnectInfo;

class PcapExportTool : public QObject, public PageTool {
    Q_OBJECT

public:
    // Adds the two commands to `page`'s menus; the page owns the tool.
    static PcapExportTool* Install(CDialogP& page);
    ~PcapExportTool() override;

    // Answers the save dialog instead of the user (an empty path cancels).
    static void SetFileChooserForTesting(std::function<QString()> chooser);
    // Whether an export is running.
    bool Running() const { return worker_.joinable(); }

    void FillTreeMenu(QMenu& menu, HTREEITEM item) override;

private:
    explicit PcapExportTool(CDialogP& page);
    // Asks for the file, takes the records' snapshots and starts the worker.
    void Export(const std::vector<ConnectInfo*>& records);
    PcapConversation ConversationOf(ConnectInfo& record) const;
    void Poll();
    void Finished();

    CDialogP& page_;
    std::thread worker_;
    struct Job;
    std::shared_ptr<Job> job_;
    QProgressDialog* progress_ = nullptr;
    QTimer* poll_;
};
