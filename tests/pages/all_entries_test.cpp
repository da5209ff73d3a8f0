// Many entries from one Create and the host node's menu for all of them: the TCP client page
// against the program's own TCP server page, the UDP client page's run of local ports. Real
// clicks, the dialogs answered by the modal helper, peers on 127.0.0.1.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

#include "net/descriptor_reserve.h"
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

// Runs this test binary again for `test` alone, in a child whose descriptors are limited to
// `limit` (soft and hard), and returns its exit status (-1: it did not end by itself within
// a few minutes).
int RunWithDescriptorLimit(const char* test, rlim_t limit) {
    // Everything the child needs is made before the fork: between fork and exec only
    // async-signal-safe calls.
    const std::string filter = std::string("--gtest_filter=") + test;
    std::vector<std::string> environment{"WIRELARK_DESCRIPTOR_CHILD=1"};
    for (char** variable = environ; *variable != nullptr; ++variable)
        environment.emplace_back(*variable);
    std::vector<char*> envp;
    for (std::string& variable : environment) envp.push_back(variable.data());
    envp.push_back(nullptr);
    const rlimit few{limit, limit};
    const pid_t child = ::fork();
    if (child == 0) {
        ::setrlimit(RLIMIT_NOFILE, &few);
        ::execle("/proc/self/exe", "test_pages", filter.c_str(), static_cast<char*>(nullptr),
                 envp.data());
        ::_exit(127);
    }
    for (int waited = 0; waited < 240 * 10; ++waited) {
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        QTest::qWait(100);
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    return -1;
}

// With the program limited to 1,024 descriptors: peers beyond what the server page can take
// are refused and the host node says how many and why; "全部连接" of 2,000 entries finishes,
// its host menu offering "停止全部连接" while it runs, and the failures are counted with
// their reason; the window keeps descriptors free throughout.
TEST_F(AllEntriesTest, ShortOfDescriptorsEveryoneIsToldAndTheWindowKeepsItsReserve) {
    if (qgetenv("WIRELARK_DESCRIPTOR_CHILD").isEmpty()) {
        EXPECT_EQ(
            RunWithDescriptorLimit(
                "AllEntriesTest.ShortOfDescriptorsEveryoneIsToldAndTheWindowKeepsItsReserve", 1024),
            0);
        return;
    }
    // The lowest free descriptor: every one below it is taken.
    const auto lowestFree = [] {
        const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        ::close(fd);
        return fd;
    };

    // The server page: peers from plain sockets until the page refuses some.
    const std::uint16_t port = CreateServer();
    std::vector<int> peers;
    {
        ModalAnswer told;
        for (int i = 0; i < 1100; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (fd < 0)
                break;
            const sockaddr_in address = Endpoint::Ipv4(INADDR_LOOPBACK, port).ToSocketAddress();
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
            peers.push_back(fd);
            if (told.Answered())
                break;
            QTest::qWait(1);
        }
        ASSERT_TRUE(told.WaitAnswered());
        EXPECT_TRUE(told.Text().contains(QStringLiteral("个连接未能接受")));
        EXPECT_TRUE(told.Text().contains(QStringLiteral("描述符"))) << told.Text().toStdString();
        EXPECT_TRUE(page_->HostNodeNote().contains(QStringLiteral("个连接未能接受")));
    }
    for (int fd : peers) ::close(fd);
    ASSERT_TRUE(ChooseInTreeMenu(tree_, tree_->GetRootItem(), QStringLiteral("全部删除")));

    // The client page: 2,000 entries to a listener that never accepts (its backlog holds
    // them), connected all at once.
    std::uint16_t silentPort = 0;
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    {
        sockaddr_in address = Endpoint::Ipv4(INADDR_LOOPBACK, 0).ToSocketAddress();
        socklen_t length = sizeof address;
        ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(::listen(listener, 4096), 0);
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
        silentPort = ntohs(address.sin_port);
    }
    CreateMany(silentPort, 2000);
    ASSERT_EQ(ClientEntries().size(), 2000u);
    {
        ModalAnswer failed(ModalAnswer::Plan(), std::chrono::seconds(70));
        ASSERT_TRUE(ChooseOnClientHost("全部连接"));
        if (client_->Batch().Running()) {
            EXPECT_TRUE(TreeMenuTexts(ctree_, ctree_->GetRootItem())
                            .contains(QStringLiteral("停止全部连接")));
        }
        ASSERT_TRUE(failed.WaitAnswered(std::chrono::seconds(60)));
        const QStringList lines = failed.Text().split(u'\n');
        ASSERT_EQ(lines.size(), 2);
        EXPECT_TRUE(lines[0].endsWith(QStringLiteral(" 个连接失败")));
        EXPECT_GE(lines[0].section(u' ', 0, 0).toInt(), 900);
        EXPECT_TRUE(lines[1].contains(QStringLiteral("描述符"))) << lines[1].toStdString();
    }
    EXPECT_FALSE(client_->Batch().Running());
    EXPECT_GT(OpenClientEntries(), 800u);
    // The window's reserve is left to it (it may have taken a few of them meanwhile, as may
    // the settings writer), and the host node's menu is still there.
    EXPECT_LE(lowestFree(), 1024 - kDescriptorReserve / 2);
    EXPECT_TRUE(TreeMenuTexts(ctree_, ctree_->GetRootItem()).contains(QStringLiteral("全部删除")));
    ASSERT_TRUE(ChooseOnClientHost("全部删除"));
    ::close(listener);
}

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
    EXPECT_EQ(
        TreeMenuTexts(ctree_, ctree_->GetRootItem()),
        (QStringList{"导出 pcap…", "全部连接", "全部断开", "全部删除", "发送给全部", "应答规则…"}));
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
        EXPECT_EQ(failed.Text(), QStringLiteral("3 个连接失败\n对方拒绝连接。"));
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
    EXPECT_EQ(TreeMenuTexts(tree_, Host()),
              (QStringList{"导出 pcap…", "全部删除", "发送给全部", "应答规则…"}));
    ASSERT_TRUE(ChooseInTreeMenu(tree_, Host(), "全部删除"));
    EXPECT_TRUE(Entries().empty());
    EXPECT_EQ(MapSize(), 0u);
}

}  // namespace
