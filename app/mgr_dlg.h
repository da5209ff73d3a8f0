// CMgrDlg: the application's only top-level window. A frameless window that paints its own
// skin (bitmap edges and corners, logo and title) through a back buffer, cuts its rounded
// corners out of its shape, moves and sizes itself with the mouse, and hosts the four
// endpoint pages under a tab strip, with a close button and a menu button. Run modally for
// the whole life of the program (CChatApp). Everything here runs on the user-interface
// thread.
#pragma once

#include <QBasicTimer>
#include <QDialog>
#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QRegion>
#include <QString>
#include <array>
#include <functional>

#include "app/frame_geometry.h"
#include "pages/tcp_client_page.h"
#include "pages/tcp_server_page.h"
#include "pages/udp_client_page.h"
#include "pages/udp_server_page.h"
#include "platform/win_types.h"
#include "skin/skin_btn.h"

class CDialogP;
class CFrameKeys;
class CSkinTab;

class CMgrDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 157;
    static constexpr int kTabStripId = 1053;
    static constexpr int kIconId = 293;
    static constexpr int kMenuId = 132;
    // Commands.
    static constexpr int kCloseId = 10200;
    static constexpr int kMenuButtonId = 10400;
    static constexpr int kSettingsId = 32777;
    static constexpr int kHelpId = 32778;
    static constexpr int kAboutId = 32779;
    static constexpr int kExitId = 32780;
    static constexpr int kOpenSessionId = 32781;
    static constexpr int kSaveSessionId = 32782;
    // Sent by the tab strip: lParam is the index of the page to show.
    static constexpr UINT kPageSwitchMessage = WM_USER + 100;
    // The pages lie in the client area less this much at the top and 2 pixels elsewhere.
    static constexpr int kPageTop = 75;
    static constexpr int kPageMargin = 2;

    explicit CMgrDlg(QWidget* parent = nullptr);
    ~CMgrDlg() override;

    CTcpServerDlg& TcpServerPage() { return tcpServerPage_; }
    CTcpClientDlg& TcpClientPage() { return tcpClientPage_; }
    CUdpServerDlg& UdpServerPage() { return udpServerPage_; }
    CUdpClientDlg& UdpClientPage() { return udpClientPage_; }
    // Page `index` in tab order (0 TCP server, 1 TCP client, 2 UDP server, 3 UDP client).
    CDialogP& Page(int index);
    CSkinTab* TabStrip() const { return tabStrip_; }
    CSkinBtn& CloseButton() { return closeButton_; }
    CSkinBtn& MenuButton() { return menuButton_; }
    HWND WindowHandle() const { return window_; }
    QString TitleText() const { return titleText_; }
    // Where the title is drawn: left of the menu button at every size.
    QRect TitleRect() const;
    // The title as drawn there: cut short with "…" where the whole does not fit.
    QString ShownTitle() const;

    // Runs a command (buttons, menu items, accelerators).
    void OnCommand(int id);
    // Shows the popup menu under the menu button and runs the chosen command.
    void ShowPopupMenu();
    // Where the popup menu opens (screen coordinates).
    QPoint PopupMenuPosition() const;

    // The skin as painted now, without the system-button images (what the shape is cut from).
    QImage PaintSkin() const;
    // How often the window shape has been rebuilt.
    int RegionBuildCount() const { return regionBuilds_; }
    // Zone timers running now (1, 3, 5, 7, 9).
    std::vector<int> RunningZoneTimers() const;
    bool ButtonHeld() const { return buttonHeld_; }
    int CursorZone() const { return cursorZone_; }
    // The cursor position the drag steps read; the pointer's position unless replaced (tests
    // on platforms whose pointer cannot be placed).
    void SetCursorSource(std::function<QPoint()> source);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void OnInitDialog();
    void LoadSkinImages();
    void CreateSystemButtons();
    void PlaceSystemButtons();
    void FocusShownTree();
    void CloseOwnedWindows();
    void SetUpTabStrip();
    void PlacePages();
    LRESULT OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnPageSwitch(int index);
    void ShowModalAndQuit();
    void RebuildRegionIfResized(const QImage& skin);
    void DrawSystemButtons(QPainter& painter);
    void StopZoneTimers();
    WinRect WindowRect() const;
    bool OnWayland() const;
    // False on platforms whose screens ignore window shapes.
    static bool PlatformShapesWindows();

    // The pages first: they are destroyed last, after the controls that sit above them.
    CTcpServerDlg tcpServerPage_;
    CTcpClientDlg tcpClientPage_;
    CUdpServerDlg udpServerPage_;
    CUdpClientDlg udpClientPage_;
    QIcon icon_;
    struct SkinImage {
        QPixmap bitmap;
        QSize size;
    };
    SkinImage logo_, topLeft_, topEdge_, topRight_, leftEdge_, rightEdge_, bottomLeft_,
        bottomRight_;
    DragState drag_;
    bool buttonHeld_ = false;
    int cursorZone_ = 0;
    QString titleText_;
    QFont titleFont_;
    QRect drawnTitleRect_;  // where the title was drawn when the tab strip took its copy
    QString drawnTitle_;
    CSkinBtn closeButton_;
    CSkinBtn menuButton_;
    CSkinTab* tabStrip_ = nullptr;  // child made from the template's static control

    std::array<QBasicTimer, 10> zoneTimers_;  // indexed by zone
    std::function<QPoint()> cursorSource_;
    QSize regionSize_;  // client size the shape was last built for
    int regionBuilds_ = 0;
    QSize buttonImagesSize_;  // client size the system-button images were last drawn at
    CFrameKeys* keys_ = nullptr;
    HWND window_ = nullptr;
};
