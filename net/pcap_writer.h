// Writing what a page logged as a classic pcap capture (microsecond stamps, link type RAW:
// each packet begins with its IPv4 or IPv6 header), so that Wireshark, tshark and scripts can
// read it. The IP and TCP or UDP headers are made up around each logged piece, carrying the
// real addresses and ports; each conversation's TCP sequence numbers run on per direction,
// so a reader follows the stream in order. Every checksum is correct.
//
// Free of Qt; one thread per writer.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// An IPv4 address and port, both in host order; or, with `ipv6`, the IPv6 address in
// `address6` (network order). A conversation with an IPv6 end is written as IPv6 (an IPv4
// end then as ::ffff:a.b.c.d).
struct PcapEndpoint {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
    bool ipv6 = false;
    std::array<std::uint8_t, 16> address6{};
};

class PcapWriter {
public:
    static constexpr std::uint32_t kLinkTypeRaw = 101;
    // Payload one packet can carry: 65,535 less the IPv4 header and the TCP (or UDP) header.
    static constexpr std::size_t kMaxTcpPayload = 65535 - 20 - 20;
    static constexpr std::size_t kMaxUdpPayload = 65535 - 20 - 8;

    // Creates (or replaces) the file at `path` and writes the file header. Ok() tells
    // whether it worked; Error() is the errno of the first failure.
    explicit PcapWriter(const std::string& path);
    ~PcapWriter();
    PcapWriter(const PcapWriter&) = delete;
    PcapWriter& operator=(const PcapWriter&) = delete;

    bool Ok() const { return error_ == 0; }
    // The file was made (it may have failed later).
    bool Opened() const { return opened_; }
    int Error() const { return error_; }

    // One logged piece from `from` to `to` at `micros` (since the epoch), as one packet or,
    // beyond the payload a packet can carry, as several. `tcp`: a TCP segment of the
    // conversation between the two ends (sequence numbers follow on), else a UDP datagram.
    // False once a write failed.
    bool WritePiece(bool tcp, const PcapEndpoint& from, const PcapEndpoint& to, std::int64_t micros,
                    std::string_view payload);
    // Writes what is buffered and closes the file; false if anything failed.
    bool Finish();

    std::uint64_t PacketsWritten() const { return packets_; }
    std::uint64_t BytesWritten() const { return written_; }

private:
    void WritePacket(bool tcp, const PcapEndpoint& from, const PcapEndpoint& to,
                     std::int64_t micros, std::string_view payload);
    std::uint32_t& NextSequence(const PcapEndpoint& from, const PcapEndpoint& to);
    void Put(const void* data, std::size_t size);
    void Drain();
    // Writes what waits in the buffer, then `payload`.
    void DrainWith(std::string_view payload);
    // After a write: starts the disk on what it has not been started on yet, once that is
    // large, so that Finish's sync has little left to wait for.
    void WrittenBack();
    // Payloads this long go to the file straight from where they lie.
    static constexpr std::size_t kWriteDirectly = 16 * 1024;

    int fd_ = -1;
    int error_ = 0;
    bool opened_ = false;
    std::string buffer_;
    std::uint64_t packets_ = 0;
    std::uint64_t written_ = 0;
    std::uint64_t writtenBack_ = 0;  // the disk was started on the file up to here
    struct Sequences;
    Sequences* sequences_;
    std::uint16_t ipId_ = 0;
};
