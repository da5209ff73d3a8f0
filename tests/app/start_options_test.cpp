// The command line's start options carried out on the real frame: the page's tab clicked, a
// UDP server created on its port as Create would, a TCP port already taken reported by the
// page's own message box while the window stays; and Qt's standard texts in Chinese.
#include "app/start_options.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <memory>

#include "app/mgr_dlg.h"
#include "app/qt_translations.h"
#include "skin/skin_tab.h"
#include "tests/pages/udp_page_test_support.h"

namespace {

// A TCP port of 127.0.0.1 held by a listening socket of the test.
class TakenPort {
public:
    TakenPort() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = UdpPeer::Loopback(0);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd_, 1);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~TakenPort() { ::close(fd_); }
    std::uint16_t Port() const { return port_; }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

}  // namespace

TEST(StartOptions, StartServersAndShowThePageATakenPortIsThePagesMessage) {
    PinLocalHostAddressForTesting("127.0.0.1");
    CMgrDlg frame;
    frame.show();
    const TakenPort taken;
    const std::uint16_t udpPort = FreeUdpPort();
    StartOptions options;
    options.page = 2;
    options.tcpServerPort = taken.Port();
    options.udpServerPort = udpPort;

    ModalAnswer refused;
    ApplyStartOptions(frame, options);
    ASSERT_TRUE(refused.Answered());
    EXPECT_EQ(refused.Caption(), QStringLiteral("错误！"));
    EXPECT_TRUE(refused.Text().startsWith(QStringLiteral("监听启动失败")))
        << refused.Text().toStdString();
    EXPECT_EQ(refused.ButtonTexts(), QStringList{QStringLiteral("确定")});
    EXPECT_TRUE(frame.isVisible());

    // The TCP page keeps its port, as after Create; the UDP server hears a peer.
    CTcpServerDlg& tcp = frame.TcpServerPage();
    EXPECT_EQ(tcp.Tree()->GetItemText(tcp.GetHostNode()->item),
              QStringLiteral("127.0.0.1:%1").arg(taken.Port()));
    CUdpServerDlg& udp = frame.UdpServerPage();
    EXPECT_EQ(udp.Tree()->GetItemText(udp.GetHostNode()->item),
              QStringLiteral("127.0.0.1:%1").arg(udpPort));
    UdpPeer peer;
    ASSERT_TRUE(peer.SendTo(udpPort, "hello"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return udp.Tree()->GetChildItem(udp.GetHostNode()->item) != nullptr; }, kWaitMs));

    // The third tab is selected and its page shown.
    EXPECT_TRUE(QTest::qWaitFor([&] { return udp.isVisible(); }, kWaitMs));
    EXPECT_EQ(frame.TabStrip()->GetSelectedIndex(), 2);
    EXPECT_FALSE(tcp.isVisible());
    PinLocalHostAddressForTesting(std::nullopt);
}

TEST(StartOptions, QtsOwnTextsAreChinese) {
    ASSERT_TRUE(InstallQtTranslations());
    QLineEdit edit(QStringLiteral("文字"));
    const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList texts;
    for (QAction* action : menu->actions()) {
        if (!action->isSeparator())
            texts << action->text().section(QLatin1Char('\t'), 0, 0);  // less the shortcut
    }
    EXPECT_TRUE(texts.contains(QStringLiteral("全选"))) << texts.join(' ').toStdString();
    EXPECT_FALSE(texts.join(' ').contains(QStringLiteral("Select")))
        << texts.join(' ').toStdString();
}
