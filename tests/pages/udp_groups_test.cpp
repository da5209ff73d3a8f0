// Broadcast and multicast between two pages of the program: the UDP server page joins and
// leaves a group through its host node's menu, UDP clients aim at the group and at the
// broadcast address. Inside a private network namespace of the test's own (nothing leaves
// the machine); skipped where the machine refuses one.
#include "pages/dialogs/join_group_dlg.h"
#include "pages/dialogs/set_udp_server_ip.h"
#include "pages/udp_client_page.h"
#include "pages/udp_server_page.h"
#include "tests/pages/tree_menu.h"
#include "tests/pages/udp_page_test_support.h"
#include "tests/support/private_network.h"

namespace {

using namespace std::chrono_literals;

class UdpGroupsTest : public UdpPageTest<CUdpServerDlg> {
protected:
    // A client on `client_` aimed at `address`:`port`, sending the box's `text` once made.
    HTREEITEM CreateClientAndSend(const QString& address, std::uint16_t port, const QString& text) {
        ModalAnswer answer(
            ModalAnswer::TypeInto(CSetUdpServerIp::kAddressFieldId, address)
                .TypeInto(CSetUdpServerIp::kRemotePortFieldId, QString::number(port))
                .TypeInto(CSetUdpServerIp::kLocalPortFieldId, QString::number(FreeUdpPort())));
        client_->OnCreate();
        EXPECT_TRUE(answer.Answered());
        Send(text);
        return client_->Tree()->GetSelectedItem();
    }
    void Send(const QString& text) {
        client_->SendBox()->setPlainText(text);
        client_->OnSend();
    }
    // The server page's entry whose log ends with `text`, once one does.
    bool ServerHeard(const std::string& text) {
        const std::u16string tail = QString::fromStdString(text + "\n").toStdU16String();
        return QTest::qWaitFor(
            [&] {
                for (HTREEITEM entry : Entries()) {
                    if (!Record(entry))
                        continue;
                    const std::u16string log = ReceivedLog(entry);
                    if (log.size() >= tail.size() &&
                        log.compare(log.size() - tail.size(), tail.size(), tail) == 0)
                        return true;
                }
                return false;
            },
            3000);
    }
    void JoinGroup(const QString& typed) {
        ModalAnswer dialog(ModalAnswer::TypeInto(CJoinGroupDlg::kAddressFieldId, typed));
        ASSERT_TRUE(ChooseInTreeMenu(tree_, Host(), QStringLiteral("加入组播组…")));
        EXPECT_TRUE(dialog.Answered());
    }

    std::unique_ptr<CUdpClientDlg> client_;
};

TEST_F(UdpGroupsTest, BroadcastAndGroupsBetweenTwoPagesInAPrivateNetwork) {
    if (!InsidePrivateNetwork()) {
        RunCurrentTestInPrivateNetwork();
        return;
    }
    SetUpPrivateNetwork();
    client_ = std::make_unique<CUdpClientDlg>();
    client_->show();
    const std::uint16_t port = CreateUdpServer(*page_);

    // An address outside 224.0.0.0/4 keeps the dialog open; the group joins and is listed.
    {
        ModalAnswer dialog(ModalAnswer::TypeInto(CJoinGroupDlg::kAddressFieldId, "10.1.2.3"));
        ModalAnswer refused;
        ModalAnswer corrected(ModalAnswer::TypeInto(CJoinGroupDlg::kAddressFieldId, "239.1.2.3"));
        ASSERT_TRUE(ChooseInTreeMenu(tree_, Host(), QStringLiteral("加入组播组…")));
        EXPECT_EQ(
            refused.Text(),
            QStringLiteral("组播地址须在 224.0.0.0 到 239.255.255.255 之间，或在 ff00::/8 内！"));
        EXPECT_EQ(refused.Caption(), QStringLiteral("提示"));
        EXPECT_TRUE(corrected.Answered());
    }
    ASSERT_EQ(Entries().size(), 1u);
    const HTREEITEM group = Entries()[0];
    EXPECT_EQ(tree_->GetItemText(group), "239.1.2.3");
    EXPECT_EQ(Image(group), kImageHostOpen);
    EXPECT_EQ(page_->Records().RecordOf(group), nullptr);
    EXPECT_EQ(TreeMenuTexts(tree_, group), QStringList{"退出组播组"});
    ClickItem(group);  // shown as the host node: nothing to delete
    EXPECT_FALSE(Enabled(CUdpServerDlg::kIds.remove));
    {
        // The system says why a second join of the same group is refused.
        ModalAnswer again(ModalAnswer::TypeInto(CJoinGroupDlg::kAddressFieldId, "239.1.2.3"));
        ModalAnswer refused;
        ASSERT_TRUE(ChooseInTreeMenu(tree_, Host(), QStringLiteral("加入组播组…")));
        EXPECT_EQ(refused.Text(), QStringLiteral("加入组播组失败：已加入该组播组"));
    }
    EXPECT_EQ(page_->Groups().Count(), 1u);

    // A client aimed at the group joins it and sends with the time-to-live chosen in the
    // dialog (one out of range is refused, the dialog staying open); what it sends reaches
    // the server through it.
    {
        ModalAnswer dialog(
            ModalAnswer::TypeInto(CSetUdpServerIp::kAddressFieldId, "239.1.2.3")
                .TypeInto(CSetUdpServerIp::kRemotePortFieldId, QString::number(port))
                .TypeInto(CSetUdpServerIp::kLocalPortFieldId, QString::number(FreeUdpPort()))
                .TypeInto(CSetUdpServerIp::kTtlFieldId, "256"));
        ModalAnswer refused;
        ModalAnswer corrected(ModalAnswer::TypeInto(CSetUdpServerIp::kTtlFieldId, "5"));
        client_->OnCreate();
        EXPECT_EQ(refused.Text(), QStringLiteral("组播 TTL 须为 1 到 255！"));
        EXPECT_EQ(refused.Caption(), QStringLiteral("提示"));
        EXPECT_TRUE(corrected.Answered());
    }
    const HTREEITEM member = client_->Tree()->GetSelectedItem();
    const ConnectInfo* memberRecord = client_->Records().RecordOf(member);
    ASSERT_NE(memberRecord, nullptr);
    EXPECT_EQ(memberRecord->multicastTtl, 5);
    int ttl = 0;
    ASSERT_EQ(GetSocketOption(memberRecord->sock, IPPROTO_IP, IP_MULTICAST_TTL, ttl), 0);
    EXPECT_EQ(ttl, 5);
    Send("to the group");
    EXPECT_TRUE(
        client_->Tree()->GetItemText(member).endsWith("<->239.1.2.3:" + QString::number(port)));
    EXPECT_TRUE(ServerHeard("to the group"));

    // Stopped and started again: the group is joined on the new socket.
    Click(CUdpServerDlg::kStopReceivingId);
    EXPECT_EQ(Image(group), kImageHostIdle);
    // The old socket's port may still be held for a moment by its ending receive thread:
    // a start refused meanwhile is answered and tried again.
    for (int attempt = 0; attempt < 20 && Image(group) != kImageHostOpen; ++attempt) {
        ModalAnswer refusedMeanwhile(ModalPlan(), 300ms);
        Click(CUdpServerDlg::kStartReceivingId);
        QTest::qWait(50);
    }
    EXPECT_EQ(Image(group), kImageHostOpen);
    Send("after a restart");
    EXPECT_TRUE(ServerHeard("after a restart"));

    // Left: the child goes and the server hears the group no more.
    ASSERT_TRUE(ChooseInTreeMenu(tree_, group, QStringLiteral("退出组播组")));
    EXPECT_EQ(page_->Groups().Count(), 0u);
    for (HTREEITEM entry : Entries()) EXPECT_NE(Record(entry), nullptr);
    Send("after leaving");
    QTest::qWait(300);
    EXPECT_FALSE(ServerHeard("after leaving"));

    // A client aimed at the broadcast address shows it as typed and reaches the server.
    const HTREEITEM broadcaster = CreateClientAndSend("255.255.255.255", port, "to everyone");
    EXPECT_TRUE(client_->Tree()
                    ->GetItemText(broadcaster)
                    .endsWith("<->255.255.255.255:" + QString::number(port)));
    EXPECT_TRUE(ServerHeard("to everyone"));
    client_.reset();
}

TEST_F(UdpGroupsTest, AnIpv6GroupBetweenTwoPagesInAPrivateNetwork) {
    if (!InsidePrivateNetwork()) {
        RunCurrentTestInPrivateNetwork();
        return;
    }
    SetUpPrivateNetwork();
    // An IPv6 address on v0 to send from; the group is joined, and sent to, on v0 (its zone),
    // and looped back to this machine's members.
    ASSERT_EQ(std::system("ip -6 addr add fd00::1/64 dev v0 nodad"), 0);
    client_ = std::make_unique<CUdpClientDlg>();
    client_->show();
    const std::uint16_t port = CreateUdpServer(*page_);

    // The server page joins an IPv6 group on the same socket that serves IPv4.
    JoinGroup("ff15::1234%v0");
    ASSERT_EQ(Entries().size(), 1u);
    EXPECT_EQ(tree_->GetItemText(Entries()[0]), "ff15::1234%v0");
    EXPECT_EQ(page_->Groups().Count(), 1u);

    // An IPv6 client aimed at the group joins it, sends with the hop limit of its time-to-live,
    // and what it sends reaches the server through the group.
    const HTREEITEM member = CreateClientAndSend("ff15::1234%v0", port, "to the IPv6 group");
    EXPECT_EQ(client_->Tree()->GetItemText(member).section(QStringLiteral("<->"), 1),
              "[ff15::1234%v0]:" + QString::number(port));
    const ConnectInfo* memberRecord = client_->Records().RecordOf(member);
    ASSERT_NE(memberRecord, nullptr);
    int hops = 0;
    ASSERT_EQ(GetSocketOption(memberRecord->sock, IPPROTO_IPV6, IPV6_MULTICAST_HOPS, hops), 0);
    EXPECT_EQ(hops, 1);
    EXPECT_TRUE(ServerHeard("to the IPv6 group"));
    EXPECT_TRUE(tree_->GetItemText(Entries().back()).startsWith("[fd00::1]:"));
    client_.reset();
}

}  // namespace
