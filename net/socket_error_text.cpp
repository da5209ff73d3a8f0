#include "net/socket_error_text.h"

#include <errno.h>

#include <string>

#include "net/descriptor_reserve.h"

namespace {

std::u16string Ascii(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

}  // namespace

std::u16string SocketErrorReason(SocketOperation operation, int error, AddressFamily family) {
    if (error == EAFNOSUPPORT)
        return u"本机没有 IPv6。";
    if (family == AddressFamily::kIpv6) {
        switch (error) {
            case EADDRNOTAVAIL:
                return u"本机没有可用的 IPv6 地址（IPv6 未启用）。";
            case EINVAL:
            case ENODEV:
                return u"链路本地地址须指明本机的网络接口（如 fe80::1%eth0）。";
            case ENETUNREACH:
                return u"IPv6 网络不可达。";
            default:
                break;
        }
    }
    const bool sending = operation == SocketOperation::kSendDatagram;
    const bool connecting =
        operation == SocketOperation::kConnect || operation == SocketOperation::kAccept;
    if (connecting && (error == EMFILE || error == ENFILE)) {
        return u"打开的描述符已近上限（留出 " + Ascii(std::to_string(kDescriptorReserve)) +
               u" 个给窗口使用）。";
    }
    if (operation == SocketOperation::kConnect) {
        switch (error) {
            case ECONNREFUSED:
                return u"对方拒绝连接。";
            case ETIMEDOUT:
                return u"连接超时。";
            case ECONNRESET:
                return u"连接被对方重置。";
            default:
                break;
        }
    }
    switch (error) {
        case EADDRINUSE:
            // Ports are held per protocol: a UDP port is held by another UDP socket.
            return operation == SocketOperation::kBindUdp
                       ? u"端口已被占用：另一个 UDP 套接字正在使用这个端口。"
                       : u"端口已被占用：另一个套接字正在使用这个端口。";
        case EACCES:
        case EPERM:
            // Linux refuses a datagram to a broadcast address on a socket not enabled for it.
            return sending ? u"不允许向广播地址发送。" : u"1024 以下的端口需要管理员权限。";
        case EADDRNOTAVAIL:
            return sending ? u"本机没有可用于发送的地址。" : u"本机没有这个地址。";
        case EMSGSIZE:
            return u"信息太长：一个数据报最多 65507 字节。";
        case ENETUNREACH:
        case ENETDOWN:
            return u"网络不可达。";
        case EHOSTUNREACH:
            return u"对方主机不可达。";
        case ECONNREFUSED:
            return u"对方端口拒绝接收：上一个数据报被告知端口不可达。";
        case EAGAIN:
            return sending ? u"系统发送缓冲区已满，请稍后再试。"
                           : u"系统无法启动接收线程，请稍后再试。";
        case EMFILE:
        case ENFILE:
            return u"打开的套接字太多，系统无法再打开。";
        case ENOBUFS:
        case ENOMEM:
            return u"系统内存不足。";
        case EBADF:
            return u"套接字已经关闭。";
        default:
            return u"系统错误码 " + Ascii(std::to_string(error)) + u"。";
    }
}

std::u16string MessageWithReason(std::u16string_view message, SocketOperation operation, int error,
                                 AddressFamily family) {
    std::u16string text(message);
    text += u'\n';
    text += SocketErrorReason(operation, error, family);
    return text;
}
