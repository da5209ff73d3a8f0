// TimedSendTool: the send box's "定时发送…" command of a page. It asks for the interval and
// the number of sends (CTimedSendDlg) and sends the send box's text, prepared as Send does,
// to the entry shown when it started, through the page's door, one message at a time: a tick
// whose previous message has not gone yet is skipped. While it runs the command reads
// "停止定时发送". The text is read as Send reads it (the page's one reader). It stops on the count,
// on a failed send (its message once), when the entry's connection ends or the entry is deleted,
// and with the page; the entry's sent log then says how many sends went and how many ticks were
// skipped.
//
// One per page, a child of the page. User-interface thread only.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <string>

#include "pages/core/page_tool.h"
#include "pages/tools/timed_sender.h"

class CDialogP;
class QMenu;
struct ConnectInfo;

class TimedSendTool : public QObject, public PageTool {
    Q_OBJECT

public:
    // Adds the command to `page`'s send-box menu and follows its records.
    explicit TimedSendTool(CDialogP& page);

    bool IsRunning() const { return sender_.IsRunning(); }
    const TimedSender& Sender() const { return sender_; }

    // The command: starts a timed send for the shown entry, or stops the one that runs.
    void OnCommand();

private:
    void FillSendBoxMenu(QMenu& menu) override;
    // Inside the handler: stopping only logs on the page's own sent log, no lock, no box.
    void ReceptionEnded(ConnectInfo& record) override;
    void RecordFreeing(const ConnectInfo* record) override;
    void PageClosing() override { sender_.Stop(); }
    void Start();
    void OnFinished(TimedSender::End end, const QString& failure);
    SendOutcome SendOnce();

    // The end's line, written once the run's last message has gone, so that it follows it.
    void WriteEndNote();
    void AppendEndNote();

    CDialogP& page_;
    TimedSender sender_;
    QTimer noteTimer_;
    ConnectInfo* noteRecord_ = nullptr;  // whose end line waits; null once it is freed
    QString note_;
    ConnectInfo* record_ = nullptr;  // the entry sent to while running; null once it is freed
    std::string bytes_;
    // The last choice, offered again.
    int intervalMs_ = 1000;
    int count_ = 0;
};
