#include "pages/tools/pcap_export_tool.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QProgressDialog>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <new>

#include "net/crit_sec.h"
#include "net/socket_handle.h"
#include "pages/core/dialog_p.h"
#include "pages/dialogs/file_dialogs.h"
#include "pages/tcp_server_page.h"
#include "pages/udp_server_page.h"
#include "platform/message_box.h"

struct PcapExportTool::Job {
    std::vector<PcapConversation> conversations;
    std::string path;
    std::uint64_t size = 0;
    PcapExportProgress progress;
    std::atomic<bool> done{false};
    PcapExportResult result;
};

namespace {

std::function<QString()>& FileChooser() {
    static std::function<QString()> chooser;
    return chooser;
}

PcapEndpoint EndpointOf(const Endpoint& address) {
    return {address.Ipv4Address(), address.Port(), address.Family() == AddressFamily::kIpv6,
            address.Bytes()};
}

// Why a file could not be written, in the program's words.
QString ReasonOf(int error) {
    switch (error) {
        case ENOSPC:
        case EDQUOT:
            return QCoreApplication::translate("PcapExportTool", "磁盘空间不足");
        case EACCES:
        case EPERM:
            return QCoreApplication::translate("PcapExportTool", "没有写入这个位置的权限");
        case EROFS:
            return QCoreApplication::translate("PcapExportTool", "这个位置是只读的");
        case ENOENT:
        case ENOTDIR:
            return QCoreApplication::translate("PcapExportTool", "文件夹不存在");
        case EISDIR:
            return QCoreApplication::translate("PcapExportTool", "这是一个文件夹");
        default:
            return QString::fromLocal8Bit(std::strerror(error));
    }
}

}  // namespace

void PcapExportTool::SetFileChooserForTesting(std::function<QString()> chooser) {
    FileChooser() = std::move(chooser);
}

PcapExportTool* PcapExportTool::Install(CDialogP& page) {
    return new PcapExportTool(page);
}

PcapExportTool::PcapExportTool(CDialogP& page)
    : QObject(&page), page_(page), poll_(new QTimer(this)) {
    poll_->setInterval(50);
    connect(poll_, &QTimer::timeout, this, [this] { Poll(); });
    auto* entry = new QAction(QCoreApplication::translate("PcapExportTool", "导出 pcap…"), this);
    connect(entry, &QAction::triggered, this, [this] {
        ConnectInfo* record = page_.Records().StillListed(page_.Views().ShownRecord());
        if (record)
            Export({record});
    });
    page_.Views().AddMenuFiller(EntryViews::View::Received, [this, entry](QMenu& menu) {
        entry->setEnabled(page_.Views().ShownRecord() != nullptr && !Running());
        menu.addAction(entry);
    });
    page_.AddTool(*this);
}

void PcapExportTool::FillTreeMenu(QMenu& menu, HTREEITEM item) {
    if (!page_.Records().IsHostNode(item))
        return;
    QAction* all =
        menu.addAction(QCoreApplication::translate("PcapExportTool", "导出 pcap…"), this, [this] {
            std::vector<ConnectInfo*> records;
            page_.Records().ForEachRecord(
                [&](HTREEITEM, ConnectInfo& record) { records.push_back(&record); });
            Export(records);
        });
    all->setEnabled(!Running());
}

PcapExportTool::~PcapExportTool() {
    if (job_)
        job_->progress.cancel = true;
    if (worker_.joinable())
        worker_.join();  // the worker stops within one piece once cancelled
}

PcapConversation PcapExportTool::ConversationOf(ConnectInfo& record) const {
    PcapConversation conversation;
    conversation.tcp = page_.SendsStream();
    // Server pages hear peers (clientAddr); client pages talk to a server (serverAddr).
    const bool serverPage = dynamic_cast<CTcpServerDlg*>(&page_) != nullptr ||
                            dynamic_cast<CUdpServerDlg*>(&page_) != nullptr;
    conversation.peer = EndpointOf(serverPage ? record.clientAddr : record.serverAddr);
    conversation.local = EndpointOf(serverPage ? record.serverAddr : record.clientAddr);
    // The socket knows the local end best (a server listening on every address).
    Endpoint local;
    if (record.sock != INVALID_SOCKET && GetSocketEndpoint(record.sock, local) == 0) {
        const PcapEndpoint known = EndpointOf(local);
        if (known.ipv6)
            conversation.local = known;
        if (known.address != 0)
            conversation.local.address = known.address;
        if (known.port != 0)
            conversation.local.port = known.port;
    }
    // A server socket on :: that heard an IPv4 peer: the local end is IPv4's any-address.
    if (!conversation.peer.ipv6 && conversation.local.ipv6 &&
        conversation.local.address6 == std::array<std::uint8_t, 16>{}) {
        conversation.local.ipv6 = false;
    }
    return conversation;
}

void PcapExportTool::Export(const std::vector<ConnectInfo*>& records) {
    if (Running())
        return;
    const QString path =
        FileChooser()
            ? FileChooser()()
            : ChooseFileToSave(&page_, QCoreApplication::translate("PcapExportTool", "导出 pcap"),
                               QStringLiteral("wirelark.pcap"),
                               QCoreApplication::translate("PcapExportTool",
                                                           "pcap 文件 (*.pcap);;所有文件 (*)"));
    if (path.isEmpty())
        return;
    auto job = std::make_shared<Job>();
    job->path = path.toLocal8Bit().toStdString();
    try {
        // The dialog let other commands run: only records still listed are taken.
        for (ConnectInfo* candidate : records) {
            ConnectInfo* record = page_.Records().StillListed(candidate);
            if (!record)
                continue;
            UiCritSecGuard lock(g_connectLock);
            PcapConversation conversation = ConversationOf(*record);
            conversation.received = record->recvLog.Snapshot();
            conversation.sent = record->sendLog.Snapshot();
            job->conversations.push_back(std::move(conversation));
        }
    } catch (const std::bad_alloc&) {
        ShowMessageBox(
            &page_, QCoreApplication::translate("PcapExportTool", "无法导出 pcap 文件：内存不足"),
            QCoreApplication::translate("PcapExportTool", "提示"));
        return;
    }
    job->size = PcapExportSize(job->conversations);
    job_ = job;
    worker_ = std::thread([job] {
        job->result = ExportPcap(job->conversations, job->path, job->progress);
        job->done = true;
    });
    progress_ =
        new QProgressDialog(QCoreApplication::translate("PcapExportTool", "正在导出 pcap 文件…"),
                            QCoreApplication::translate("PcapExportTool", "取消"), 0, 1000, &page_);
    progress_->setWindowTitle(QCoreApplication::translate("PcapExportTool", "导出 pcap"));
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setMinimumDuration(500);  // only an export that takes a while shows it
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    connect(progress_, &QProgressDialog::canceled, this, [job] { job->progress.cancel = true; });
    poll_->start();
}

void PcapExportTool::Poll() {
    if (!job_)
        return;
    if (job_->done) {
        Finished();
        return;
    }
    if (progress_ && job_->size > 0)
        progress_->setValue(static_cast<int>(job_->progress.bytesDone * 1000 / job_->size));
}

void PcapExportTool::Finished() {
    poll_->stop();
    worker_.join();
    const std::shared_ptr<Job> job = std::move(job_);
    if (progress_) {
        progress_->deleteLater();
        progress_ = nullptr;
    }
    if (!job->result.ok && !job->result.cancelled)
        ShowMessageBox(&page_,
                       QCoreApplication::translate("PcapExportTool", "无法导出 pcap 文件：%1")
                           .arg(ReasonOf(job->result.error)),
                       QCoreApplication::translate("PcapExportTool", "提示"));
}
