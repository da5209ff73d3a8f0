// CEndpointPage: the steps every endpoint page takes alike once it knows its template,
// colour, buttons and engine map: building itself, dispatching its button commands,
// deleting the selected entry with its record, and its tear-down. The TCP and UDP page
// bases derive from it; they differ in the map's key of a record.
//
// Threads: user-interface thread only. Delete takes g_connectLock (UiCritSecGuard).
#pragma once

#include <QIcon>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "pages/dialog_p.h"
#include "pages/page_setup.h"

class CEndpointPage : public CDialogP {
    Q_OBJECT

protected:
    CEndpointPage(int templateId, QWidget* parent);

    // Builds the page from its template in `colour`, with the host node, the buttons that
    // `layoutFor` lays out over the built controls (enabled or not as listed; their clicks
    // run their commands), and Escape filtering. Returns the window the page's engine notifies.
    HWND BuildPage(int treeId, COLORREF colour,
                   const std::function<PageButtonLayout(const PageControls&)>& layoutFor);
    // A page's buttons: `topRow` left to right with `gap` between them, Send (running
    // `send`) above the send box, and the two clears (running the base's) above their views.
    PageButtonLayout LayoutButtons(std::vector<PageButton> topRow, int gap, const PageIds& ids,
                                   std::function<void()> send);
    // First thing in a page's destructor, with its engine's map: no notification reaches
    // the page any more, every socket is closed and every record freed.
    void TearDownPage(ConnectMap& records);

    // Closes the selected entry's socket (if it has one open), unregisters its record from
    // `records` (found under `keyOf(record)`), frees it, removes the entry and shows the
    // item the tree selects instead. Nothing for the host node or no selection.
    void DeleteSelectedEntry(ConnectMap& records,
                             std::uint64_t (*keyOf)(const ConnectInfo& record));

    // WM_CONNECT_DATA, inside the handler (the receive thread holds the lock): wParam 0
    // shows the new data or marks the entry as holding unseen data; wParam 1 (reception
    // ended) gives the entry its closed image, 4 with unseen data, else 2, then runs
    // `ended`. Returns the handler's result.
    LRESULT OnConnectData(WPARAM what, ConnectInfo* record,
                          const std::function<void(ConnectInfo& record)>& ended);

    void OnCommand(int id) override;

private:
    std::vector<QIcon> imageList_;
    std::map<int, std::function<void()>> commands_;
};
