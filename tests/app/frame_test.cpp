// The main frame end to end: its pages and tab strip, its keys and where the keyboard
// starts, its menu and dialogs, closing, moving and sizing with the mouse, its minimum size
// and its shape.
#include <QAbstractButton>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>
#include <QWindow>

#include "app/about_dlg.h"
#include "app/frame_geometry.h"
#include "app/window_region.h"
#include "platform/dialog_template.h"
#include "platform/window_messages.h"
#include "skin/skin_tab.h"
#include "skin/tree_ctrl_ex.h"
#include "tests/app/frame_test_support.h"

namespace {

// The menu opens at `under`, moved left only as far as keeps it on the screen.
void ExpectUnder(const PopupAnswer& popup, QPoint under) {
    EXPECT_EQ(popup.Geometry().top(), under.y());
    const int screenRight = QGuiApplication::primaryScreen()->geometry().right();
    if (popup.Geometry().left() != under.x()) {
        EXPECT_LT(popup.Geometry().left(), under.x());
        EXPECT_EQ(popup.Geometry().right(), screenRight);
    }
}

TEST_F(FrameTest, TabStripSwitchesThePagesAndAnIndexAboveThreeShowsTheUdpClientPage) {
    EXPECT_EQ(frame_->windowTitle(), "Wirelark");
    EXPECT_TRUE(frame_->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_FALSE(frame_->windowFlags().testFlag(Qt::Tool));
    EXPECT_EQ(VisiblePage(), 0);
    const QRect pageArea = frame_->rect().adjusted(2, 75, -2, -2);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(frame_->Page(i).geometry(), pageArea) << i;

    for (int item : {2, 1, 3, 0}) {
        Click(frame_->TabStrip(), frame_->TabStrip()->GetItemRect(item).center());
        EXPECT_TRUE(QTest::qWaitFor([&] { return VisiblePage() == item; }, kFrameWaitMs)) << item;
    }
    EXPECT_EQ(SendMessageW(frame_->WindowHandle(), CMgrDlg::kPageSwitchMessage, 0, 7), 7);
    EXPECT_EQ(VisiblePage(), 3);
    EXPECT_EQ(SendMessageW(frame_->WindowHandle(), CMgrDlg::kPageSwitchMessage, 0, 1), 1);
    EXPECT_EQ(VisiblePage(), 1);
}

TEST_F(FrameTest, ReturnAndEscapeCloseNothingAndReturnInTheSendBoxMakesANewLine) {
    CTcpServerDlg& page = frame_->TcpServerPage();
    QWidget* targets[] = {frame_.get(),        &page,           page.Tree(),
                          page.ReceivedView(), page.SentView(), &frame_->CloseButton()};
    {
        ModalAnswer none(ModalAnswer::Press(ModalAnswer::Cancel), std::chrono::milliseconds(300));
        for (QWidget* target : targets) {
            ASSERT_NE(target, nullptr);
            for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
                QTest::keyClick(target, key);
        }
        QTest::qWait(50);
        EXPECT_FALSE(none.Answered()) << "a key opened " << none.DialogClass().toStdString();
    }
    EXPECT_TRUE(frame_->isVisible());
    EXPECT_EQ(VisiblePage(), 0);

    QPlainTextEdit* box = page.SendBox();
    ASSERT_NE(box, nullptr);
    box->setFocus();
    QTest::keyClicks(box, "one");
    QTest::keyClick(box, Qt::Key_Return);
    QTest::keyClicks(box, "two");
    EXPECT_EQ(box->toPlainText(), "one\ntwo");
}

TEST_F(FrameTest, AcceleratorsOpenTheirDialogsAndOtherAltKeysOpenThePopupMenu) {
    struct Accelerator {
        Qt::Key key;
        const char* caption;
    };
    for (const Accelerator& accelerator :
         {Accelerator{Qt::Key_A, "关于Wirelark"}, Accelerator{Qt::Key_S, "收发信息编码设置"},
          Accelerator{Qt::Key_H, "帮助"}}) {
        ModalAnswer answer(ModalAnswer::Press(ModalAnswer::Cancel));
        QTest::keyClick(frame_->TcpServerPage().SendBox(), accelerator.key, Qt::AltModifier);
        ASSERT_TRUE(answer.Answered()) << accelerator.caption;
        EXPECT_EQ(answer.Caption(), QString::fromUtf8(accelerator.caption));
    }
    EXPECT_TRUE(frame_->TcpServerPage().SendBox()->toPlainText().isEmpty());

    const QPoint button = frame_->MenuButton().mapToGlobal(QPoint(0, 0));
    const QPoint under(button.x(), button.y() + 18);
    EXPECT_EQ(frame_->PopupMenuPosition(), under);
    for (QWidget* target : {static_cast<QWidget*>(frame_.get()),
                            static_cast<QWidget*>(frame_->TcpServerPage().Tree())}) {
        for (Qt::Key key : {Qt::Key_Alt, Qt::Key_Q, Qt::Key_F5}) {
            PopupAnswer popup;
            QTest::keyClick(target, key, Qt::AltModifier);
            ASSERT_TRUE(popup.Seen()) << key;
            ExpectUnder(popup, under);
        }
    }
    {
        // Alt let go after a click is not Alt alone; Alt+Shift (a layout switch) is no key.
        PopupAnswer none;
        QTest::keyPress(frame_.get(), Qt::Key_Alt);
        Click(frame_.get(), QPoint(320, 10));
        QTest::keyRelease(frame_.get(), Qt::Key_Alt, Qt::AltModifier);
        QTest::keyClick(frame_.get(), Qt::Key_Shift, Qt::AltModifier);
        QTest::qWait(30);
        EXPECT_FALSE(none.Seen());
    }
    PopupAnswer popup;
    ClickCommand(CMgrDlg::kMenuButtonId);
    ASSERT_TRUE(popup.Seen());
    ExpectUnder(popup, under);
    EXPECT_EQ(popup.Texts(),
              QStringList({"设置        (&Alt+S)", "帮助        (&Alt+H)", "关于        (&Alt+A)",
                           "打开会话…", "保存会话…", "退出        (&Alt+X)"}));
    EXPECT_TRUE(frame_->isVisible());
}

TEST_F(FrameTest, EachMenuItemOpensItsDialog) {
    const char* captions[] = {"收发信息编码设置", "帮助", "关于Wirelark"};
    for (int item = 0; item < 3; ++item) {
        ModalAnswer answer(ModalAnswer::Press(ModalAnswer::Cancel));
        PopupAnswer popup(item);
        ClickCommand(CMgrDlg::kMenuButtonId);
        ASSERT_TRUE(popup.Seen());
        ASSERT_TRUE(answer.WaitAnswered()) << item;
        EXPECT_EQ(answer.Caption(), QString::fromUtf8(captions[item]));
    }
    EXPECT_TRUE(frame_->isVisible());
}

// The close button, the exit item and Alt+X: the about dialog first, and the frame ends only
// once it is dismissed.
TEST_F(FrameTest, CloseAndExitShowTheAboutDialogAndEndOnlyAfterIt) {
    for (int way = 0; way < 3; ++way) {
        if (!frame_->isVisible()) {
            frame_->show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(frame_.get()));
        }
        bool finished = false;
        QObject::connect(
            frame_.get(), &QDialog::finished, frame_.get(), [&] { finished = true; },
            Qt::SingleShotConnection);
        // Answers the about dialog itself (polling, so that it never blocks the menu's own
        // loop), noting whether the frame was still there.
        bool openWhileAbout = false;
        QString caption;
        QTimer answer;
        answer.setInterval(5);
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto* about = qobject_cast<CAbout*>(ActiveModal());
            if (!about)
                return;
            answer.stop();
            caption = about->windowTitle();
            openWhileAbout = frame_->isVisible() && !finished;
            auto* exit = qobject_cast<QAbstractButton*>(FindControl(about, 1));
            QTest::mouseClick(exit, Qt::LeftButton, Qt::NoModifier, exit->rect().center());
        });
        answer.start();
        std::unique_ptr<PopupAnswer> popup;
        if (way == 0) {
            ClickCommand(CMgrDlg::kCloseId);
        } else if (way == 1) {
            popup = std::make_unique<PopupAnswer>(5);  // 退出, after the session items
            ClickCommand(CMgrDlg::kMenuButtonId);
        } else {
            QTest::keyClick(frame_.get(), Qt::Key_X, Qt::AltModifier);
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return finished; }, kFrameWaitMs)) << way;
        EXPECT_EQ(caption, "关于Wirelark") << way;
        EXPECT_TRUE(openWhileAbout) << way;
        EXPECT_FALSE(frame_->isVisible());
        EXPECT_EQ(frame_->result(), 0);
    }
}

// Keys typed before any click land on the shown page's tree, where Space and Return do no
// harm; no skin button ever takes the keyboard, not even when clicked.
TEST_F(FrameTest, TheKeyboardStartsOnTheShownTreeAndSpaceOrReturnChangeNothing) {
    QApplication::setActiveWindow(frame_.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame_.get()));
    for (CSkinBtn* button : frame_->findChildren<CSkinBtn*>())
        EXPECT_EQ(button->focusPolicy(), Qt::NoFocus) << ControlId(button);
    for (int page : {0, 2, 1, 3}) {
        if (page != 0) {
            Click(frame_->TabStrip(), frame_->TabStrip()->GetItemRect(page).center());
            ASSERT_TRUE(QTest::qWaitFor([&] { return VisiblePage() == page; }, kFrameWaitMs));
        }
        CTreeCtrlEx* tree = frame_->Page(page).Tree();
        EXPECT_EQ(QApplication::focusWidget(), tree) << page;
        ModalAnswer none(ModalAnswer::Press(ModalAnswer::Cancel), std::chrono::milliseconds(200));
        PopupAnswer noMenu;
        for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Space, Qt::Key_Enter})
            QTest::keyClick(QApplication::focusWidget(), key);
        QTest::qWait(30);
        EXPECT_FALSE(none.Answered()) << page << " opened " << none.DialogClass().toStdString();
        EXPECT_FALSE(noMenu.Seen()) << page;
        EXPECT_TRUE(frame_->isVisible());
        EXPECT_EQ(VisiblePage(), page);
        EXPECT_EQ(tree->GetChildItem(tree->GetRootItem()), nullptr) << page;
    }
    // A click on a page's button leaves the keyboard where it was.
    CDialogP& shown = frame_->Page(3);
    auto* clear = FindControlAs<CSkinBtn>(&shown, CUdpClientDlg::kIds.clearReceived);
    ASSERT_NE(clear, nullptr);
    {
        ModalAnswer nothingSelected;
        Click(clear, clear->rect().center());
        EXPECT_TRUE(nothingSelected.Answered());
    }
    // (the message box took the window's activation; the frame's own focus is unchanged)
    EXPECT_EQ(frame_->focusWidget(), shown.Tree());
}

// A window manager's close while the popup menu is open: the menu goes with the frame, and
// nothing of the program stays on screen.
TEST_F(FrameTest, AWindowManagerCloseWithTheMenuOpenLeavesNoWindowOnScreen) {
    bool finished = false;
    QObject::connect(frame_.get(), &QDialog::finished, frame_.get(), [&] { finished = true; });
    bool closedWithMenuOpen = false;
    QTimer closer;
    closer.setInterval(5);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (!QApplication::activePopupWidget())
            return;
        closer.stop();
        closedWithMenuOpen = true;
        frame_->windowHandle()->close();
    });
    closer.start();
    ClickCommand(CMgrDlg::kMenuButtonId);  // returns once the menu's own loop has ended
    EXPECT_TRUE(closedWithMenuOpen);
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished; }, kFrameWaitMs));
    QApplication::processEvents();
    for (QWidget* window : QApplication::topLevelWidgets())
        EXPECT_FALSE(window->isVisible()) << window->metaObject()->className();
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

// At its minimum the title, the menu button and the close button stay apart inside the
// window; nobody sizes it below the minimum, and a new size has its shape before it is
// painted.
TEST_F(FrameTest, TheMinimumSizeKeepsTheButtonsApartAndIsKeptWhoeverResizes) {
    const QSize minimum(kMinFrameWidth, kMinFrameHeight);
    frame_->resize(20, 20);  // a program
    EXPECT_EQ(frame_->size(), minimum);
    frame_->resize(600, 500);
    frame_->windowHandle()->resize(20, 20);  // a window system that ignores the size hint
    EXPECT_TRUE(QTest::qWaitFor([&] { return frame_->size() == minimum; }, kFrameWaitMs))
        << frame_->width() << "x" << frame_->height();

    const QRect close = frame_->CloseButton().geometry();
    const QRect menu = frame_->MenuButton().geometry();
    const QRect title = frame_->TitleRect();
    EXPECT_TRUE(frame_->rect().contains(close));
    EXPECT_TRUE(frame_->rect().contains(menu));
    EXPECT_TRUE(frame_->MenuButton().isVisible());
    EXPECT_FALSE(close.intersects(menu));
    EXPECT_FALSE(title.intersects(menu));
    EXPECT_FALSE(title.intersects(close));
    EXPECT_GT(title.width(), 0);
    {
        PopupAnswer popup;
        ClickCommand(CMgrDlg::kMenuButtonId);
        EXPECT_TRUE(popup.Seen());
    }

    frame_->resize(900, 700);
    EXPECT_EQ(frame_->mask().boundingRect(), QRect(0, 0, 900, 700));
    EXPECT_EQ(frame_->CloseButton().pos(), QPoint(900 - 21, 5));
    EXPECT_EQ(frame_->MenuButton().pos(), QPoint(900 - 81, 8));
}

TEST_F(FrameTest, BandsCaptureTheMouseTheInnerAreaMovesAndReleaseStopsEveryTimer) {
    QPoint cursor;
    frame_->SetCursorSource([&] { return cursor; });
    const QPoint start = frame_->pos();

    // Top and left bands: captured, but nothing moves or sizes.
    for (QPoint at : {QPoint(200, 1), QPoint(1, 40)}) {
        cursor = frame_->mapToGlobal(at) + QPoint(60, 60);
        QTest::mousePress(frame_.get(), Qt::LeftButton, Qt::NoModifier, at);
        EXPECT_EQ(QWidget::mouseGrabber(), frame_.get());
        EXPECT_TRUE(frame_->RunningZoneTimers().empty());
        QTest::qWait(60);
        QTest::mouseRelease(frame_.get(), Qt::LeftButton, Qt::NoModifier, at);
        EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
        EXPECT_EQ(frame_->pos(), start);
    }

    // Inner area away from the handles: the grabbed point follows the cursor.
    const QPoint grab(320, 10);
    cursor = frame_->mapToGlobal(grab);
    QTest::mousePress(frame_.get(), Qt::LeftButton, Qt::NoModifier, grab);
    EXPECT_EQ(frame_->RunningZoneTimers(), std::vector<int>{5});
    cursor += QPoint(37, 23);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return frame_->pos() == start + QPoint(37, 23); }, kFrameWaitMs));
    cursor += QPoint(-50, 4);
    EXPECT_TRUE(QTest::qWaitFor([&] { return frame_->mapToGlobal(grab) == cursor; }, kFrameWaitMs));
    // Released far outside the window: every timer stops all the same.
    QTest::mouseRelease(frame_.get(), Qt::LeftButton, Qt::NoModifier, QPoint(-300, -300));
    EXPECT_TRUE(frame_->RunningZoneTimers().empty());
    EXPECT_FALSE(frame_->ButtonHeld());
    const QPoint placed = frame_->pos();
    cursor += QPoint(100, 100);
    QTest::qWait(60);
    EXPECT_EQ(frame_->pos(), placed);

    // The top-left handle dragged far inward: never below 170 x 400.
    const QSize before = frame_->size();
    const QPoint handle(5, 5);
    cursor = frame_->mapToGlobal(handle);
    QTest::mousePress(frame_.get(), Qt::LeftButton, Qt::NoModifier, handle);
    EXPECT_EQ(frame_->RunningZoneTimers(), std::vector<int>{1});
    const QRect g = frame_->geometry();
    cursor = QPoint(g.x() + g.width() - 200, g.y() + g.height() - 420);
    EXPECT_TRUE(QTest::qWaitFor([&] { return frame_->size() == QSize(205, 425); }, kFrameWaitMs))
        << frame_->size().width() << "x" << frame_->size().height() << " from " << before.width()
        << "x" << before.height();
    cursor += QPoint(150, 150);
    QTest::qWait(60);
    EXPECT_EQ(frame_->size(), QSize(205, 425));
    QTest::mouseRelease(frame_.get(), Qt::LeftButton, Qt::NoModifier, handle);
    EXPECT_TRUE(frame_->RunningZoneTimers().empty());
    EXPECT_EQ(frame_->CloseButton().pos(), QPoint(205 - 21, 5));
}

TEST_F(FrameTest, ShapeCutsTheMagentaCornersAndIsRebuiltOnlyForANewSize) {
    const QImage skin = frame_->PaintSkin();
    const QRegion shape = frame_->mask();
    const int w = skin.width();
    const int h = skin.height();
    int cut = 0;
    for (int left : {0, w - 6}) {
        for (int top : {0, h - 6}) {
            for (int y = top; y < top + 6; ++y) {
                for (int x = left; x < left + 6; ++x) {
                    const bool magenta = skin.pixelColor(x, y) == QColor(255, 0, 255);
                    EXPECT_EQ(shape.contains(QPoint(x, y)), !magenta) << x << "," << y;
                    cut += magenta ? 1 : 0;
                }
            }
        }
    }
    EXPECT_GT(cut, 0) << "the skin has no rounded corners";
    EXPECT_TRUE(skin.pixelColor(0, 0) == QColor(255, 0, 255));
    EXPECT_TRUE(shape.contains(QRect(6, 6, w - 12, h - 12)));
    // The logo's magenta corners are transparent.
    for (int y = 8; y < 26; ++y) {
        for (int x = 8; x < 26; ++x)
            EXPECT_NE(skin.pixelColor(x, y), QColor(255, 0, 255)) << x << "," << y;
    }
    // This screen ignores shapes (as the VNC one does): the cut corners show black, not magenta.
    EXPECT_EQ(frame_->grab().toImage().pixelColor(0, 0), QColor(Qt::black));

    const int builds = frame_->RegionBuildCount();
    frame_->repaint();
    frame_->repaint();
    EXPECT_EQ(frame_->RegionBuildCount(), builds);
    frame_->resize(600, 500);
    frame_->repaint();
    EXPECT_EQ(frame_->RegionBuildCount(), builds + 1);
    EXPECT_EQ(frame_->mask().boundingRect(), QRect(0, 0, 600, 500));
}

}  // namespace
