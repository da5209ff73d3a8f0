// Sessions on the real frame: a set-up on all four pages saved through the menu, the pages
// torn down, the file opened through the menu on new pages: the same entries, listening and
// connected again, answering real peers. Refused files, and a question answered with Cancel,
// change nothing. Runs in a private network namespace (the UDP server joins a group).
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/mgr_dlg.h"
#include "app/session_file.h"
#include "app/session_menu.h"
#include "app/session_setup.h"
#include "pages/tools/echo_tool.h"
#include "pages/tools/hex_tools.h"
#include "platform/message_box.h"
#include "tests/app/frame_test_support.h"
#include "tests/pages/udp_page_test_support.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/private_network.h"

namespace {

constexpr int kOpenItem = 3;  // "打开会话…" in the frame's popup
constexpr int kSaveItem = 4;  // "保存会话…"

// Chooses the popup item `item` of `frame`'s menu button, as a user does.
void ChooseMenuItem(CMgrDlg& frame, int item) {
    PopupAnswer popup(item);
    QTest::mouseClick(&frame.MenuButton(), Qt::LeftButton, Qt::NoModifier,
                      frame.MenuButton().rect().center());
    ASSERT_TRUE(popup.Seen());
}

Endpoint Loopback(std::uint16_t port) {
    return Endpoint::Ipv4(INADDR_LOOPBACK, port);
}

QByteArray SetUpOf(CMgrDlg& frame) {
    return SessionToJson(CaptureSession(frame));
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

}  // namespace

TEST(Session, ASetUpSavedAndOpenedOnNewPagesStartsAgainAndRefusedFilesChangeNothing) {
    if (!InsidePrivateNetwork()) {
        RunCurrentTestInPrivateNetwork();
        return;
    }
    SetUpPrivateNetwork();
    PinLocalHostAddressForTesting("127.0.0.1");
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("morning.wirelark"));
    QString chosen = path;
    SetSessionFileChooserForTesting([&chosen](bool) { return chosen; });
    const std::uint16_t tcpPort = FreeLoopbackPort();
    const std::uint16_t udpPort = FreeUdpPort();
    std::uint16_t clientPort = FreeUdpPort();
    while (clientPort == udpPort) clientPort = FreeUdpPort();

    QByteArray saved;
    {
        auto frame = std::make_unique<CMgrDlg>();
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        CTcpServerDlg& tcpServer = frame->TcpServerPage();
        tcpServer.StartOnPort(tcpPort);
        tcpServer.findChild<EchoTool*>()->SetOn(true);
        CTcpClientDlg& tcpClient = frame->TcpClientPage();
        tcpClient.AddEntries(Loopback(tcpPort), 2);
        ConnectInfo* first = tcpClient.Records().RecordOf(
            tcpClient.Tree()->GetChildItem(tcpClient.GetHostNode()->item));
        bool connected = false;
        tcpClient.ConnectEntry(first, [&connected](bool ok) { connected = ok; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return connected; }, kFrameWaitMs));
        tcpClient.findChild<QAction*>(kHexReceivedSwitch)->trigger();
        CUdpServerDlg& udpServer = frame->UdpServerPage();
        udpServer.StartOnPort(udpPort);
        ASSERT_TRUE(udpServer.Groups().Join(*Endpoint::FromText("239.1.2.3", 0)));
        ASSERT_NE(frame->UdpClientPage().AddClient(Loopback(udpPort), clientPort), nullptr);

        ChooseMenuItem(*frame, kSaveItem);
        saved = SetUpOf(*frame);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), saved);
    }
    // Everything above is closed with its frame; new pages open the file.
    auto frame = std::make_unique<CMgrDlg>();
    frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    QStringList said;
    {
        const MessageBoxCatcher catcher(
            [&said](const QString& text, const QString&) { said << text; });
        ChooseMenuItem(*frame, kOpenItem);
        EXPECT_TRUE(QTest::qWaitFor([&] { return SetUpOf(*frame) == saved; }, kFrameWaitMs))
            << SetUpOf(*frame).toStdString();
        QTest::qWait(50);
    }
    EXPECT_TRUE(said.isEmpty()) << said.join('\n').toStdString();
    EXPECT_TRUE(frame->TcpClientPage().findChild<QAction*>(kHexReceivedSwitch)->isChecked());
    EXPECT_EQ(frame->UdpServerPage().Groups().Count(), 1u);
    // The server listens again and echoes a real peer.
    LoopbackPeer peer;
    ASSERT_TRUE(peer.Connect(tcpPort));
    ASSERT_TRUE(peer.Send("ping"));
    std::string echoed;     // read while the page's event loop runs
    (void)QTest::qWaitFor(  // the echo is checked below
        [&] {
            echoed += peer.Receive(4 - echoed.size(), std::chrono::milliseconds(10));
            return echoed.size() >= 4;
        },
        kFrameWaitMs);
    EXPECT_EQ(echoed, "ping");
    // The UDP server hears a sender.
    UdpPeer sender;
    ASSERT_TRUE(sender.SendTo(udpPort, "hello"));
    int heard = 0;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            heard = 0;
            frame->UdpServerPage().Records().ForEachRecord(
                [&heard](HTREEITEM, ConnectInfo&) { ++heard; });
            return heard == 1;
        },
        kFrameWaitMs));

    // Refused files: each message names what is wrong; nothing of the set-up changes.
    const QByteArray before = SetUpOf(*frame);
    const std::pair<QByteArray, QString> refused[] = {
        {"{\n  \"format\": \"wirelark-session\",\n  \"version\": 1,\n  oops", "第 4 行"},
        {"{\"format\": \"notes\", \"version\": 1}", "不是 Wirelark 会话文件"},
        {"{\"format\": \"wirelark-session\", \"version\": 2}", "版本 2"},
        {"{\"format\": \"wirelark-session\", \"version\": 1,"
         " \"pages\": {\"tcp-server\": {\"port\": 70000, \"listening\": true}}}",
         "pages.tcp-server.port 有错：70000"},
        {"{\"format\": \"wirelark-session\", \"version\": 1, \"pages\": {\"tcp-client\":"
         " {\"entries\": [{\"address\": \"127.0.0.1\", \"port\": 1, \"count\": 20000}]}}}",
         "pages.tcp-client.entries[0].count 有错：20000"},
        {"{\"format\": \"wirelark-session\", \"version\": 1, \"pages\": {\"udp-client\":"
         " {\"clients\": [{\"address\": \"local host\", \"remotePort\": 1, \"localPort\": 2}]}}}",
         "pages.udp-client.clients[0].address 有错"},
    };
    chosen = folder.filePath(QStringLiteral("refused.wirelark"));
    for (const auto& [bytes, named] : refused) {
        WriteFile(chosen, bytes);
        ModalAnswer answer;
        ChooseMenuItem(*frame, kOpenItem);
        ASSERT_TRUE(answer.WaitAnswered());
        EXPECT_TRUE(answer.Text().contains(named)) << answer.Text().toStdString();
        EXPECT_EQ(SetUpOf(*frame), before);
    }
    // The saved file again: one question, answered Cancel, and nothing changes (the peer's
    // entry stays).
    chosen = path;
    {
        ModalAnswer question(ModalAnswer::Press(ModalAnswer::Cancel));
        ChooseMenuItem(*frame, kOpenItem);
        ASSERT_TRUE(question.WaitAnswered());
        EXPECT_EQ(question.Text(), ReplaceSetUpQuestion());
    }
    EXPECT_EQ(SetUpOf(*frame), before);
    int peers = 0;
    frame->TcpServerPage().Records().ForEachRecord([&peers](HTREEITEM, ConnectInfo&) { ++peers; });
    EXPECT_EQ(peers, 2);  // the session's connected client and the test's peer
    SetSessionFileChooserForTesting({});
    frame.reset();
    PinLocalHostAddressForTesting(std::nullopt);
}
