#include "net/socket_error_text.h"

#include <errno.h>

#include <string>

#include "net/descriptor_reserve.h"
#include "text/ui_text.h"

std::u16string SocketErrorReason(SocketOperation operation, int error, AddressFamily family) {
    if (error == EAFNOSUPPORT)
        return UiText("SocketErrorText", "本机没有 IPv6。");
    if (family == AddressFamily::kIpv6) {
        switch (error) {
            case EADDRNOTAVAIL:
                return UiText("SocketErrorText", "本机没有可用的 IPv6 地址（IPv6 未启用）。");
            case EINVAL:
            case ENODEV:
                return UiText("SocketErrorText",
                              "链路本地地址须指明本机的网络接口（如 fe80::1%eth0）。");
            case ENETUNREACH:
                return UiText("SocketErrorText", "IPv6 网络不可达。");
            default:
                break;
        }
    }
    const bool sending = operation == SocketOperation::kSendDatagram;
    const bool connecting =
        operation == SocketOperation::kConnect || operation == SocketOperation::kAccept;
    if (connecting && (error == EMFILE || error == ENFILE)) {
        return WithArgs(UiText("SocketErrorText", "打开的描述符已近上限（留出 %1 个给窗口使用）。"),
                        {AsciiText(std::to_string(kDescriptorReserve))});
    }
    if (operation == SocketOperation::kConnect) {
        switch (error) {
            case ECONNREFUSED:
                return UiText("SocketErrorText", "对方拒绝连接。");
            case ETIMEDOUT:
                return UiText("SocketErrorText", "连接超时。");
            case ECONNRESET:
                return UiText("SocketErrorText", "连接被对方重置。");
            default:
                break;
        }
    }
    switch (error) {
        case EADDRINUSE:
            // Ports are held per protocol: a UDP port is held by another UDP socket.
            return operation == SocketOperation::kBindUdp
                       ? UiText("SocketErrorText",
                                "端口已被占用：另一个 UDP 套接字正在使用这个端口。")
                       : UiText("SocketErrorText", "端口已被占用：另一个套接字正在使用这个端口。");
        case EACCES:
        case EPERM:
            // Linux refuses a datagram to a broadcast address on a socket not enabled for it.
            return sending ? UiText("SocketErrorText", "不允许向广播地址发送。")
                           : UiText("SocketErrorText", "1024 以下的端口需要管理员权限。");
        case EADDRNOTAVAIL:
            return sending ? UiText("SocketErrorText", "本机没有可用于发送的地址。")
                           : UiText("SocketErrorText", "本机没有这个地址。");
        case EMSGSIZE:
            return UiText("SocketErrorText", "信息太长：一个数据报最多 65507 字节。");
        case ENETUNREACH:
        case ENETDOWN:
            return UiText("SocketErrorText", "网络不可达。");
        case EHOSTUNREACH:
            return UiText("SocketErrorText", "对方主机不可达。");
        case ECONNREFUSED:
            return UiText("SocketErrorText", "对方端口拒绝接收：上一个数据报被告知端口不可达。");
        case EAGAIN:
            return sending ? UiText("SocketErrorText", "系统发送缓冲区已满，请稍后再试。")
                           : UiText("SocketErrorText", "系统无法启动接收线程，请稍后再试。");
        case EMFILE:
        case ENFILE:
            return UiText("SocketErrorText", "打开的套接字太多，系统无法再打开。");
        case ENOBUFS:
        case ENOMEM:
            return UiText("SocketErrorText", "系统内存不足。");
        case EBADF:
            return UiText("SocketErrorText", "套接字已经关闭。");
        default:
            return WithArgs(UiText("SocketErrorText", "系统错误码 %1。"),
                            {AsciiText(std::to_string(error))});
    }
}

std::u16string MessageWithReason(std::u16string_view message, SocketOperation operation, int error,
                                 AddressFamily family) {
    std::u16string text(message);
    text += u'\n';
    text += SocketErrorReason(operation, error, family);
    return text;
}
