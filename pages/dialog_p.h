// CDialogP: the common base of the four endpoint pages.
//
// Every page has an endpoint tree (host node = the local machine, one entry per
// ConnectInfo below it), a received view and a sent view showing the logs of the entry the
// user last clicked, a send box, and a row of skin buttons created at run time. The base
// holds what the pages share: the page colour, the eleven button slots, the message window
// the engines notify, Escape filtering, the host tree's set-up and tear-down, and the steps
// every page takes the same way (showing logs, the data notification, the two clears and
// sending typed text on a TCP connection).
//
// Threads: everything here runs on the user-interface thread. Outside the notification
// handlers the page takes g_connectLock with UiCritSecGuard whenever it reads or changes
// a registered record's worker-owned fields (recvLog, recvBytes, recvBytes2, unread, sock)
// or its engine's map. Inside WM_CONNECT_NEW / WM_CONNECT_DATA handlers it takes no lock:
// the worker that sent the message holds it and waits for the handler to finish.
#pragma once

#include <QIcon>
#include <QWidget>
#include <array>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "net/connect_info.h"
#include "pages/host_info.h"
#include "pages/log_view.h"
#include "pages/page_buttons.h"
#include "platform/win_types.h"
#include "skin/skin_btn.h"

class CTreeCtrlEx;
class QPlainTextEdit;
class QTimer;
class TcpSendQueue;

// Node images (indices into the tree's image list).
enum NodeImage : int {
    kImageHostIdle = 0,
    kImageHostOpen = 1,
    kImageEntryClosed = 2,
    kImageEntryOpen = 3,
    kImageEntryClosedUnread = 4,
    kImageEntryOpenUnread = 5,
};

class CDialogP : public QWidget {
    Q_OBJECT

public:
    static constexpr int kButtonSlotCount = 11;
    static constexpr int kDefaultTemplateId = 234;

    // Builds nothing yet: the concrete page builds its template in its own constructor.
    CDialogP(int templateId, QWidget* parent);
    CDialogP();
    ~CDialogP() override;

    int TemplateId() const { return templateId_; }
    // Button slot 1 to 11; a slot the page does not use has no parent and is never shown.
    CSkinBtn& ButtonSlot(int slot);
    // The window the engines notify; null before the page attached it or once torn down.
    HWND WindowHandle() const { return window_; }

    // The controls every page binds (null before the page is built).
    CTreeCtrlEx* Tree() const { return tree_; }
    QPlainTextEdit* ReceivedView() const { return receivedView_.Widget(); }
    QPlainTextEdit* SentView() const { return sentView_.Widget(); }
    QPlainTextEdit* SendBox() const { return sendBox_; }

    struct HostNode {
        HTREEITEM item;
        HostInfo* info;  // may be null
    };
    // The host node (the tree's root item) and its HostInfo; nothing when there is no root.
    std::optional<HostNode> GetHostNode() const;
    // The record attached to an entry; null for the host node, null items and entries
    // without record.
    ConnectInfo* RecordOf(HTREEITEM item) const;
    bool IsHostNode(HTREEITEM item) const;

    // Runs the page's click handling for `item`, as a click on its row does.
    virtual void ShowEntry(HTREEITEM item);

    // The connections' send queues (TCP pages): messages wait there while their peers
    // take them.
    TcpSendQueue& SendQueue() { return *sendQueue_; }
    // How long a peer may take nothing of a waiting message before the user is told.
    void SetSendStallTimeoutForTesting(std::chrono::milliseconds timeout);
    // Answers the save dialog of the received view's menu instead of the user (an empty
    // path cancels).
    void SetSaveFileChooserForTesting(std::function<QString()> chooser);

protected:
    // --- set-up, in the order a page's initialisation uses them ---------------------------
    // Page brush: the page's background colour (the log views keep their own).
    void SetPageColour(COLORREF colour);
    COLORREF PageColour() const { return pageColour_; }
    void BindPageControls(CTreeCtrlEx* tree, QPlainTextEdit* receivedView, QPlainTextEdit* sentView,
                          QPlainTextEdit* sendBox);
    // Host node labelled with the local address, the six node images, bold dark-red label,
    // a fresh HostInfo as item data.
    void InitHostTree(CTreeCtrlEx& tree, std::vector<QIcon>& imageList);
    // Creates the window of button slot `slot` with command `id` at `rect` and loads its
    // bitmaps; its clicks go to OnCommand(id).
    CSkinBtn& CreateSkinButton(int slot, int id, const QRect& rect, const SkinBitmaps& bitmaps);
    // Escape is swallowed for the page and every control on it (call once all exist).
    void InstallEscapeFilter();
    // Gives the page its window handle; messages arrive at OnWindowMessage.
    HWND AttachWindowMessages();

    // --- tear-down ------------------------------------------------------------------------
    // The one call a page's destructor makes, with its engine's map: drops the send queues;
    // closes the host node's socket (listening or bound) under g_connectLock, so that no
    // engine thread registers a record after this; destroys the window handle; then
    // ReleaseHostTree. Connections arriving meanwhile are freed with the rest.
    void ReleasePage(ConnectMap& connections);
    // Destroys the window handle: workers sending to it from now on get 0 at once, so that no
    // notification reaches a page being destroyed.
    void DetachWindowMessages();
    // Closes and frees, once each, every record of the map (with or without an entry) and
    // of the tree, then the host node's socket and HostInfo, and empties the tree.
    void ReleaseHostTree(CTreeCtrlEx& tree, ConnectMap& connections);

    // --- handlers -------------------------------------------------------------------------
    // A skin button was clicked.
    virtual void OnCommand(int id);
    // A window message for this page (engine notifications). Runs on the user-interface
    // thread; see the file comment about the lock.
    virtual LRESULT OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // --- steps every page takes the same way ----------------------------------------------
    // Puts the record's logs into both views and scrolls both to the end. The caller holds
    // g_connectLock (or runs inside a notification handler).
    void ShowRecordLogs(const ConnectInfo& record);
    // Empties both views (the host node is shown).
    void ClearViews();
    // The record is about to be freed: the views stop counting it as shown and its unsent
    // messages are dropped.
    void ForgetRecord(const ConnectInfo* record);
    // The record's entry is the one the views show (the last one ShowRecordLogs showed).
    bool IsShownRecord(const ConnectInfo* record) const;
    // WM_CONNECT_DATA, wParam 0: shows the new data if the entry is selected (it then
    // counts as seen), otherwise marks the entry as holding unseen data. Inside the handler
    // (no lock).
    void OnDataAppended(ConnectInfo* record);
    // How long the received view may lag behind a flood of data for the shown entry: data
    // notifications within this time are shown together, with one append and one repaint.
    static constexpr int kReceivedViewRefreshMs = 30;
    void OnClearReceived();
    void OnClearSent();
    // The send box's text as it goes on the wire, for every page: trailing spaces trimmed
    // (only spaces), each line break sent as CR LF, converted to the code page. nullopt
    // when the box is empty; an empty string when it held spaces only.
    std::optional<std::string> PrepareTypedTextForSending() const;
    // Queues the send box's text for the selected entry's TCP connection; it is logged
    // when its last byte has gone (see TcpSendQueue). The send box keeps the text until
    // then.
    void SendTypedTextTcp();
    // The page closes the record's connection itself (Disconnect): its unsent messages are
    // dropped without a report. Call before closing the socket.
    void DropPendingSends(const ConnectInfo* record);

    // Return in a page must never end it (the send box takes Return itself).
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int templateId_;
    COLORREF pageColour_ = RGB(255, 255, 255);
    std::array<CSkinBtn, kButtonSlotCount> buttonSlots_;
    // Puts the received data of the record that OnDataAppended saw into the view.
    void RefreshReceivedView();
    // Reports of the send queue (user-interface thread, outside any notification handler).
    void OnSendDelivered(ConnectInfo* record, const std::string& bytes, const QString& typed);
    void OnSendStalled(ConnectInfo* record, std::size_t size, std::size_t went);
    void OnSendFailed(ConnectInfo* record, SOCKET sock);
    // The record's sent log got a line: shows it if the record is selected.
    void ShowSentLog(ConnectInfo* record);
    // The received view's context menu: the view's own entries and saving the shown
    // entry's whole received log.
    void ShowReceivedViewMenu(const QPoint& at);
    void SaveShownReceivedLog();

    HWND window_ = nullptr;
    // The selected record whose new data waits for RefreshReceivedView, or null.
    ConnectInfo* receivedRefreshPending_ = nullptr;
    QTimer* receivedRefreshTimer_ = nullptr;
    CTreeCtrlEx* tree_ = nullptr;
    LogView receivedView_{nullptr};
    LogView sentView_{nullptr};
    QPlainTextEdit* sendBox_ = nullptr;
    const ConnectInfo* shownRecord_ = nullptr;
    TcpSendQueue* sendQueue_ = nullptr;
    std::function<QString()> saveFileChooser_;
};
