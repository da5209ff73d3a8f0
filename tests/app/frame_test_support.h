// Driving the main frame in a test: the real frame off screen, real clicks and keys, the
// popup menu watched and answered from a timer inside its own loop.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <memory>

#include "app/mgr_dlg.h"
#include "net/connect_info.h"
#include "tests/support/modal_helper.h"

constexpr int kFrameWaitMs = 10000;

// Watches for the next popup menu: records where it opened, then chooses the item at
// `choose` (by position) or closes it (-1). Bounded: gives up after 10 s.
class PopupAnswer {
public:
    explicit PopupAnswer(int choose = -1) : choose_(choose) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start();
        deadline_.start();
    }
    bool Seen() const { return seen_; }
    QRect Geometry() const { return geometry_; }
    QStringList Texts() const { return texts_; }

private:
    void Poll() {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) {
            if (deadline_.elapsed() > kFrameWaitMs)
                timer_.stop();
            return;
        }
        timer_.stop();
        seen_ = true;
        geometry_ = menu->geometry();
        for (QAction* action : menu->actions()) texts_ << action->text();
        if (choose_ >= 0 && choose_ < menu->actions().size()) {
            QAction* action = menu->actions().at(choose_);
            QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier,
                              menu->actionGeometry(action).center());
        } else {
            menu->close();
        }
    }

    int choose_;
    QTimer timer_;
    QElapsedTimer deadline_;
    bool seen_ = false;
    QRect geometry_;
    QStringList texts_;
};

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        PinLocalHostAddressForTesting("127.0.0.1");
        frame_ = std::make_unique<CMgrDlg>();
        frame_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame_.get()));
    }
    void TearDown() override {
        frame_.reset();
        PinLocalHostAddressForTesting(std::nullopt);
    }

    void Click(QWidget* widget, QPoint at) {
        QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, at);
    }
    void ClickCommand(int id) {
        CSkinBtn* button = id == CMgrDlg::kCloseId ? &frame_->CloseButton() : &frame_->MenuButton();
        Click(button, button->rect().center());
    }
    int VisiblePage() {
        int shown = -1;
        for (int i = 0; i < 4; ++i) {
            if (frame_->Page(i).isVisible()) {
                EXPECT_EQ(shown, -1) << "two pages shown";
                shown = i;
            }
        }
        return shown;
    }

    std::unique_ptr<CMgrDlg> frame_;
};
