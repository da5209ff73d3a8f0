// CTcpServerDlg: the TCP server page (the main frame's page 0). The user picks a port, the
// page listens on it on every local address, and every accepted connection becomes an
// entry under the host node: the user reads what it sent, answers it, disconnects or
// deletes it. Listening, accepting and receiving are done by the page's TcpEngine, whose
// threads notify this page's window. User-interface thread only.
#pragma once

#include <QIcon>
#include <vector>

#include "net/tcp_engine.h"
#include "pages/dialog_p.h"

class CTcpServerDlg : public CDialogP {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 129;
    static constexpr COLORREF kPageColour = RGB(232, 243, 250);

    // Control ids.
    static constexpr int kTreeId = 1025;
    static constexpr int kReceivedViewId = 1026;
    static constexpr int kSentViewId = 1028;
    static constexpr int kSendBoxId = 1031;
    static constexpr int kCreateId = 1030;
    static constexpr int kListenId = 1033;
    static constexpr int kStopListeningId = 1035;
    static constexpr int kDisconnectId = 1036;
    static constexpr int kDeleteId = 1037;
    static constexpr int kSendId = 1020;
    static constexpr int kClearReceivedId = 1021;
    static constexpr int kClearSentId = 1022;

    explicit CTcpServerDlg(QWidget* parent = nullptr);
    ~CTcpServerDlg() override;

    TcpEngine& Engine() { return engine_; }

    void ShowEntry(HTREEITEM item) override;

    // Commands (the buttons' handlers).
    void OnCreate();
    void OnListen();
    void OnStopListening();
    void OnDisconnect();
    void OnDelete();

protected:
    void OnCommand(int id) override;
    LRESULT OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void CreatePageButtons();
    void SetButtonEnabled(int slot, bool enabled);
    LRESULT OnConnectNew(ConnectInfo* record);
    LRESULT OnConnectData(WPARAM what, ConnectInfo* record);

    std::vector<QIcon> imageList_;
    TcpEngine engine_;
};
