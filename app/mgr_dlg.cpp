#include "app/mgr_dlg.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>

#include "app/about_dlg.h"
#include "app/arial_font.h"
#include "app/dialog_face.h"
#include "app/frame_keys.h"
#include "app/help_dlg.h"
#include "app/session_menu.h"
#include "app/set_dlg.h"
#include "app/window_region.h"
#include "platform/dialog_template.h"
#include "platform/qt_window.h"
#include "platform/resources.h"
#include "skin/magenta_key.h"
#include "skin/office_xp_menu.h"
#include "skin/skin_tab.h"
#include "skin/tree_ctrl_ex.h"

namespace {

constexpr int kZones[] = {1, 3, 5, 7, 9};
constexpr int kTitleCellHeight = 15;
// The popup menu opens this far below the menu button's top.
constexpr int kMenuDrop = 18;

struct TabItemBitmaps {
    int normal, hover, selected;
};
constexpr TabItemBitmaps kTabBitmaps[] = {
    {306, 305, 307},  // TCP server
    {302, 304, 303},  // TCP client
    {296, 297, 298},  // UDP server
    {301, 300, 299},  // UDP client
};

// Copies `image` over `area`, tile by tile at its natural size; the last tile in each
// direction is copied whole.
void Tile(QPainter& painter, const QPixmap& image, const QRect& area) {
    if (image.isNull())
        return;
    for (int y = area.top(); y < area.top() + area.height(); y += image.height()) {
        for (int x = area.left(); x < area.left() + area.width(); x += image.width())
            painter.drawPixmap(x, y, image);
    }
}

// The window edges a corner handle moves.
Qt::Edges CornerEdges(int zone) {
    const Qt::Edges vertical = zone <= 3 ? Qt::TopEdge : Qt::BottomEdge;
    const Qt::Edges horizontal = (zone == 1 || zone == 7) ? Qt::LeftEdge : Qt::RightEdge;
    return vertical | horizontal;
}

// Runs a dialog of the menu modally over the frame; it is gone when this returns.
template <typename Dialog>
void RunModal(QWidget* frame) {
    Dialog dialog(frame);
    dialog.exec();
}

// A rectangle from edges, right and bottom exclusive.
QRect Edges(int left, int top, int right, int bottom) {
    return {left, top, right - left, bottom - top};
}

}  // namespace

CMgrDlg::CMgrDlg(QWidget* parent)
    : QDialog(parent),
      tcpServerPage_(this),
      tcpClientPage_(this),
      udpServerPage_(this),
      udpClientPage_(this) {
    OnInitDialog();
}

CMgrDlg::~CMgrDlg() {
    // The key filter sees every event of the application: gone before the frame comes apart.
    delete keys_;
    keys_ = nullptr;
    StopZoneTimers();
    if (window_)
        DestroyMessageWindow(window_);
    window_ = nullptr;
}

CDialogP& CMgrDlg::Page(int index) {
    switch (index) {
        case 0:
            return tcpServerPage_;
        case 1:
            return tcpClientPage_;
        case 2:
            return udpServerPage_;
        default:
            return udpClientPage_;
    }
}

// ---- initialisation --------------------------------------------------------------------

void CMgrDlg::OnInitDialog() {
    // Frameless, but a window of its own (shown in the task bar).
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    BuildDialogFromTemplate(this, kTemplateId,
                            {{kTabStripId, [this](const ControlTemplate&, QWidget* parent) {
                                  tabStrip_ = new CSkinTab(parent);
                                  return tabStrip_;
                              }}});
    setMouseTracking(true);
    // Whoever sizes the frame (its own handles, the window manager, a program) keeps it at
    // least this large.
    setMinimumSize(kMinFrameWidth, kMinFrameHeight);

    icon_ = LoadIconResource(kIconId);
    titleText_ = QCoreApplication::translate("MgrDlg", "Wirelark V1.0  TCP/UDP 测试");
    titleFont_ = ArialFont(kTitleCellHeight, 700);
    setWindowIcon(icon_);

    LoadSkinImages();
    CreateSystemButtons();
    SetUpTabStrip();

    // Centred on the screen it opens on.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect placed(QPoint(0, 0), size());
        placed.moveCenter(screen->availableGeometry().center());
        move(placed.topLeft());
    }
    setWindowTitle(QStringLiteral("Wirelark"));

    PlacePages();
    FocusShownTree();
    window_ = AttachMessageWindow(this, [this](UINT message, WPARAM wParam, LPARAM lParam) {
        return OnWindowMessage(message, wParam, lParam);
    });
    keys_ = new CFrameKeys(
        this, [this](int command) { OnCommand(command); }, [this] { ShowPopupMenu(); });
}

void CMgrDlg::LoadSkinImages() {
    auto load = [](SkinImage& slot, int id) {
        slot.bitmap = LoadBitmapResource(id);
        slot.size = slot.bitmap.size();
    };
    load(logo_, 284);
    // The logo sits on the title bar: its magenta corners are transparent. The edges and
    // corners keep their magenta, which the window's shape is cut from.
    logo_.bitmap = MagentaKeyed(logo_.bitmap);
    load(topLeft_, 224);
    load(topEdge_, 222);
    load(topRight_, 217);
    load(leftEdge_, 227);
    load(rightEdge_, 223);
    load(bottomLeft_, 218);
    load(bottomRight_, 219);
}

void CMgrDlg::CreateSystemButtons() {
    const int w = width();
    closeButton_.Create(Edges(w - 21, 5, w - 5, 21), this, kCloseId);
    closeButton_.LoadBitmaps(210, 209, 211, 210);
    menuButton_.Create(Edges(w - 81, 8, w - 31, 26), this, kMenuButtonId);
    menuButton_.LoadBitmaps(288, 286, 287, 288);
    for (CSkinBtn* button : {&closeButton_, &menuButton_})
        connect(button, &CSkinBtn::commandClicked, this, &CMgrDlg::OnCommand);
}

// Both buttons keep their distance from the right edge, so that neither leaves the window
// nor runs into the other or the title when the frame is narrow.
void CMgrDlg::PlaceSystemButtons() {
    const int w = width();
    if (closeButton_.pos() != QPoint(w - 21, 5))
        closeButton_.move(w - 21, 5);
    if (menuButton_.pos() != QPoint(w - 81, 8))
        menuButton_.move(w - 81, 8);
}

// The keyboard starts on the shown page's tree, where Space and Return do no harm.
void CMgrDlg::FocusShownTree() {
    for (int i = 0; i < 4; ++i) {
        CDialogP& page = Page(i);
        if (!page.isHidden() && page.Tree()) {
            page.Tree()->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
}

void CMgrDlg::SetUpTabStrip() {
    if (!tabStrip_)
        return;
    tabStrip_->setGeometry(6, 18, 287, 57);
    tabStrip_->SetItemCount(4);
    for (int i = 0; i < 4; ++i) {
        tabStrip_->SetItemRect(i, 70 * i + 6, 12, 70 * i + 76, 57);
        tabStrip_->SetItemBitmaps(i, kTabBitmaps[i].normal, kTabBitmaps[i].hover,
                                  kTabBitmaps[i].selected);
    }
}

void CMgrDlg::PlacePages() {
    const QRect area = rect().adjusted(kPageMargin, kPageTop, -kPageMargin, -kPageMargin);
    for (int i = 0; i < 4; ++i) {
        CDialogP& page = Page(i);
        page.setGeometry(area);
        page.setVisible(i == 0);
    }
}

// ---- commands and messages ---------------------------------------------------------------

LRESULT CMgrDlg::OnWindowMessage(UINT message, WPARAM, LPARAM lParam) {
    if (message == kPageSwitchMessage) {
        OnPageSwitch(static_cast<int>(lParam));
        return lParam;
    }
    return 0;
}

void CMgrDlg::OnPageSwitch(int index) {
    for (int i = 0; i < 4; ++i) Page(i).hide();
    // Any index above 3 (or below 0) is the UDP client page.
    CDialogP& page = Page(index >= 0 && index <= 3 ? index : 3);
    page.show();
    FocusShownTree();
}

void CMgrDlg::OnCommand(int id) {
    switch (id) {
        case kCloseId:
        case kExitId:
            ShowModalAndQuit();
            break;
        case kMenuButtonId:
            ShowPopupMenu();
            break;
        case kSettingsId:
            RunModal<CSet>(this);
            break;
        case kHelpId:
            RunModal<CHelp>(this);
            break;
        case kAboutId:
            RunModal<CAbout>(this);
            break;
        case kOpenSessionId:
            OpenSessionCommand(*this);
            break;
        case kSaveSessionId:
            SaveSessionCommand(*this);
            break;
        default:
            break;
    }
}

// The about dialog first; the program ends when it is dismissed.
void CMgrDlg::ShowModalAndQuit() {
    RunModal<CAbout>(this);
    done(0);
}

QPoint CMgrDlg::PopupMenuPosition() const {
    const QPoint buttonTopLeft = menuButton_.mapToGlobal(QPoint(0, 0));
    return {buttonTopLeft.x(), buttonTopLeft.y() + kMenuDrop};
}

void CMgrDlg::ShowPopupMenu() {
    int command = 0;
    {
        COfficeXPMenu menu;
        if (!menu.LoadMenu(kMenuId))
            return;
        COfficeXPMenu::SetMenuStyle(1);
        COfficeXPMenu* popup = menu.GetSubMenu(0);
        if (!popup)
            return;
        AddSessionMenuItems(*popup, kOpenSessionId, kSaveSessionId);
        command = popup->TrackPopupMenu(PopupMenuPosition(), this);
    }
    if (command != 0)
        OnCommand(command);
}

// ---- painting ------------------------------------------------------------------------------

QImage CMgrDlg::PaintSkin() const {
    const int w = width();
    const int h = height();
    QImage skin(size(), QImage::Format_RGB32);
    QPainter painter(&skin);
    DrawWhiteFace(painter, rect());

    auto single = [&](const SkinImage& image, int x, int y) {
        if (!image.bitmap.isNull())
            painter.drawPixmap(x, y, image.bitmap);
    };
    single(topLeft_, 0, 0);
    Tile(painter, topEdge_.bitmap,
         Edges(topLeft_.size.width(), 0, w - topRight_.size.width(), topEdge_.size.height()));
    single(topRight_, w - topRight_.size.width(), 0);
    Tile(painter, leftEdge_.bitmap,
         Edges(0, topLeft_.size.height(), leftEdge_.size.width(), h - bottomLeft_.size.height()));
    Tile(painter, rightEdge_.bitmap,
         Edges(w - rightEdge_.size.width(), topRight_.size.height(), w,
               h - bottomRight_.size.height()));
    single(bottomLeft_, 0, h - bottomLeft_.size.height());
    single(bottomRight_, w - bottomRight_.size.width(), h - bottomRight_.size.height());
    single(logo_, 8, 8);

    painter.setFont(titleFont_);
    painter.setPen(Qt::white);
    painter.drawText(TitleRect(), Qt::AlignCenter | Qt::TextSingleLine, ShownTitle());
    return skin;
}

QString CMgrDlg::ShownTitle() const {
    return QFontMetrics(titleFont_).elidedText(titleText_, Qt::ElideRight, TitleRect().width());
}

QRect CMgrDlg::TitleRect() const {
    constexpr int kGap = 4;
    return Edges(28, 8, std::min(228, menuButton_.geometry().left() - kGap), 24);
}

void CMgrDlg::paintEvent(QPaintEvent*) {
    PlaceSystemButtons();
    QImage skin = PaintSkin();
    RebuildRegionIfResized(skin);
    {
        QPainter buffer(&skin);
        DrawSystemButtons(buffer);
        // Screens that cannot shape a window (the VNC one) would show the magenta corners:
        // paint them in the black those screens have around their windows.
        if (!PlatformShapesWindows()) {
            for (const QRect& cut : QRegion(rect()) - mask()) buffer.fillRect(cut, Qt::black);
        }
    }
    QPainter(this).drawImage(0, 0, skin);
}

// A window system that ignores the minimum size hint (or a program resizing the window
// itself) is answered by growing back to the minimum. The new shape is set before the new
// area is painted: a shape set while painting would leave the area it adds unpainted.
void CMgrDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (width() < kMinFrameWidth || height() < kMinFrameHeight) {
        QTimer::singleShot(0, this, [this] { resize(size().expandedTo(minimumSize())); });
        return;
    }
    PlaceSystemButtons();
    RebuildRegionIfResized(PaintSkin());
    // The tab strip's top lies over the title's lower edge: its copy of what lies beneath
    // must show the title as it is drawn now.
    if (tabStrip_ && (TitleRect() != drawnTitleRect_ || ShownTitle() != drawnTitle_)) {
        drawnTitleRect_ = TitleRect();
        drawnTitle_ = ShownTitle();
        tabStrip_->RecaptureBackground();
    }
    update();
}

void CMgrDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FocusShownTree();
}

// The frame goes first from the screen only after everything it opened: the popup menu (its
// loop ends and nothing is chosen) and every dialog (cancelled). Nothing of the program
// stays on screen without it.
void CMgrDlg::closeEvent(QCloseEvent* event) {
    CloseOwnedWindows();
    QDialog::closeEvent(event);
}

void CMgrDlg::CloseOwnedWindows() {
    // Bounded: closing a submenu's popup leaves its parent popup active.
    for (int i = 0; i < 8; ++i) {
        QWidget* popup = QApplication::activePopupWidget();
        if (!popup)
            break;
        popup->close();
    }
    // The frame is the program's only main window: every other window is its own.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window == this || !window->isVisible())
            continue;
        if (auto* dialog = qobject_cast<QDialog*>(window))
            dialog->done(QDialog::Rejected);
        else
            window->close();
    }
}

// Only a new size gives a new shape: setting the shape on every paint would set off more
// painting.
void CMgrDlg::RebuildRegionIfResized(const QImage& skin) {
    if (skin.size() == regionSize_)
        return;
    regionSize_ = skin.size();
    ++regionBuilds_;
    setMask(WindowRegionFromSkin(skin));
}

// Draws the two buttons' normal images into the back buffer, once per new size and while
// the button is held (a drag).
void CMgrDlg::DrawSystemButtons(QPainter& painter) {
    if (buttonImagesSize_.isEmpty())
        buttonImagesSize_ = size();
    if (size() == buttonImagesSize_ && !buttonHeld_)
        return;
    buttonImagesSize_ = size();
    for (const CSkinBtn* button : {&closeButton_, &menuButton_}) {
        const QPixmap& image = button->GetNormalImage();
        if (!image.isNull())
            painter.drawPixmap(button->GetRectInParent().topLeft(), MagentaKeyed(image));
    }
}

// ---- moving and sizing ----------------------------------------------------------------------

WinRect CMgrDlg::WindowRect() const {
    const QRect g = geometry();
    return WinRect::FromSize(g.x(), g.y(), g.width(), g.height());
}

bool CMgrDlg::PlatformShapesWindows() {
    static const bool shapes = [] {
        const QString name = QGuiApplication::platformName();
        for (const char* unshaped : {"vnc", "offscreen", "linuxfb", "eglfs", "minimal"}) {
            if (name.startsWith(QLatin1String(unshaped)))
                return false;
        }
        return true;
    }();
    return shapes;
}

bool CMgrDlg::OnWayland() const {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

void CMgrDlg::SetCursorSource(std::function<QPoint()> source) {
    cursorSource_ = std::move(source);
}

void CMgrDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QDialog::mousePressEvent(event);
        return;
    }
    const QPoint at = event->position().toPoint();
    buttonHeld_ = true;
    grabMouse();
    drag_.grab = {at.x(), at.y()};
    drag_.recorded = WindowRect();

    const FrameHit hit = HitTestFrame(at.x(), at.y(), width(), height());
    switch (hit.area) {
        case FrameArea::TopBand:
        case FrameArea::LeftBand:
        case FrameArea::RightBand:
        case FrameArea::BottomBand:
            return;
        case FrameArea::Inner:
            if (OnWayland()) {
                // A Wayland client cannot place itself: the compositor runs the gesture.
                if (QWindow* handle = windowHandle()) {
                    releaseMouse();
                    buttonHeld_ = false;
                    if (hit.zone == 5)
                        handle->startSystemMove();
                    else
                        handle->startSystemResize(CornerEdges(hit.zone));
                }
                return;
            }
            zoneTimers_[static_cast<std::size_t>(hit.zone)].start(kDragStepMs, this);
            return;
        case FrameArea::OuterCorner:
            QDialog::mousePressEvent(event);
            return;
    }
}

void CMgrDlg::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    drag_.recorded = WindowRect();
    const FrameHit hit = HitTestFrame(at.x(), at.y(), width(), height());
    if (hit.area == FrameArea::Inner)
        cursorZone_ = hit.zone;
    switch (CursorForZone(cursorZone_)) {
        case ZoneCursor::SizeTopLeftBottomRight:
            setCursor(Qt::SizeFDiagCursor);
            break;
        case ZoneCursor::SizeTopRightBottomLeft:
            setCursor(Qt::SizeBDiagCursor);
            break;
        case ZoneCursor::Arrow:
            setCursor(Qt::ArrowCursor);
            break;
    }
    QDialog::mouseMoveEvent(event);
}

void CMgrDlg::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        buttonHeld_ = false;
        releaseMouse();
        StopZoneTimers();
    }
    QDialog::mouseReleaseEvent(event);
}

void CMgrDlg::StopZoneTimers() {
    for (QBasicTimer& timer : zoneTimers_) timer.stop();
}

std::vector<int> CMgrDlg::RunningZoneTimers() const {
    std::vector<int> running;
    for (int zone : kZones) {
        if (zoneTimers_[static_cast<std::size_t>(zone)].isActive())
            running.push_back(zone);
    }
    return running;
}

void CMgrDlg::timerEvent(QTimerEvent* event) {
    for (int zone : kZones) {
        if (event->timerId() != zoneTimers_[static_cast<std::size_t>(zone)].timerId())
            continue;
        const QPoint cursor = cursorSource_ ? cursorSource_() : QCursor::pos();
        const DragStep step = StepDrag(zone, WindowRect(), {cursor.x(), cursor.y()}, drag_);
        if (step.place && !step.resized) {
            move(step.window.left, step.window.top);
        } else if (step.resized) {
            setGeometry(step.window.left, step.window.top, step.window.Width(),
                        step.window.Height());
            update();
        } else {
            update();
        }
        return;
    }
    QDialog::timerEvent(event);
}
