// Sending files: on TCP through a connection's send queue, chunk by chunk, to a real
// loopback peer; on UDP read whole for one datagram up to the limit.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <vector>

#include "net/connect_info.h"
#include "net/socket_handle.h"
#include "pages/send/file_source.h"
#include "pages/send/tcp_send_queue.h"
#include "tests/support/loopback_peer.h"

namespace {

constexpr int kWaitMs = 10000;
constexpr std::size_t kChunk = 64 * 1024;  // the queue's file chunk

// Bytes whose pattern (period 251, shifted at every chunk boundary) shows a chunk lost,
// repeated or misplaced.
std::string Patterned(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i % 251 + (i / kChunk) * 17);
    return bytes;
}

QString WriteFile(const QTemporaryDir& dir, const QString& name, const std::string& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
    return path;
}

// The sending end (an engine handle) of a loopback connection to `peer`, with small buffers
// so that a peer that does not read holds the file back.
SOCKET ConnectedPair(LoopbackPeer& peer) {
    const SOCKET listener = OpenSocket(SOCK_STREAM);
    sockaddr_in address{};
    MakeAddress("127.0.0.1", 0, address);
    EXPECT_EQ(BindSocket(listener, address), 0);
    EXPECT_EQ(ListenSocket(listener, 1), 0);
    GetSocketName(listener, address);
    EXPECT_TRUE(peer.Connect(ntohs(address.sin_port)));
    const SOCKET sending = AcceptSocket(listener, nullptr);
    closesocket(listener);
    SetSocketOption(sending, SOL_SOCKET, SO_SNDBUF, 32 * 1024);
    return sending;
}

class FileSendTest : public ::testing::Test {
protected:
    FileSendTest() {
        queue_.onDelivered = [this](ConnectInfo*, const TcpSendQueue::Message& message) {
            delivered_.push_back(message);
        };
        queue_.onFailed = [this](ConnectInfo*, SOCKET) { ++failures_; };
    }
    TcpSendQueue::Message FileMessage(const QString& path) {
        QString error;
        TcpSendQueue::Message message;
        message.file = FileSource::Open(path, &error);
        EXPECT_TRUE(message.file) << error.toStdString();
        return message;
    }

    QTemporaryDir dir_;
    TcpSendQueue queue_;
    ConnectInfo record_;
    std::vector<TcpSendQueue::Message> delivered_;
    int failures_ = 0;
};

TEST_F(FileSendTest, AFileArrivesIntactBetweenMessagesWithItsProgressShown) {
    const std::string content = Patterned(6 * kChunk * 16 + 777);  // 6 MiB and a bit
    const QString path = WriteFile(dir_, "big.bin", content);
    LoopbackPeer peer;
    const SOCKET sock = ConnectedPair(peer);

    queue_.Queue(&record_, sock, {"head|", QStringLiteral("head|")});
    queue_.Queue(&record_, sock, FileMessage(path));
    queue_.Queue(&record_, sock, {"|tail", QStringLiteral("|tail")});
    // The peer reads nothing yet: the file waits, part gone, its size known.
    ASSERT_TRUE(QTest::qWaitFor([&] { return delivered_.size() == 1; }, kWaitMs));
    const auto progress = queue_.FrontProgress(&record_);
    ASSERT_TRUE(progress);
    EXPECT_EQ(progress->total, content.size());
    EXPECT_LT(progress->went, content.size());

    const std::string expected = "head|" + content + "|tail";
    const std::string received = peer.Receive(expected.size(), std::chrono::seconds(30));
    ASSERT_EQ(received.size(), expected.size());
    EXPECT_TRUE(received == expected);  // not printed: megabytes
    ASSERT_TRUE(QTest::qWaitFor([&] { return delivered_.size() == 3; }, kWaitMs));
    EXPECT_TRUE(delivered_[1].file);
    EXPECT_FALSE(delivered_[1].fileFailed);
    EXPECT_EQ(TcpSendQueue::Size(delivered_[1]), content.size());
    EXPECT_EQ(delivered_[2].bytes, "|tail");
    EXPECT_FALSE(queue_.FrontProgress(&record_));
    EXPECT_EQ(failures_, 0);

    // A file cut short while it waits ends its message where the file now ends; the
    // connection goes on with the next message. A fresh connection: the first one's
    // buffers have grown with its reading.
    queue_.ForgetAll();
    closesocket(sock);
    LoopbackPeer slow;
    const SOCKET second = ConnectedPair(slow);
    const QString cutPath = WriteFile(dir_, "cut.bin", content);
    queue_.Queue(&record_, second, FileMessage(cutPath));
    queue_.Queue(&record_, second, {"|after", QStringLiteral("|after")});
    const auto before = queue_.FrontProgress(&record_);
    ASSERT_TRUE(before);
    ASSERT_LT(before->went, 16 * kChunk);
    ASSERT_EQ(::truncate(QFile::encodeName(cutPath).constData(), 16 * kChunk + 5), 0);
    const std::string cut = content.substr(0, 16 * kChunk + 5) + "|after";
    std::string rest = slow.Receive(cut.size(), std::chrono::seconds(10));
    rest += slow.Receive(1, std::chrono::milliseconds(100));  // nothing more
    EXPECT_EQ(rest.size(), cut.size());
    EXPECT_TRUE(rest == cut);
    ASSERT_TRUE(QTest::qWaitFor([&] { return delivered_.size() == 5; }, kWaitMs));
    EXPECT_TRUE(delivered_[3].fileFailed);
    EXPECT_FALSE(delivered_[4].fileFailed);
    EXPECT_EQ(failures_, 0);
    queue_.ForgetAll();
    closesocket(second);
}

TEST_F(FileSendTest, ADatagramFileIsReadWholeUpToTheLimitAndRefusedBeyond) {
    const std::string largest = Patterned(kMaxDatagramFileSize);
    QString error;
    EXPECT_EQ(ReadDatagramFile(WriteFile(dir_, "largest.bin", largest), &error), largest);
    EXPECT_EQ(ReadDatagramFile(WriteFile(dir_, "empty.bin", ""), &error), "");
    EXPECT_FALSE(ReadDatagramFile(WriteFile(dir_, "over.bin", largest + "x"), &error));
    EXPECT_EQ(error, QStringLiteral("文件超过 65507 字节，无法作为一个数据报发送。"));
    const QString missing = dir_.filePath("missing.bin");
    EXPECT_FALSE(ReadDatagramFile(missing, &error));
    EXPECT_EQ(error, QStringLiteral("无法读取文件：") + missing);
    EXPECT_FALSE(FileSource::Open(dir_.path(), &error));  // a folder is no file
    EXPECT_EQ(error, QStringLiteral("无法读取文件：") + dir_.path());
}

}  // namespace
