// CDialogP: the common base of the four endpoint pages. It only wires the page's parts
// together:
//   - the page built from its template, in its colour, with its skin buttons (page_setup.h);
//   - RecordTree (record_tree.h): the host node, the entries and their records' lifetime;
//   - EntryViews (entry_views.h): the shown entry's logs, the clears, the views' menus;
//   - the door, Send (pages/send/page_door.cpp): every message to a peer goes through it,
//     is handed to the transport (TCP: a send queue; UDP: one datagram), and is logged and
//     counted there once it went; the one reader of the send box (send_box_reader.h);
//   - the page tools (page_tool.h), registered with AddTool, which hear of the menus, the
//     records and the page's end, and ask the page what its transport can do;
//   - the button states: what is shown (ShownState) goes through the page's pure function
//     (button_states.h) in ApplyButtons, the one place that enables buttons;
//   - the window the engines notify, and Escape filtering.
//
// Threads: user-interface thread only. Outside the notification handlers the page takes
// g_connectLock (UiCritSecGuard) whenever it reads or changes a registered record's
// worker-owned fields (recvLog, recvBytes, unread, sock) or its engine's map; the handlers
// of WM_CONNECT_NEW and WM_CONNECT_DATA follow the lock rule stated with those messages
// (net/connect_info.h).
#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/connect_info.h"
#include "pages/core/button_states.h"
#include "pages/core/page_setup.h"
#include "pages/core/page_tool.h"
#include "pages/core/record_tree.h"
#include "pages/send/outgoing.h"
#include "pages/send/send_box_reader.h"
#include "pages/views/entry_views.h"
#include "platform/win_types.h"
#include "skin/skin_btn.h"

class FileSource;
class QMenu;
class QPlainTextEdit;

class CDialogP : public QWidget {
    Q_OBJECT

public:
    static constexpr int kButtonSlotCount = 11;

    ~CDialogP() override;

    int TemplateId() const { return templateId_; }
    // Button slot 1 to 11; a slot the page does not use has no parent and is never shown.
    CSkinBtn& ButtonSlot(int slot);
    // The window the engines notify; null before the page is built or once torn down.
    HWND WindowHandle() const { return window_; }

    RecordTree& Records() { return records_; }
    EntryViews& Views() { return views_; }
    CTreeCtrlEx* Tree() const { return records_.Tree(); }
    std::optional<RecordTree::HostNode> GetHostNode() const { return records_.GetHostNode(); }
    QPlainTextEdit* ReceivedView() const { return views_.Widget(EntryViews::View::Received); }
    QPlainTextEdit* SentView() const { return views_.Widget(EntryViews::View::Sent); }
    QPlainTextEdit* SendBox() const { return sendBox_; }

    // The tree's caret moved to `item` (or the caret item was clicked): the host node empties the
    // views; an entry with a record loses its unseen mark, gets the page's image for it
    // (EntryImage) and has its logs shown. The buttons follow. Nothing for a null item.
    virtual void ShowEntry(HTREEITEM item);
    // What the views show, as the button states see it.
    const ShownState& Shown() const { return shown_; }
    // Enables exactly the buttons the page's EnabledButtons names.
    void ApplyButtons();

    // Registers a tool (page_tool.h) for the rest of the page's life.
    void AddTool(PageTool& tool) { tools_.push_back(&tool); }
    // A tool that is a member of a page class goes before the base's tear-down: it leaves.
    void RemoveTool(PageTool& tool) { std::erase(tools_, &tool); }

    // ---- the door (pages/send/page_door.cpp) ----
    // The page's one door: `message` goes to `record`'s peer and is logged and counted once it
    // went. False when nothing went or was queued; the user has been told why (a failed echo
    // reply is noted in the entry's sent log instead, with a box at most every few seconds).
    bool Send(ConnectInfo* record, Outgoing message);
    // Send: the send box's text to the selected entry.
    void OnSend();
    // The send box read as Send reads it (hex mode and the field expander honoured).
    BoxMessage ReadBox() const { return ReadSendBox(sendBox_, typedForm_, expander_); }
    void SetTypedForm(TypedForm form) { typedForm_ = form; }
    TypedForm GetTypedForm() const { return typedForm_; }
    void SetFieldExpander(FieldExpander expand) { expander_ = std::move(expand); }
    // Whether the selected entry can be sent to; tells the user why not.
    virtual bool CanSendTo(const ConnectInfo* record) = 0;

    // ---- what the page's transport can do, for the tools ----
    // A byte stream (TCP: a batch of chunks may go as one message) or datagrams (UDP).
    virtual bool SendsStream() const = 0;
    // A message for the record still waits to go (a tool that sends often skips a turn).
    virtual bool MessageWaiting(const ConnectInfo* /*record*/) const { return false; }
    // Bytes still waiting for the record's peer; nothing on a page that never queues.
    virtual std::optional<std::uint64_t> WaitingBytes(const ConnectInfo* /*record*/) const {
        return std::nullopt;
    }
    // Stops or resumes reading from the record's peer; false when the page cannot.
    virtual bool SetReadingPaused(ConnectInfo* /*record*/, bool /*paused*/) { return false; }
    // The host node's tooltip (empty: none).
    virtual QString HostNodeNote() const { return {}; }

protected:
    CDialogP(int templateId, QWidget* parent);

    // Builds the page from its template in `colour`, with the host node, the buttons that
    // `layoutFor` lays out over the built controls (their clicks run their commands; their
    // states follow ApplyButtons), and Escape filtering. Returns the window the page's engine
    // notifies.
    HWND BuildPage(int treeId, COLORREF colour,
                   const std::function<PageButtonLayout(const PageControls&)>& layoutFor);
    // A page's buttons: `topRow` left to right with `gap` between them, Send (OnSend) above
    // the send box and the two clears above their views.
    PageButtonLayout LayoutButtons(std::vector<PageButton> topRow, int gap, const PageIds& ids);
    // Runs for every record just before it is freed: the views and the tools forget it. A
    // page that keeps records of its own forgets them too, then calls this.
    virtual void RecordFreeing(const ConnectInfo* record);
    // In the transport base's destructor, with its engine's map, before the engine goes: the
    // tools stop, no notification reaches the page any more, every socket is closed and
    // every record freed.
    void TearDownPage(ConnectMap& records);

    // The page's pure button function applied to its state.
    virtual ButtonSet EnabledButtons() const = 0;
    ShownState& MutableShown() { return shown_; }
    // Image of a shown entry (the caller holds g_connectLock).
    virtual int EntryImage(const ConnectInfo& record) const = 0;

    // The transport behind the door: sends or queues `message`. False when it did not go
    // (after SendFailed, or silently when the connection is closed).
    virtual bool Transmit(ConnectInfo& record, Outgoing& message) = 0;
    // The transport's reports, from the door's one place: a message of `bytes` went (the box
    // emptied if it still holds `fromBox`; the file's line after it when they were `file`'s);
    // a file streamed went (`went` bytes of it, all unless `cut`); a message could not go and
    // why.
    void MessageWent(ConnectInfo& record, std::string_view bytes, const QString& fromBox,
                     const FileSource* file = nullptr);
    void FileWent(ConnectInfo& record, const QString& path, std::uint64_t went, bool cut);
    void SendFailed(ConnectInfo& record, SendOrigin origin, const QString& why);

    // Delete: closes and frees the selected entry's record (unregistered from `records`
    // under `keyOf`), removes the entry and shows the item the tree selects instead.
    void DeleteSelectedEntry(ConnectMap& records, RecordTree::KeyOf keyOf);

    virtual void OnCommand(int id);
    // WM_CONNECT_NEW (lParam may be null) and the end of a record's reception (WM_CONNECT_DATA,
    // wParam 1; the entry already has its closed image). Inside the handlers.
    virtual LRESULT OnConnectNew(ConnectInfo* /*record*/) { return 1; }
    // Any other message to the page's window (posted by its engine's threads).
    virtual LRESULT OnPageMessage(UINT /*message*/, WPARAM, LPARAM) { return 0; }
    virtual void OnReceptionEnded(ConnectInfo& /*record*/) {}

    // Return in a page must never end it (the send box takes Return itself).
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    LRESULT OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnConnectData(WPARAM what, ConnectInfo* record);
    void DetachWindowMessages();
    void ShowTreeMenu(const QPoint& at);
    template <typename Call>
    void ForEachTool(Call call) {
        for (PageTool* tool : tools_) call(*tool);
    }

    int templateId_;
    std::array<CSkinBtn, kButtonSlotCount> buttonSlots_;
    std::vector<int> createdSlots_;
    std::map<int, std::function<void()>> commands_;
    RecordTree records_;
    EntryViews views_;
    QPlainTextEdit* sendBox_ = nullptr;
    ShownState shown_;
    HWND window_ = nullptr;
    std::vector<PageTool*> tools_;
    TypedForm typedForm_ = TypedForm::Text;
    FieldExpander expander_;
    // When a failed echo reply last raised a message box (one every few seconds at most).
    std::chrono::steady_clock::time_point lastEchoFailureBox_{};
};
