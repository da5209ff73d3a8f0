// A page of type Page on screen (off screen) in a test, with the steps a user takes on any
// page: clicks on its skin buttons and tree rows, typing into its send box, bounded waits for
// what its engine reports, reading its records and views. All of it runs on the test's (UI)
// thread.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QPlainTextEdit>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "net/connect_info.h"
#include "net/crit_sec.h"
#include "platform/dialog_template.h"
#include "skin/tree_ctrl_ex.h"
#include "tests/support/modal_helper.h"

// Bound on every wait for a page or a peer.
constexpr int kWaitMs = 10000;

template <typename Page>
class PageTest : public ::testing::Test {
protected:
    void SetUp() override {
        PinLocalHostAddressForTesting("127.0.0.1");
        page_ = std::make_unique<Page>();
        page_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(page_.get()));
        tree_ = page_->Tree();
        ASSERT_NE(tree_, nullptr);
        // The local address is looked up off the window's thread.
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return !tree_->GetItemText(Host()).isEmpty(); }, kWaitMs));
    }
    void TearDown() override {
        page_.reset();
        PinLocalHostAddressForTesting(std::nullopt);
    }

    CSkinBtn* Button(int id) { return FindControlAs<CSkinBtn>(page_.get(), id); }
    void Click(int id) {
        CSkinBtn* button = Button(id);
        ASSERT_NE(button, nullptr) << id;
        QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, button->rect().center());
    }
    bool Enabled(int id) { return Button(id)->isEnabled(); }

    HTREEITEM Host() { return tree_->GetRootItem(); }
    std::vector<HTREEITEM> Entries() {
        std::vector<HTREEITEM> entries;
        for (HTREEITEM e = tree_->GetChildItem(Host()); e; e = tree_->GetNextSiblingItem(e)) {
            entries.push_back(e);
        }
        return entries;
    }
    // Waits until the tree holds `count` entries and returns the last one.
    HTREEITEM WaitForEntries(std::size_t count) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return Entries().size() >= count; }, kWaitMs));
        const auto entries = Entries();
        return entries.size() >= count ? entries[count - 1] : nullptr;
    }
    int Image(HTREEITEM item) {
        int image = -1, selected = -1;
        tree_->GetItemImage(item, image, selected);
        EXPECT_EQ(image, selected);
        return image;
    }
    bool WaitForImage(HTREEITEM item, int image) {
        return QTest::qWaitFor([&] { return Image(item) == image; }, kWaitMs);
    }
    void ClickItem(HTREEITEM item) {
        const QRect row = tree_->visualItemRect(CTreeCtrlEx::FromHandle(item));
        QTest::mouseClick(tree_->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
    }
    ConnectInfo* Record(HTREEITEM item) {
        return reinterpret_cast<ConnectInfo*>(tree_->GetItemData(item));
    }
    // The engine threads append to the logs under g_connectLock.
    std::u16string ReceivedLog(HTREEITEM item) {
        UiCritSecGuard lock(g_connectLock);
        return Record(item)->recvLog.Text();
    }
    // Waits until the entry's received log ends with `text` and a line feed.
    bool WaitForReceived(HTREEITEM item, const std::string& text) {
        const std::u16string tail = QString::fromStdString(text + "\n").toStdU16String();
        return QTest::qWaitFor(
            [&] {
                const std::u16string log = ReceivedLog(item);
                return log.size() >= tail.size() &&
                       log.compare(log.size() - tail.size(), tail.size(), tail) == 0;
            },
            kWaitMs);
    }
    QString ReceivedText() { return page_->ReceivedView()->toPlainText(); }
    QString SentText() { return page_->SentView()->toPlainText(); }
    // Types `text` in place of what the send box holds.
    void TypeIntoSendBox(const QString& text) {
        page_->SendBox()->setFocus();
        page_->SendBox()->selectAll();
        QTest::keyClicks(page_->SendBox(), text);
    }
    // Types `text` and clicks Send: the page refuses with `message` under `caption` and keeps
    // the text in the box.
    void ExpectSendRefused(const QString& text, const QString& message, const QString& caption) {
        TypeIntoSendBox(text);
        ModalAnswer refused;
        Click(Page::kIds.send);
        EXPECT_EQ(refused.Text(), message) << text.toStdString();
        EXPECT_EQ(refused.Caption(), caption) << text.toStdString();
        EXPECT_EQ(page_->SendBox()->toPlainText(), text);
    }

    std::unique_ptr<Page> page_;
    CTreeCtrlEx* tree_ = nullptr;
};
