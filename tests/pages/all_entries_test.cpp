// Many entries from one Create and the host node's menu for all of them: the TCP client page
// against the program's own TCP server page, the UDP client page's run of local ports. Real
// clicks, the dialogs answered by the modal helper, peers on 127.0.0.1.
#include "pages/dialogs/dlg_set_ip.h"
#include "pages/dialogs/set_udp_server_ip.h"
#include "pages/tcp_client_page.h"
#include "pages/udp_client_page.h"
#include "tests/pages/page_test_support.h"
#include "tests/pages/tree_menu.h"
#include "tests/pages/udp_page_test_support.h"

namespace {

using Client = CTcpClientDlg;

class AllEntriesTest : public TcpServerPageTest {
protected:
    void SetUp() override {
        TcpServerPageTest::SetUp();
        client_ = std::make_unique<Client>();
        client_->show();
        ctree_ = client_->Tree();
    }
    void TearDown() override {
        client_.reset();
        TcpServerPageTest::TearDown();
    }
    // Create on the client page for `count` entries of the server on `port`.
    void CreateMany(std::uint16_t port, int count) {
        ModalAnswer answer(ModalAnswer::TypeInto(CDlgSetIp::kPortFieldId, QString::number(port))
                               .TypeInto(CDlgSetIp::kCountFieldId, QString::number(count)));
        CSkinBtn* create = FindControlAs<CSkinBtn>(client_.get(), Client::kIds.create);
        QTest::mouseClick(create, Qt::LeftButton, Qt::NoModifier, create->rect().center());
        EXPECT_TRUE(answer.Answered());
    }
    std::vector<HTREEITEM> ClientEntries() {
        std::vector<HTREEITEM> entries;
        for (HTREEITEM e = ctree_->GetChildItem(ctree_->GetRootItem()); e;
             e = ctree_->GetNextSiblingItem(e)) {
            entries.push_back(e);
        }
        return entries;
    }
    int ClientImage(HTREEITEM item) {
        int image = -1, selected = -1;
        ctree_->GetItemImage(item, image, selected);
        return image;
    }
    std::size_t OpenClientEntries() {
        std::size_t open = 0;
        for (HTREEITEM e : ClientEntries()) open += ClientImage(e) == kImageEntryOpen ? 1 : 0;
        return open;
    }
    bool ChooseOnClientHost(const QString& text) {
        return ChooseInTreeMenu(ctree_, ctree_->GetRootItem(), text);
    }

    std::unique_ptr<Client> client_;
    CTreeCtrlEx* ctree_ = nullptr;
};

TEST_F(AllEntriesTest, HundredEntriesFromOneCreateConnectAllAndSendToAll) {
    const std::uint16_t port = CreateServer();
    // A count outside 1 to 10,000 keeps the dialog open; the corrected one makes the entries.
    {
        ModalAnswer answer(ModalAnswer::TypeInto(CDlgSetIp::kPortFieldId, QString::number(port))
                               .TypeInto(CDlgSetIp::kCountFieldId, "10001"));
        ModalAnswer refused;
        ModalAnswer corrected(ModalAnswer::TypeInto(CDlgSetIp::kCountFieldId, "100"));
        CSkinBtn* create = FindControlAs<CSkinBtn>(client_.get(), Client::kIds.create);
        QTest::mouseClick(create, Qt::LeftButton, Qt::NoModifier, create->rect().center());
        EXPECT_EQ(refused.Text(), QStringLiteral("连接数量须为 1 到 10000！"));
        EXPECT_EQ(refused.Caption(), QStringLiteral("提示"));
        EXPECT_TRUE(corrected.Answered());
    }
    auto entries = ClientEntries();
    ASSERT_EQ(entries.size(), 100u);
    for (HTREEITEM entry : entries) {
        EXPECT_EQ(ctree_->GetItemText(entry), QStringLiteral("127.0.0.1:%1").arg(port));
        EXPECT_EQ(ClientImage(entry), kImageEntryClosed);  // not connected by Create
    }
    EXPECT_EQ(ctree_->GetSelectedItem(), entries.back());
    EXPECT_EQ(TreeMenuTexts(ctree_, ctree_->GetRootItem()),
              (QStringList{"全部连接", "全部断开", "全部删除", "发送给全部", "应答规则…"}));
    EXPECT_TRUE(TreeMenuTexts(ctree_, entries.front()).isEmpty());  // the host node's only

    // Every entry connects; the server page gets a peer for each.
    ASSERT_TRUE(ChooseOnClientHost("全部连接"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return OpenClientEntries() == 100; }, kWaitMs));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Entries().size() == 100; }, kWaitMs));
    EXPECT_FALSE(client_->Batch().Running());
    EXPECT_LE(client_->Batch().PeakInFlight(), ConnectBatch::kMaxInFlight);
    EXPECT_TRUE(
        ctree_->GetItemText(entries.front()).endsWith(QStringLiteral("<->127.0.0.1:%1").arg(port)));

    // The send box's text reaches all 100 peers, each logged in its entry's own sent log.
    client_->SendBox()->setFocus();
    QTest::keyClicks(client_->SendBox(), "hello all");
    ASSERT_TRUE(ChooseOnClientHost("发送给全部"));
    for (HTREEITEM peer : Entries()) EXPECT_TRUE(WaitForReceived(peer, "hello all"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            for (HTREEITEM entry : ClientEntries()) {
                if (reinterpret_cast<ConnectInfo*>(ctree_->GetItemData(entry))->sentMessages != 1)
                    return false;
            }
            return true;
        },
        kWaitMs));

    // Refused connects leave their entries closed and are counted once at the end.
    CreateMany(FreeLoopbackPort(), 3);
    {
        ModalAnswer failed;
        ASSERT_TRUE(ChooseOnClientHost("全部连接"));
        ASSERT_TRUE(failed.WaitAnswered());
        EXPECT_EQ(failed.Text(), QStringLiteral("3 个连接失败"));
        EXPECT_EQ(failed.Caption(), QStringLiteral("提示"));
    }
    entries = ClientEntries();
    ASSERT_EQ(entries.size(), 103u);
    for (std::size_t i = 100; i < 103; ++i) EXPECT_EQ(ClientImage(entries[i]), kImageEntryClosed);
    EXPECT_EQ(OpenClientEntries(), 100u);

    // All disconnected: the server page sees every peer close; all deleted: nothing left.
    ASSERT_TRUE(ChooseOnClientHost("全部断开"));
    EXPECT_EQ(OpenClientEntries(), 0u);
    for (HTREEITEM peer : Entries())
        EXPECT_TRUE(WaitForImage(peer, kImageEntryClosedUnread) ||
                    Image(peer) == kImageEntryClosed);
    ASSERT_TRUE(ChooseOnClientHost("全部删除"));
    EXPECT_TRUE(ClientEntries().empty());
    EXPECT_EQ(ctree_->GetSelectedItem(), ctree_->GetRootItem());
    UiCritSecGuard lock(g_connectLock);
    EXPECT_TRUE(client_->Engine().Connections().empty());
}

class UdpClientCountTest : public UdpPageTest<CUdpClientDlg> {
protected:
    // A first port of `count` consecutive UDP ports of 127.0.0.1 that are all free now.
    static std::uint16_t FreeRun(int count) {
        for (int attempt = 0; attempt < 50; ++attempt) {
            const std::uint16_t first = FreeUdpPort();
            if (first + count > 65535)
                continue;
            bool free = true;
            for (int i = 1; i < count && free; ++i) free = UdpPeer(first + i).Bound();
            if (free)
                return first;
        }
        return 0;
    }
    // Create for `count` clients from `localPort` on; the message of the run's end, if any.
    QString CreateRun(std::uint16_t remotePort, std::uint16_t localPort, int count,
                      QString* caption = nullptr) {
        ModalAnswer answer(
            ModalAnswer::TypeInto(CSetUdpServerIp::kAddressFieldId, "127.0.0.1")
                .TypeInto(CSetUdpServerIp::kRemotePortFieldId, QString::number(remotePort))
                .TypeInto(CSetUdpServerIp::kLocalPortFieldId, QString::number(localPort))
                .TypeInto(CSetUdpServerIp::kCountFieldId, QString::number(count)));
        ModalAnswer ended(ModalPlan(), std::chrono::milliseconds(1500));
        Click(CUdpClientDlg::kIds.create);
        EXPECT_TRUE(answer.Answered());
        if (caption)
            *caption = ended.Caption();
        return ended.Text();
    }
    QString Label(std::size_t i) { return tree_->GetItemText(Entries()[i]); }
};

TEST_F(UdpClientCountTest, ARunOfClientsEndsAtAPortInUseKeepingThoseMade) {
    UdpPeer server;
    const std::uint16_t base = FreeRun(6);
    ASSERT_NE(base, 0) << "no run of six free UDP ports";
    const auto label = [&](int port) {
        return QStringLiteral("0.0.0.0:%1<->127.0.0.1:%2").arg(port).arg(server.Port());
    };
    // A client of the page on base + 2; a run from base ends there.
    EXPECT_TRUE(CreateRun(server.Port(), base + 2, 1).isEmpty());
    QString caption;
    EXPECT_EQ(CreateRun(server.Port(), base, 5, &caption), QStringLiteral("本地端口已经被占用!"));
    ASSERT_EQ(Entries().size(), 3u);
    EXPECT_EQ(Label(1), label(base));
    EXPECT_EQ(Label(2), label(base + 1));

    // Another program holds base + 4: the run from base + 3 ends at its bind.
    {
        UdpPeer holder(base + 4);
        ASSERT_TRUE(holder.Bound());
        EXPECT_TRUE(CreateRun(server.Port(), base + 3, 3, &caption).startsWith("绑定本地端口出错"));
        EXPECT_EQ(caption, QStringLiteral("错误!"));
    }
    ASSERT_EQ(Entries().size(), 4u);
    EXPECT_EQ(Label(3), label(base + 3));
    EXPECT_EQ(MapSize(), 4u);
    EXPECT_EQ(tree_->GetSelectedItem(), Entries()[3]);

    // Every client of the run sends the box's text; all delete at once.
    TypeIntoSendBox("to the server");
    ASSERT_TRUE(ChooseInTreeMenu(tree_, Host(), "发送给全部"));
    std::set<std::uint16_t> from;
    for (int i = 0; i < 4; ++i) {
        const auto datagram = server.Receive();
        ASSERT_TRUE(datagram);
        EXPECT_EQ(datagram->bytes, "to the server");
        from.insert(datagram->fromPort);
    }
    EXPECT_EQ(from, (std::set<std::uint16_t>{base, std::uint16_t(base + 1), std::uint16_t(base + 2),
                                             std::uint16_t(base + 3)}));
    EXPECT_EQ(TreeMenuTexts(tree_, Host()), (QStringList{"全部删除", "发送给全部", "应答规则…"}));
    ASSERT_TRUE(ChooseInTreeMenu(tree_, Host(), "全部删除"));
    EXPECT_TRUE(Entries().empty());
    EXPECT_EQ(MapSize(), 0u);
}

}  // namespace
