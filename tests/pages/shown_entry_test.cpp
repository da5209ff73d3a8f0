// On every page the views, the buttons and every command follow the tree's caret however it
// moves (keys as well as clicks, an entry deleted), so that Send, Clear and Delete act on the
// entry on screen. Also: a Send of spaces only on a UDP page empties the sent view and
// nothing else.
#include <QAction>
#include <QMenu>

#include "pages/dialogs/dlg_set_ip.h"
#include "pages/dialogs/set_udp_server_ip.h"
#include "pages/tcp_client_page.h"
#include "pages/udp_client_page.h"
#include "tests/pages/page_test_support.h"
#include "tests/pages/udp_page_test_support.h"

namespace {

template <typename Page>
class ShownEntryTest : public PageTest<Page> {
protected:
    using PageTest<Page>::page_;
    using PageTest<Page>::tree_;

    const ConnectInfo* Shown() { return page_->Views().ShownRecord(); }
    std::u16string SentLog(HTREEITEM item) { return this->Record(item)->sendLog.Text(); }

    // `first` and `second` are the page's two entries, in that order, each with received
    // data; `sentTo` tells whether the second entry's peer got a text.
    void CheckCommandsFollowTheCaret(HTREEITEM first, HTREEITEM second,
                                     const std::function<bool(const std::string&)>& secondGot) {
        ASSERT_FALSE(this->ReceivedLog(first).empty());
        ASSERT_FALSE(this->ReceivedLog(second).empty());
        this->ClickItem(first);
        ASSERT_EQ(Shown(), this->Record(first));

        // Down: the second entry is shown, and Send goes to it.
        tree_->setFocus();
        QTest::keyClick(tree_, Qt::Key_Down);
        EXPECT_EQ(tree_->GetSelectedItem(), second);
        EXPECT_EQ(Shown(), this->Record(second));
        EXPECT_EQ(this->ReceivedText(), QString::fromStdU16String(this->ReceivedLog(second)));
        this->TypeIntoSendBox("to the shown one");
        this->Click(Page::kIds.send);
        EXPECT_TRUE(secondGot("to the shown one"));
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return this->SentText().contains(QStringLiteral("to the shown one")); },
            kWaitMs));
        EXPECT_EQ(SentLog(first).find(u"to the shown one"), std::u16string::npos);

        // The clears empty the shown entry's logs only.
        this->Click(Page::kIds.clearReceived);
        this->Click(Page::kIds.clearSent);
        EXPECT_TRUE(this->ReceivedLog(second).empty());
        EXPECT_TRUE(SentLog(second).empty());
        EXPECT_FALSE(this->ReceivedLog(first).empty());
        EXPECT_TRUE(this->ReceivedText().isEmpty());

        // Home reaches the host node: nothing shown, no Delete; End the last entry again.
        QTest::keyClick(tree_, Qt::Key_Home);
        EXPECT_EQ(tree_->GetSelectedItem(), this->Host());
        EXPECT_EQ(Shown(), nullptr);
        EXPECT_FALSE(this->Enabled(Page::kIds.remove));
        QTest::keyClick(tree_, Qt::Key_End);
        EXPECT_EQ(Shown(), this->Record(second));
        EXPECT_TRUE(this->Enabled(Page::kIds.remove));

        // Delete removes the shown entry; the caret's new item is shown.
        this->Click(Page::kIds.remove);
        ASSERT_EQ(this->Entries().size(), 1u);
        EXPECT_EQ(this->Entries().front(), first);
        EXPECT_EQ(tree_->GetSelectedItem(), first);
        EXPECT_EQ(Shown(), this->Record(first));
        EXPECT_EQ(this->ReceivedText(), QString::fromStdU16String(this->ReceivedLog(first)));
    }
};

// ---- TCP server page -----------------------------------------------------------------------

class TcpServerShownEntryTest : public ShownEntryTest<CTcpServerDlg> {};

TEST_F(TcpServerShownEntryTest, KeyboardSelectionThenSendDeleteAndClearActOnTheShownEntry) {
    const std::uint16_t port = FreeLoopbackPort();
    ModalAnswer answer(ModalAnswer::TypeInto(CSetListenDlg::kPortFieldId, QString::number(port)));
    Click(CTcpServerDlg::kCreateId);
    ASSERT_TRUE(answer.Answered());
    LoopbackPeer a, b;
    ASSERT_TRUE(a.Connect(port));
    const HTREEITEM first = WaitForEntries(1);
    ASSERT_TRUE(b.Connect(port));
    const HTREEITEM second = WaitForEntries(2);
    ASSERT_TRUE(a.Send("from a"));
    ASSERT_TRUE(b.Send("from b"));
    ASSERT_TRUE(WaitForReceived(first, "from a"));
    ASSERT_TRUE(WaitForReceived(second, "from b"));
    CheckCommandsFollowTheCaret(
        first, second, [&](const std::string& text) { return b.Receive(text.size()) == text; });
}

// ---- TCP client page -----------------------------------------------------------------------

class TcpClientShownEntryTest : public ShownEntryTest<CTcpClientDlg> {};

TEST_F(TcpClientShownEntryTest, KeyboardSelectionThenSendDeleteAndClearActOnTheShownEntry) {
    // A server of the test's own on 127.0.0.1.
    const SOCKET server = OpenSocket(SOCK_STREAM);
    sockaddr_in address{};
    ASSERT_TRUE(MakeAddress("127.0.0.1", 0, address));
    ASSERT_EQ(BindSocket(server, address), 0);
    ASSERT_EQ(ListenSocket(server, 4), 0);
    ASSERT_EQ(GetSocketName(server, address), 0);
    std::vector<SOCKET> accepted;
    for (int i = 0; i < 2; ++i) {
        ModalAnswer answer(
            ModalAnswer::TypeInto(CDlgSetIp::kAddressFieldId, "127.0.0.1")
                .TypeInto(CDlgSetIp::kPortFieldId, QString::number(ntohs(address.sin_port))));
        Click(CTcpClientDlg::kIds.create);
        ASSERT_TRUE(answer.Answered());
        Click(CTcpClientDlg::kConnectId);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !page_->ConnectPending(); }, kWaitMs));
        accepted.push_back(AcceptSocket(server, nullptr));
        ASSERT_NE(accepted.back(), INVALID_SOCKET);
    }
    const auto entries = Entries();
    ASSERT_EQ(entries.size(), 2u);
    ASSERT_EQ(SendSocket(accepted[0], "to a", 4), 4);
    ASSERT_EQ(SendSocket(accepted[1], "to b", 4), 4);
    ASSERT_TRUE(WaitForReceived(entries[0], "to a"));
    ASSERT_TRUE(WaitForReceived(entries[1], "to b"));
    CheckCommandsFollowTheCaret(entries[0], entries[1], [&](const std::string& text) {
        std::string got(text.size(), '\0');
        std::size_t done = 0;
        while (done < got.size()) {
            const int n =
                RecvSocket(accepted[1], got.data() + done, static_cast<int>(got.size() - done));
            if (n <= 0)
                return false;
            done += static_cast<std::size_t>(n);
        }
        return got == text;
    });
    for (SOCKET sock : accepted) closesocket(sock);
    closesocket(server);
}

// ---- UDP server page -----------------------------------------------------------------------

class UdpServerShownEntryTest : public ShownEntryTest<CUdpServerDlg> {
protected:
    // The entry's menu item that saves the received log, as the received view's menu has it
    // now.
    bool SaveItemEnabled() {
        QPlainTextEdit* view = page_->ReceivedView();
        const QPoint at = view->viewport()->rect().center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(view->viewport(), &event);
        QMenu* menu = view->findChild<QMenu*>();
        EXPECT_NE(menu, nullptr);
        if (!menu)
            return false;
        bool enabled = false;
        for (QAction* action : menu->actions()) {
            if (action->text() == QStringLiteral("保存收到的全部信息..."))
                enabled = action->isEnabled();
        }
        menu->close();
        delete menu;
        return enabled;
    }
};

TEST_F(UdpServerShownEntryTest, KeyboardSelectionThenSendDeleteAndClearActOnTheShownEntry) {
    const std::uint16_t port = CreateUdpServer(*page_);
    UdpPeer a, b;
    ASSERT_TRUE(a.SendTo(port, "from a"));
    const HTREEITEM first = WaitForEntries(1);
    ASSERT_TRUE(b.SendTo(port, "from b"));
    const HTREEITEM second = WaitForEntries(2);
    ASSERT_TRUE(WaitForReceived(first, "from a"));
    ASSERT_TRUE(WaitForReceived(second, "from b"));
    CheckCommandsFollowTheCaret(first, second, [&](const std::string& text) {
        const auto got = b.Receive();
        return got && got->bytes == text;
    });
}

TEST_F(UdpServerShownEntryTest, SpacesOnlyEmptyTheSentViewAndKeepTheShownEntry) {
    const std::uint16_t port = CreateUdpServer(*page_);
    UdpPeer peer;
    ASSERT_TRUE(peer.SendTo(port, "first"));
    const HTREEITEM entry = WaitForEntries(1);
    ClickItem(entry);
    TypeIntoSendBox("sent before");
    Click(CUdpServerDlg::kIds.send);
    ASSERT_TRUE(peer.Receive());
    ASSERT_TRUE(SentText().contains("sent before"));

    // New data, then spaces only before the view's refresh: the refresh still comes.
    ASSERT_TRUE(peer.SendTo(port, "second"));
    ASSERT_TRUE(WaitForReceived(entry, "second"));
    TypeIntoSendBox("   ");
    Click(CUdpServerDlg::kIds.send);
    EXPECT_TRUE(SentText().isEmpty());
    EXPECT_EQ(Shown(), Record(entry));
    EXPECT_TRUE(QTest::qWaitFor([&] { return ReceivedText().endsWith(QStringLiteral("second\n")); },
                                kWaitMs));
    EXPECT_TRUE(SaveItemEnabled());
    EXPECT_FALSE(peer.Receive(200));  // nothing went
    EXPECT_NE(SentLog(entry).find(u"sent before"), std::u16string::npos);
}

// ---- UDP client page -----------------------------------------------------------------------

class UdpClientShownEntryTest : public ShownEntryTest<CUdpClientDlg> {};

TEST_F(UdpClientShownEntryTest, KeyboardSelectionThenSendDeleteAndClearActOnTheShownEntry) {
    UdpPeer server;
    for (int i = 0; i < 2; ++i) {
        ModalAnswer answer(
            ModalAnswer::TypeInto(CSetUdpServerIp::kAddressFieldId, "127.0.0.1")
                .TypeInto(CSetUdpServerIp::kRemotePortFieldId, QString::number(server.Port()))
                .TypeInto(CSetUdpServerIp::kLocalPortFieldId, QString::number(FreeUdpPort())));
        Click(CUdpClientDlg::kIds.create);
        ASSERT_TRUE(answer.Answered());
    }
    const auto entries = Entries();
    ASSERT_EQ(entries.size(), 2u);
    for (HTREEITEM entry : entries) {
        ASSERT_TRUE(server.SendTo(static_cast<std::uint16_t>(Record(entry)->id), "hello"));
        ASSERT_TRUE(WaitForReceived(entry, "hello"));
    }
    const auto secondPort = static_cast<std::uint16_t>(Record(entries[1])->id);
    CheckCommandsFollowTheCaret(entries[0], entries[1], [&](const std::string& text) {
        const auto got = server.Receive();
        return got && got->bytes == text && got->fromPort == secondPort;
    });
}

}  // namespace
