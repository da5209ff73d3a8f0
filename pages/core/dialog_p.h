// CDialogP: the common base of the four endpoint pages. It only wires the page's parts
// together:
//   - the page built from its template, in its colour, with its skin buttons (page_setup.h);
//   - RecordTree (record_tree.h): the host node, the entries and their records' lifetime;
//   - EntryViews (entry_views.h): the shown entry's logs, the clears, the views' menus;
//   - the send door SendBytes, which each transport's base provides (TCP: a send queue;
//     UDP: one datagram), behind which every sent message is logged by LogSent;
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
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "net/connect_info.h"
#include "pages/core/button_states.h"
#include "pages/core/page_setup.h"
#include "pages/core/record_tree.h"
#include "pages/send/typed_text.h"
#include "pages/views/entry_views.h"
#include "platform/send_box.h"
#include "platform/win_types.h"
#include "skin/skin_btn.h"

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

    // Commands of the page or of a tool for the tree's context menu: every filler is asked,
    // with the item under the pointer (the host node or an entry), each time the menu is
    // opened on an item; a menu left empty is not shown.
    using TreeMenuFiller = std::function<void(QMenu& menu, HTREEITEM item)>;
    void AddTreeMenuFiller(TreeMenuFiller fill);
    // Commands for the send box's context menu (after its edit items).
    void AddSendBoxMenuFiller(CSendBox::MenuFiller fill);

    // The page's one send door: `bytes` go to `record`'s peer as one message, and are logged
    // (LogSent) once they went. `fromBox` is the send-box text they came from: the box is
    // emptied then if it still holds it. False when nothing went or was queued (the user has
    // been told why).
    virtual bool SendBytes(ConnectInfo* record, std::string bytes, QString fromBox = {}) = 0;
    // Send: the typed text for the selected entry through SendBytes, read as `TypedForm`.
    void OnSend();
    void SetTypedForm(TypedForm form) { typedForm_ = form; }
    TypedForm GetTypedForm() const { return typedForm_; }
    // "发送时展开字段": Send expands the box's fields ({n} counts the page's expanded sends).
    void SetExpandFields(bool on) { expandFields_ = on; }
    // Whether the selected entry can be sent to; tells the user why not.
    virtual bool CanSendTo(const ConnectInfo* record) = 0;

    // For tools that send often or much (timed sends, echo, files): the door without the
    // moment a TCP send waits for a message to go (the message is logged from the event
    // loop when it went), and whether a message for the record still waits to go.
    virtual bool SendBytesWithoutWaiting(ConnectInfo* record, std::string bytes) {
        return SendBytes(record, std::move(bytes));
    }
    virtual bool MessageWaiting(const ConnectInfo* /*record*/) const { return false; }
    // A file of `size` bytes at `path` went to `record`'s peer (`went` of them when the
    // file could not be read to its end): counted, logged, shown.
    void LogSentFile(ConnectInfo& record, const QString& path, std::uint64_t size,
                     std::uint64_t went, bool failed);

    // Tools that follow the records: `dataAppended` and `receptionEnded` run inside the
    // WM_CONNECT_DATA handler (its worker holds g_connectLock: no UiCritSecGuard and no
    // modal loop there), `freeing` just before a record is freed.
    struct RecordWatch {
        std::function<void(ConnectInfo& record)> dataAppended;
        std::function<void(ConnectInfo& record)> receptionEnded;
        std::function<void(const ConnectInfo* record)> freeing;
    };
    void AddRecordWatch(RecordWatch watch) { watches_.push_back(std::move(watch)); }

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
    // Runs for every record just before it is freed: the views and the record watches
    // forget it.
    void OnFreeingRecord(const ConnectInfo* record);
    // In the transport base's destructor, with its engine's map, before the engine goes: no
    // notification reaches the page any more, every socket is closed and every record freed.
    void TearDownPage(ConnectMap& records);

    // The page's pure button function applied to its state.
    virtual ButtonSet EnabledButtons() const = 0;
    ShownState& MutableShown() { return shown_; }
    // Image of a shown entry (the caller holds g_connectLock).
    virtual int EntryImage(const ConnectInfo& record) const = 0;

    // A message of `bytes` went to `record`'s peer: counted, logged, shown; the send box
    // emptied if it still holds `fromBox`.
    void LogSent(ConnectInfo& record, const std::string& bytes, const QString& fromBox);

    // Delete: closes and frees the selected entry's record (unregistered from `records`
    // under `keyOf`), removes the entry and shows the item the tree selects instead.
    void DeleteSelectedEntry(ConnectMap& records, RecordTree::KeyOf keyOf);

    virtual void OnCommand(int id);
    // WM_CONNECT_NEW (lParam may be null) and the end of a record's reception (WM_CONNECT_DATA,
    // wParam 1; the entry already has its closed image). Inside the handlers.
    virtual LRESULT OnConnectNew(ConnectInfo* /*record*/) { return 1; }
    virtual void OnReceptionEnded(ConnectInfo& /*record*/) {}

    // Return in a page must never end it (the send box takes Return itself).
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    LRESULT OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnConnectData(WPARAM what, ConnectInfo* record);
    void DetachWindowMessages();
    void ShowTreeMenu(const QPoint& at);

    int templateId_;
    std::array<CSkinBtn, kButtonSlotCount> buttonSlots_;
    std::vector<int> createdSlots_;
    std::map<int, std::function<void()>> commands_;
    RecordTree records_;
    EntryViews views_;
    QPlainTextEdit* sendBox_ = nullptr;
    ShownState shown_;
    HWND window_ = nullptr;
    std::vector<TreeMenuFiller> treeMenuFillers_;
    TypedForm typedForm_ = TypedForm::Text;
    bool expandFields_ = false;
    std::uint64_t expandedSends_ = 0;
    std::vector<RecordWatch> watches_;
};
