// Driving a UDP page in a test: the steps of any page (page_fixture.h), datagram peers of the
// test's own on 127.0.0.1, creating a UDP server with its port dialog answered.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <optional>
#include <string>
#include <vector>

#include "net/socket_handle.h"
#include "pages/dialogs/set_listen_dlg.h"
#include "pages/udp_server_page.h"
#include "tests/pages/page_fixture.h"

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
    std::optional<Datagram> Receive(int timeoutMs = kWaitMs) {
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

// A UDP page of type Page: the steps of any page (page_fixture.h), plus a check that the
// page closes every socket it opened, and the size of its engine's peer map.
template <typename Page>
class UdpPageTest : public PageTest<Page> {
protected:
    void SetUp() override {
        PageTest<Page>::SetUp();
        sockets_ = OpenSocketCount();
    }
    void TearDown() override {
        this->page_.reset();
        // The page closed every socket it opened.
        EXPECT_EQ(OpenSocketCount(), sockets_);
        PageTest<Page>::TearDown();
    }

    // The engine's thread changes the peer map under g_connectLock.
    std::size_t MapSize() {
        UiCritSecGuard lock(g_connectLock);
        return this->page_->Engine().Peers().size();
    }

    std::size_t sockets_ = 0;
};
