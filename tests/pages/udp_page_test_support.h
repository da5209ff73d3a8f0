// Driving a UDP page in a test: clicks on its skin buttons and tree rows, typing into its
// send box, datagram peers of the test's own on 127.0.0.1, bounded waits.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "net/connect_info.h"
#include "net/crit_sec.h"
#include "pages/set_listen_dlg.h"
#include "pages/udp_server_dlg.h"
#include "platform/dialog_template.h"
#include "skin/tree_ctrl_ex.h"
#include "tests/support/modal_helper.h"

constexpr int kUdpWaitMs = 10000;

// A datagram socket of the test bound to 127.0.0.1 and `port` (0: the kernel's pick).
class UdpPeer {
public:
    explicit UdpPeer(std::uint16_t port = 0) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address = Loopback(port);
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        int size = 1 << 20;
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    ~UdpPeer() { ::close(fd_); }
    UdpPeer(const UdpPeer&) = delete;
    UdpPeer& operator=(const UdpPeer&) = delete;

    static sockaddr_in Loopback(std::uint16_t port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }
    bool Bound() const { return bound_; }
    std::uint16_t Port() const {
        sockaddr_in address{};
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        return ntohs(address.sin_port);
    }
    bool SendTo(std::uint16_t port, const std::string& bytes) {
        const sockaddr_in to = Loopback(port);
        return ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                        sizeof to) == static_cast<ssize_t>(bytes.size());
    }
    struct Datagram {
        std::string bytes;
        std::uint16_t fromPort = 0;
    };
    // The next datagram within `timeoutMs`, or nothing.
    std::optional<Datagram> Receive(int timeoutMs = kUdpWaitMs) {
        pollfd wait{fd_, POLLIN, 0};
        if (::poll(&wait, 1, timeoutMs) <= 0)
            return std::nullopt;
        std::vector<char> buffer(65536);
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n = ::recvfrom(fd_, buffer.data(), buffer.size(), 0,
                                     reinterpret_cast<sockaddr*>(&from), &length);
        if (n < 0)
            return std::nullopt;
        return Datagram{std::string(buffer.data(), static_cast<std::size_t>(n)),
                        ntohs(from.sin_port)};
    }

private:
    int fd_ = -1;
    bool bound_ = false;
};

// A UDP port of 127.0.0.1 that nothing is bound to at the moment.
inline std::uint16_t FreeUdpPort() {
    return UdpPeer().Port();
}

// Create on a UDP server page with the port dialog answered with `port`, as a user does.
inline void CreateUdpServer(CUdpServerDlg& page, std::uint16_t port) {
    ModalAnswer answer(ModalAnswer::TypeInto(CSetListenDlg::kPortFieldId, QString::number(port)));
    page.OnCreate();
}
// The same on a port that is free at the moment; returns the port.
inline std::uint16_t CreateUdpServer(CUdpServerDlg& page) {
    const std::uint16_t port = FreeUdpPort();
    CreateUdpServer(page, port);
    return port;
}

// A log line: the stamp (date, time, two blanks), the text, a line feed.
inline QRegularExpression UdpLogLine(const QString& text) {
    return QRegularExpression(QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}  ") +
                              QRegularExpression::escape(text) + QStringLiteral("\\n$"));
}

// Reads the edit `fieldId` of the next modal dialog, then cancels that dialog.
class ReadFieldThenCancel {
public:
    explicit ReadFieldThenCancel(int fieldId) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this, fieldId] {
            QWidget* dialog = ActiveModal();
            auto* field = dialog ? FindControlAs<QLineEdit>(dialog, fieldId) : nullptr;
            if (!field)
                return;
            timer_.stop();
            text_ = field->text();
            QTest::mouseClick(FindControlAs<QAbstractButton>(dialog, 2), Qt::LeftButton);
        });
        timer_.start();
    }
    const QString& Text() const { return text_; }

private:
    QTimer timer_;
    QString text_;
};

// A page of type Page on screen (off screen), with its tree, and the steps a user takes.
template <typename Page>
class UdpPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        PinLocalHostAddressForTesting("127.0.0.1");
        page_ = std::make_unique<Page>();
        page_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(page_.get()));
        tree_ = page_->Tree();
        ASSERT_NE(tree_, nullptr);
        sockets_ = OpenSocketCount();
    }
    void TearDown() override {
        page_.reset();
        // The page closed every socket it opened.
        EXPECT_EQ(OpenSocketCount(), sockets_);
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
    HTREEITEM WaitForEntries(std::size_t count) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return Entries().size() >= count; }, kUdpWaitMs));
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
        return QTest::qWaitFor([&] { return Image(item) == image; }, kUdpWaitMs);
    }
    void ClickItem(HTREEITEM item) {
        const QRect row = tree_->visualItemRect(CTreeCtrlEx::FromHandle(item));
        QTest::mouseClick(tree_->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
    }
    ConnectInfo* Record(HTREEITEM item) {
        return reinterpret_cast<ConnectInfo*>(tree_->GetItemData(item));
    }
    std::u16string ReceivedLog(HTREEITEM item) {
        UiCritSecGuard lock(g_connectLock);
        return Record(item)->recvLog.Text();
    }
    std::size_t MapSize() {
        UiCritSecGuard lock(g_connectLock);
        return page_->Engine().Peers().size();
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
            kUdpWaitMs);
    }
    QString ReceivedText() { return page_->ReceivedView()->toPlainText(); }
    QString SentText() { return page_->SentView()->toPlainText(); }
    void TypeIntoSendBox(const QString& text) {
        page_->SendBox()->setFocus();
        page_->SendBox()->selectAll();
        QTest::keyClicks(page_->SendBox(), text);
    }

    std::unique_ptr<Page> page_;
    CTreeCtrlEx* tree_ = nullptr;
    std::size_t sockets_ = 0;
};
