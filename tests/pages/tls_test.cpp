// TLS on the TCP pages end to end, against openssl's own s_client and s_server on 127.0.0.1:
// the server page's "TLS" item with its own certificate and with one chosen, the client
// page's TLS entries with the certificate's details and its verification, and peers that
// do not speak TLS.
#include <sys/stat.h>

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include "net/tls_context.h"
#include "net/tls_stream.h"
#include "pages/dialogs/dlg_set_ip.h"
#include "pages/page_snapshot.h"
#include "pages/tcp/tls_server_option.h"
#include "pages/tcp_client_page.h"
#include "tests/pages/page_test_support.h"
#include "tests/pages/tree_menu.h"

namespace {

class TlsTest : public TcpServerPageTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(home_.isValid());
        // The own certificate is made in the user's data folder: a fresh one per test.
        qputenv("XDG_DATA_HOME", home_.filePath("data").toUtf8());
        TcpServerPageTest::SetUp();
    }
    void TearDown() override {
        client_.reset();
        TcpServerPageTest::TearDown();
        qunsetenv("XDG_DATA_HOME");
    }

    // openssl with `arguments`, run to its end (a few seconds at most).
    QByteArray OpenSsl(const QStringList& arguments) {
        QProcess openssl;
        openssl.start("openssl", arguments);
        EXPECT_TRUE(openssl.waitForFinished(kWaitMs)) << arguments.join(' ').toStdString();
        EXPECT_EQ(openssl.exitCode(), 0) << openssl.readAllStandardError().toStdString();
        return openssl.readAllStandardOutput();
    }
    // A self-signed certificate for `name` and its key, in the test's folder.
    void MakeCertificate(const QString& name) {
        OpenSsl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                 "-days", "2", "-subj", "/CN=" + name, "-keyout", File(name + ".key"), "-out",
                 File(name + ".crt")});
    }
    QString File(const QString& name) { return home_.filePath(name); }
    QString Fingerprint(const QString& certificate) {
        // "sha256 Fingerprint=AB:CD:..."
        const QString line = QString::fromLatin1(
            OpenSsl({"x509", "-noout", "-fingerprint", "-sha256", "-in", certificate}));
        return line.section(u'=', 1).trimmed();
    }
    bool WaitForClosed(HTREEITEM item) {
        return QTest::qWaitFor(
            [&] {
                UiCritSecGuard lock(g_connectLock);
                return Record(item)->sock == INVALID_SOCKET;
            },
            kWaitMs);
    }
    QString Log(HTREEITEM item) { return QString::fromStdU16String(ReceivedLog(item)); }
    bool WaitForLog(HTREEITEM item, const QString& part) {
        return QTest::qWaitFor([&] { return Log(item).contains(part); }, kWaitMs);
    }

    // openssl s_client with `options` connected to the server page on `port`: the entry it
    // makes (the tree's `entryCount`th), once its handshake with `protocol` is logged.
    HTREEITEM StartSClient(QProcess& sClient, std::uint16_t port, const QStringList& options,
                           std::size_t entryCount, const QString& protocol) {
        sClient.start("openssl",
                      QStringList{"s_client", "-connect", QStringLiteral("127.0.0.1:%1").arg(port),
                                  "-verify_quiet"} +
                          options);
        EXPECT_TRUE(sClient.waitForStarted(kWaitMs));
        const HTREEITEM entry = WaitForEntries(entryCount);
        if (entry == nullptr ||
            !WaitForLog(entry, QStringLiteral("TLS 握手完成：%1，").arg(protocol)))
            return nullptr;
        return entry;
    }

    // openssl s_server on `port` with the "localhost" certificate, once it takes connections.
    bool StartSServer(QProcess& sServer, std::uint16_t port) {
        sServer.start("openssl", {"s_server", "-accept", QString::number(port), "-cert",
                                  File("localhost.crt"), "-key", File("localhost.key"), "-quiet"});
        return sServer.waitForStarted(kWaitMs) && QTest::qWaitFor(
                                                      [&] {
                                                          LoopbackPeer probe;
                                                          return probe.Connect(port);
                                                      },
                                                      kWaitMs);
    }

    // A client page beside the server page; Create answered with TLS (and verification).
    HTREEITEM CreateTlsEntry(std::uint16_t port, const QString& host, bool verify) {
        if (!client_) {
            client_ = std::make_unique<CTcpClientDlg>();
            client_->show();
        }
        // The dialog is filled and its checks ticked as a user does, then OK.
        QTimer fill;
        fill.setInterval(20);
        QObject::connect(&fill, &QTimer::timeout, [&] {
            auto* dialog = dynamic_cast<CDlgSetIp*>(ActiveModal());
            if (!dialog)
                return;
            fill.stop();
            FindControlAs<QLineEdit>(dialog, CDlgSetIp::kAddressFieldId)->setText(host);
            FindControlAs<QLineEdit>(dialog, CDlgSetIp::kPortFieldId)
                ->setText(QString::number(port));
            auto* verifyCheck = FindControlAs<QCheckBox>(dialog, CDlgSetIp::kVerifyCheckId);
            EXPECT_FALSE(verifyCheck->isEnabled());  // only with TLS
            QTest::mouseClick(FindControlAs<QCheckBox>(dialog, CDlgSetIp::kTlsCheckId),
                              Qt::LeftButton);
            EXPECT_TRUE(verifyCheck->isEnabled());
            if (verify)
                QTest::mouseClick(verifyCheck, Qt::LeftButton);
            QTest::mouseClick(FindControlAs<QAbstractButton>(dialog, 1), Qt::LeftButton);
        });
        fill.start();
        auto* create = FindControlAs<CSkinBtn>(client_.get(), CTcpClientDlg::kIds.create);
        QTest::mouseClick(create, Qt::LeftButton, Qt::NoModifier, create->rect().center());
        EXPECT_FALSE(fill.isActive());
        CTreeCtrlEx* tree = client_->Tree();
        const HTREEITEM entry = tree->GetSelectedItem();
        client_->ConnectEntry(reinterpret_cast<ConnectInfo*>(tree->GetItemData(entry)));
        return entry;
    }
    QString ClientLog(HTREEITEM entry) {
        UiCritSecGuard lock(g_connectLock);
        return QString::fromStdU16String(
            reinterpret_cast<ConnectInfo*>(client_->Tree()->GetItemData(entry))->recvLog.Text());
    }
    bool WaitForClientLog(HTREEITEM entry, const QString& part) {
        return QTest::qWaitFor([&] { return ClientLog(entry).contains(part); }, kWaitMs);
    }

    QTemporaryDir home_;
    std::unique_ptr<CTcpClientDlg> client_;
};

TEST_F(TlsTest, ServerPageWithItsOwnCertificateAnswersSClientAndTellsPlainPeersWhy) {
    ASSERT_TRUE(ChooseInTreeMenu(tree_, Host(), QStringLiteral("TLS")));
    EXPECT_TRUE(page_->Tls().IsOn());
    const std::uint16_t port = CreateServer();
    EXPECT_TRUE(tree_->GetItemText(Host()).endsWith(QStringLiteral(":%1 (TLS)").arg(port)));

    // The own certificate was made in the data folder, its key readable by the user alone.
    const QString folder = TlsServerOption::OwnCertificateFolder();
    ASSERT_TRUE(folder.startsWith(home_.path()));
    struct stat key {};
    ASSERT_EQ(::stat(QFile::encodeName(folder + "/" + kOwnKeyFile).constData(), &key), 0);
    EXPECT_EQ(key.st_mode & 0777, 0600u);
    const QString fingerprint = Fingerprint(folder + "/" + kOwnCertificateFile);

    QProcess sClient;
    const HTREEITEM entry = StartSClient(sClient, port, {"-quiet"}, 1, "TLSv1.3");
    ASSERT_NE(entry, nullptr);
    sClient.write("hello over tls\n");
    ASSERT_TRUE(WaitForReceived(entry, "hello over tls\n"));
    {
        UiCritSecGuard lock(g_connectLock);
        EXPECT_EQ(Record(entry)->recvBytes, 15);  // plaintext
        EXPECT_TRUE(QString::fromStdU16String(Record(entry)->tlsSummary).contains(fingerprint));
    }

    ClickItem(entry);
    TypeIntoSendBox("to s_client");
    Click(CTcpServerDlg::kSendId);
    ASSERT_TRUE(QTest::qWaitFor([&] { return sClient.bytesAvailable() >= 11; }, kWaitMs));
    EXPECT_EQ(sClient.readAllStandardOutput(), "to s_client");
    sClient.kill();
    sClient.waitForFinished(kWaitMs);
    EXPECT_TRUE(WaitForClosed(entry));

    // A peer that speaks plain text gets its entry and a line saying why it ended.
    LoopbackPeer plain;
    const HTREEITEM plainEntry = ConnectPeer(plain, port);
    ASSERT_NE(plainEntry, nullptr);
    plain.Send("GET / HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(
        WaitForLog(plainEntry, QStringLiteral("TLS 握手失败：对方发来的不是 TLS 握手数据（")));
    EXPECT_TRUE(WaitForClosed(plainEntry));
    {
        UiCritSecGuard lock(g_connectLock);
        EXPECT_EQ(Record(plainEntry)->recvBytes, 0);
    }

    // Off again: the label says so once the server stops; the next start is plain.
    ASSERT_TRUE(ChooseInTreeMenu(tree_, Host(), QStringLiteral("TLS")));
    EXPECT_TRUE(tree_->GetItemText(Host()).endsWith(QStringLiteral(" (TLS)")));
    ClickItem(Host());
    Click(CTcpServerDlg::kStopListeningId);
    EXPECT_TRUE(tree_->GetItemText(Host()).endsWith(QString::number(port)));
}

TEST_F(TlsTest, AHandshakeCutShortARenegotiationAndAClosedSessionAreEachNamed) {
    TlsStream::SetHandshakeLimitForTesting(std::chrono::seconds(1));
    ASSERT_TRUE(ChooseInTreeMenu(tree_, Host(), QStringLiteral("TLS")));
    const std::uint16_t port = CreateServer();

    // The start of a ClientHello and then nothing: the limit ends it, and says so.
    LoopbackPeer stalled;
    const HTREEITEM stalledEntry = ConnectPeer(stalled, port);
    ASSERT_NE(stalledEntry, nullptr);
    ASSERT_TRUE(stalled.Send(std::string("\x16\x03\x01\x00\xa0", 5)));
    EXPECT_TRUE(WaitForLog(stalledEntry, QStringLiteral("TLS 握手失败：握手超时（1 秒内未完成）")));
    EXPECT_TRUE(WaitForClosed(stalledEntry));
    TlsStream::SetHandshakeLimitForTesting(TlsStream::kHandshakeLimit);

    // TLS 1.2 through s_client's own commands: a renegotiation is refused, and the end of
    // its input closes the session with close_notify.
    QProcess sClient;
    const HTREEITEM entry = StartSClient(sClient, port, {"-tls1_2"}, 2, "TLSv1.2");
    ASSERT_NE(entry, nullptr);
    sClient.write("before\n");
    ASSERT_TRUE(WaitForLog(entry, QStringLiteral("before")));
    sClient.write("R\n");  // a line of its own is a command
    EXPECT_TRUE(WaitForLog(entry, QStringLiteral("对方要求重新协商，本程序不支持")))
        << Log(entry).toStdString();
    EXPECT_TRUE(WaitForClosed(entry));
    sClient.closeWriteChannel();
    sClient.waitForFinished(kWaitMs);

    QProcess ending;
    const HTREEITEM endingEntry = StartSClient(ending, port, {}, 3, "TLSv1.3");
    ASSERT_NE(endingEntry, nullptr);
    ending.closeWriteChannel();
    EXPECT_TRUE(WaitForLog(endingEntry, QStringLiteral("对方发来 close_notify，TLS 会话结束")));
    EXPECT_TRUE(WaitForClosed(endingEntry));
    ending.waitForFinished(kWaitMs);
}

TEST_F(TlsTest, ClientEntryShowsTheCertificateAndItsVerificationAgainstSServer) {
    MakeCertificate("localhost");
    const std::uint16_t port = FreeLoopbackPort();
    QProcess sServer;
    ASSERT_TRUE(StartSServer(sServer, port));

    // Shown, not enforced: the self-signed certificate fails and the entry goes on.
    const HTREEITEM entry = CreateTlsEntry(port, "localhost", false);
    EXPECT_TRUE(client_->Tree()->GetItemText(entry).endsWith(QStringLiteral(" (TLS)")));
    ASSERT_TRUE(WaitForClientLog(entry, QStringLiteral("证书验证：")));
    const QString first = ClientLog(entry).section(u'\n', 0, 0);
    EXPECT_TRUE(first.contains(QStringLiteral("TLS 握手完成：TLSv1.3，"))) << first.toStdString();
    EXPECT_TRUE(first.contains(QStringLiteral("证书主题：CN=localhost；签发者：CN=localhost")));
    EXPECT_TRUE(
        first.contains(QStringLiteral("SHA-256 指纹：") + Fingerprint(File("localhost.crt"))));
    EXPECT_TRUE(first.contains(QStringLiteral("证书验证：失败（自签名证书：")));

    sServer.write("from s_server\n");
    ASSERT_TRUE(WaitForClientLog(entry, QStringLiteral("from s_server\n")));
    client_->Tree()->SelectItem(entry);
    client_->ShowEntry(entry);
    client_->SendBox()->setPlainText(QStringLiteral("to s_server"));
    auto* send = FindControlAs<CSkinBtn>(client_.get(), CTcpClientDlg::kIds.send);
    QTest::mouseClick(send, Qt::LeftButton, Qt::NoModifier, send->rect().center());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return sServer.readAllStandardOutput().contains("to s_server"); }, kWaitMs));
    sServer.kill();  // ends without close_notify
    sServer.waitForFinished(kWaitMs);
    EXPECT_TRUE(WaitForClientLog(entry, QStringLiteral("没有发送 close_notify")));

    // Enforced: the failed verification ends the connection, and the log says so.
    QProcess again;
    ASSERT_TRUE(StartSServer(again, port));
    const HTREEITEM strict = CreateTlsEntry(port, "localhost", true);
    // Sessions keep the entries' TLS.
    const PageSnapshot kept = DescribePage(*client_);
    ASSERT_EQ(kept.tcpClients.size(), 2u);
    EXPECT_TRUE(kept.tcpClients[0].tls && !kept.tcpClients[0].verify);
    EXPECT_TRUE(kept.tcpClients[1].tls && kept.tcpClients[1].verify);
    EXPECT_EQ(kept.tcpClients[1].host, "localhost");
    EXPECT_TRUE(WaitForClientLog(strict, QStringLiteral("证书验证未通过，已断开连接")));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            UiCritSecGuard lock(g_connectLock);
            return reinterpret_cast<ConnectInfo*>(client_->Tree()->GetItemData(strict))->sock ==
                   INVALID_SOCKET;
        },
        kWaitMs));
    again.kill();
    again.waitForFinished(kWaitMs);
}

TEST_F(TlsTest, ChosenCertificateIsServedAndBadChoicesAreNamed) {
    MakeCertificate("chosen");
    MakeCertificate("other");
    TlsServerOption& tls = page_->Tls();
    {
        ModalAnswer refused;
        EXPECT_FALSE(tls.ChooseCertificate(File("chosen.crt"), File("other.key")));
        EXPECT_TRUE(refused.Text().startsWith(QStringLiteral("私钥与证书不匹配")))
            << refused.Text().toStdString();
    }
    {
        ModalAnswer refused;
        EXPECT_FALSE(tls.ChooseCertificate(File("missing.crt"), File("chosen.key")));
        EXPECT_TRUE(refused.Text().startsWith(QStringLiteral("证书文件无法读取")));
    }
    {
        QFile garbage(File("garbage.crt"));
        ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
        garbage.write("not a certificate\n");
        garbage.close();
        ModalAnswer refused;
        EXPECT_FALSE(tls.ChooseCertificate(File("garbage.crt"), File("chosen.key")));
        EXPECT_TRUE(refused.Text().startsWith(QStringLiteral("证书文件不是 PEM 格式的证书")));
    }
    OpenSsl({"pkey", "-in", File("chosen.key"), "-aes256", "-passout", "pass:secret", "-out",
             File("locked.key")});
    {
        ModalAnswer refused;
        EXPECT_FALSE(tls.ChooseCertificate(File("chosen.crt"), File("locked.key"), "wrong"));
        EXPECT_TRUE(refused.Text().startsWith(QStringLiteral("私钥口令不正确")));
    }
    EXPECT_TRUE(tls.ChooseCertificate(File("chosen.crt"), File("locked.key"), "secret"));
    EXPECT_EQ(tls.ChainPath(), File("chosen.crt"));

    // Served: s_client sees the chosen certificate.
    tls.SetOn(true);
    const std::uint16_t port = CreateServer();
    QProcess sClient;
    sClient.start("openssl", {"s_client", "-connect", QStringLiteral("127.0.0.1:%1").arg(port)});
    ASSERT_TRUE(sClient.waitForStarted(kWaitMs));
    sClient.closeWriteChannel();
    // The window keeps running meanwhile: the page takes the connection.
    const bool finished =
        QTest::qWaitFor([&] { return sClient.state() == QProcess::NotRunning; }, kWaitMs);
    ASSERT_TRUE(finished) << sClient.readAllStandardError().toStdString()
                          << sClient.readAllStandardOutput().toStdString() << " entries "
                          << Entries().size() << " " << tree_->GetItemText(Host()).toStdString()
                          << " "
                          << (Entries().empty() ? std::string() : Log(Entries()[0]).toStdString());
    const QByteArray shown = sClient.readAllStandardOutput();
    EXPECT_TRUE(shown.contains("subject=CN") && shown.contains("chosen")) << shown.toStdString();
    EXPECT_TRUE(WaitForLog(WaitForEntries(1), QStringLiteral("TLS 握手完成")));
    const PageSnapshot kept = DescribePage(*page_);
    EXPECT_TRUE(kept.tls);
    EXPECT_EQ(kept.certificate, File("chosen.crt"));
    EXPECT_EQ(kept.key, File("locked.key"));
}

}  // namespace
