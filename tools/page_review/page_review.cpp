// Renders the TCP server page off screen in a typical moment of use: listening on a port,
// two peers on 127.0.0.1 connected, one of them shown with lines received and sent, the
// other marked as holding unseen data. Writes the picture for review.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "net/connect_info.h"
#include "pages/set_listen_dlg.h"
#include "pages/tcp_server_dlg.h"
#include "platform/dialog_template.h"
#include "platform/qt_window.h"
#include "skin/tree_ctrl_ex.h"

namespace {

// Runs the event loop until `done` or 10 s have passed.
bool WaitFor(const std::function<bool()>& done) {
    const QDeadlineTimer deadline(10000);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

std::uint16_t FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

int ConnectPeer(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void Send(int fd, const char* text) {
    ::send(fd, text, std::strlen(text), MSG_NOSIGNAL);
}

void Click(QWidget* widget, const QPoint& at) {
    // A press and a release, as the mouse gives them.
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                          Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InstallQtMessagePump();
    PinLocalHostAddressForTesting("127.0.0.1");
    const QString output = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                    : QStringLiteral(WIRELARK_REVIEW_DIR "/tcp_server_page.png");

    CTcpServerDlg page;
    page.show();
    CTreeCtrlEx* tree = page.Tree();

    // Create: the port dialog gets the port and OK.
    const std::uint16_t port = FreeLoopbackPort();
    QTimer::singleShot(50, [port] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog)
            return;
        FindControlAs<QLineEdit>(dialog, CSetListenDlg::kPortFieldId)
            ->setText(QString::number(port));
        FindControlAs<QAbstractButton>(dialog, 1)->click();
    });
    page.OnCreate();

    const int first = ConnectPeer(port);
    const int second = ConnectPeer(port);
    if (first < 0 || second < 0 || !WaitFor([&] {
            const HTREEITEM host = tree->GetRootItem();
            const HTREEITEM a = tree->GetChildItem(host);
            return a && tree->GetNextSiblingItem(a);
        })) {
        std::fprintf(stderr, "page_review: the peers did not connect\n");
        return 1;
    }
    const HTREEITEM shown = tree->GetChildItem(tree->GetRootItem());
    const HTREEITEM other = tree->GetNextSiblingItem(shown);

    // Show the first peer and exchange a few lines with it.
    Click(tree->viewport(), tree->visualItemRect(CTreeCtrlEx::FromHandle(shown)).center());
    Send(first, "GET /status HTTP/1.0");
    WaitFor([&] { return !page.ReceivedView()->toPlainText().isEmpty(); });
    page.SendBox()->setPlainText(QStringLiteral("HTTP/1.0 200 OK 你好"));
    FindControlAs<QAbstractButton>(&page, CTcpServerDlg::kSendId)->click();
    Send(first, "thanks, bye");
    WaitFor([&] { return page.ReceivedView()->toPlainText().count(u'\n') >= 2; });
    page.SendBox()->setPlainText(QStringLiteral("next reply, still typing"));

    // The second peer sends something the user has not looked at yet.
    Send(second, "unseen data");
    WaitFor([&] {
        int image = 0, selected = 0;
        tree->GetItemImage(other, image, selected);
        return image == kImageEntryOpenUnread;
    });
    QApplication::processEvents();

    QDir().mkpath(QFileInfo(output).absolutePath());
    const bool saved = page.grab().save(output);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(output));
    ::close(first);
    ::close(second);
    return saved ? 0 : 1;
}
