#include "net/pcap_writer.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <tuple>

#include "net/file_writeback.h"

struct PcapWriter::Sequences {
    // (from, to) -> the sequence number the next segment from `from` carries.
    using Address = std::array<std::uint8_t, 16>;
    std::map<std::tuple<Address, std::uint16_t, Address, std::uint16_t>, std::uint32_t> next;
};

namespace {

constexpr std::size_t kBufferSize = std::size_t{4} << 20;
// The disk is started on what was written each time this much more is in the file.
constexpr std::uint64_t kWritebackStep = std::uint64_t{1} << 20;

void Put16(unsigned char* at, std::uint16_t value) {
    at[0] = static_cast<unsigned char>(value >> 8);
    at[1] = static_cast<unsigned char>(value);
}

void Put32(unsigned char* at, std::uint32_t value) {
    Put16(at, static_cast<std::uint16_t>(value >> 16));
    Put16(at + 2, static_cast<std::uint16_t>(value));
}

// The one's-complement sum of 16-bit big-endian words, as the Internet checksum adds them.
std::uint64_t Sum(const unsigned char* data, std::size_t size, std::uint64_t sum = 0) {
    std::size_t i = 0;
    for (; i + 1 < size; i += 2) sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
    if (i < size)
        sum += static_cast<std::uint32_t>(data[i] << 8);
    return sum;
}

// The same sum over a long run, eight bytes at a time: the one's-complement sum does not
// depend on the width of the words added (the carries are folded in at the end), nor on
// their byte order (a little-endian sum is the big-endian one with its bytes swapped).
// `data` starts at an even offset of what is summed.
std::uint64_t SumLong(const unsigned char* data, std::size_t size, std::uint64_t sum) {
    std::uint64_t little = 0;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + i, 8);
        little += word & 0xFFFFFFFF;
        little += word >> 32;
    }
    for (; i + 1 < size; i += 2) little += static_cast<std::uint32_t>(data[i] | data[i + 1] << 8);
    if (i < size)
        little += data[i];
    while (little >> 16) little = (little & 0xFFFF) + (little >> 16);
    return sum + static_cast<std::uint16_t>((little >> 8) | ((little & 0xFF) << 8));
}

std::uint16_t Fold(std::uint64_t sum) {
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

// The 16 bytes of an end's address: IPv6 as it is, IPv4 as ::ffff:a.b.c.d.
std::array<std::uint8_t, 16> Address16(const PcapEndpoint& end) {
    if (end.ipv6)
        return end.address6;
    std::array<std::uint8_t, 16> mapped{};
    mapped[10] = mapped[11] = 0xFF;
    Put32(mapped.data() + 12, end.address);
    return mapped;
}

// Every conversation starts its sequence numbers here in each direction (readers show them
// relative to the first anyway).
constexpr std::uint32_t kFirstSequence = 1;

}  // namespace

PcapWriter::PcapWriter(const std::string& path) : sequences_(new Sequences) {
    fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        error_ = errno;
        return;
    }
    opened_ = true;
    buffer_.reserve(kBufferSize);
    unsigned char header[24] = {};
    // Written in this machine's byte order, as the magic number tells the reader.
    const std::uint32_t magic = 0xA1B2C3D4;
    const std::uint16_t major = 2, minor = 4;
    const std::uint32_t snapLength = 65535, linkType = kLinkTypeRaw;
    std::memcpy(header, &magic, 4);
    std::memcpy(header + 4, &major, 2);
    std::memcpy(header + 6, &minor, 2);
    std::memcpy(header + 16, &snapLength, 4);
    std::memcpy(header + 20, &linkType, 4);
    Put(header, sizeof(header));
}

PcapWriter::~PcapWriter() {
    if (fd_ >= 0)
        close(fd_);
    delete sequences_;
}

void PcapWriter::Put(const void* data, std::size_t size) {
    if (buffer_.size() + size > kBufferSize)
        Drain();
    buffer_.append(static_cast<const char*>(data), size);
}

void PcapWriter::Drain() {
    std::size_t at = 0;
    while (error_ == 0 && at < buffer_.size()) {
        const ssize_t wrote = write(fd_, buffer_.data() + at, buffer_.size() - at);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            error_ = wrote < 0 ? errno : ENOSPC;
        else
            at += static_cast<std::size_t>(wrote);
    }
    written_ += at;
    buffer_.clear();
    WrittenBack();
}

void PcapWriter::DrainWith(std::string_view payload) {
    std::size_t done = 0;
    const std::size_t total = buffer_.size() + payload.size();
    while (error_ == 0 && done < total) {
        iovec parts[2];
        int count = 0;
        if (done < buffer_.size())
            parts[count++] = {buffer_.data() + done, buffer_.size() - done};
        const std::size_t payloadDone = done > buffer_.size() ? done - buffer_.size() : 0;
        parts[count++] = {const_cast<char*>(payload.data()) + payloadDone,
                          payload.size() - payloadDone};
        const ssize_t wrote = writev(fd_, parts, count);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            error_ = wrote < 0 ? errno : ENOSPC;
        else
            done += static_cast<std::size_t>(wrote);
    }
    written_ += done;
    buffer_.clear();
    WrittenBack();
}

void PcapWriter::WrittenBack() {
    if (written_ - writtenBack_ < kWritebackStep)
        return;
    StartWriteback(fd_, writtenBack_, written_ - writtenBack_);
    writtenBack_ = written_;
}

std::uint32_t& PcapWriter::NextSequence(const PcapEndpoint& from, const PcapEndpoint& to) {
    const auto key = std::make_tuple(Address16(from), from.port, Address16(to), to.port);
    return sequences_->next.try_emplace(key, kFirstSequence).first->second;
}

bool PcapWriter::WritePiece(bool tcp, const PcapEndpoint& from, const PcapEndpoint& to,
                            std::int64_t micros, std::string_view payload) {
    const std::size_t most = tcp ? kMaxTcpPayload : kMaxUdpPayload;
    do {
        const std::string_view part = payload.substr(0, most);
        WritePacket(tcp, from, to, micros, part);
        payload.remove_prefix(part.size());
    } while (!payload.empty() && error_ == 0);
    return error_ == 0;
}

void PcapWriter::WritePacket(bool tcp, const PcapEndpoint& from, const PcapEndpoint& to,
                             std::int64_t micros, std::string_view payload) {
    if (error_ != 0)
        return;
    const bool ipv6 = from.ipv6 || to.ipv6;
    const std::size_t ipHeader = ipv6 ? 40 : 20;
    const std::size_t transportHeader = tcp ? 20 : 8;
    const std::size_t total = ipHeader + transportHeader + payload.size();
    unsigned char headers[16 + 40 + 20] = {};
    // The record header, in this machine's byte order like the file header.
    const auto seconds = static_cast<std::uint32_t>(micros / 1000000);
    const auto fraction = static_cast<std::uint32_t>(micros % 1000000);
    const auto length = static_cast<std::uint32_t>(total);
    std::memcpy(headers, &seconds, 4);
    std::memcpy(headers + 4, &fraction, 4);
    std::memcpy(headers + 8, &length, 4);
    std::memcpy(headers + 12, &length, 4);
    unsigned char* ip = headers + 16;
    const unsigned char protocol = tcp ? 6 : 17;
    const auto segmentLength = static_cast<std::uint16_t>(transportHeader + payload.size());
    if (ipv6) {
        // IPv6: no extension headers, hop limit 64.
        ip[0] = 0x60;
        Put16(ip + 4, segmentLength);
        ip[6] = protocol;
        ip[7] = 64;
        const auto source = Address16(from);
        const auto destination = Address16(to);
        std::memcpy(ip + 8, source.data(), 16);
        std::memcpy(ip + 24, destination.data(), 16);
    } else {
        // IPv4: no options, don't fragment, time to live 64.
        ip[0] = 0x45;
        Put16(ip + 2, static_cast<std::uint16_t>(total));
        Put16(ip + 4, ipId_++);
        Put16(ip + 6, 0x4000);
        ip[8] = 64;
        ip[9] = protocol;
        Put32(ip + 12, from.address);
        Put32(ip + 16, to.address);
        Put16(ip + 10, Fold(Sum(ip, 20)));
    }
    // The transport header; its checksum covers the pseudo-header, itself and the payload.
    unsigned char* transport = ip + ipHeader;
    Put16(transport, from.port);
    Put16(transport + 2, to.port);
    std::size_t checksumAt = 6;
    if (tcp) {
        std::uint32_t& sequence = NextSequence(from, to);
        Put32(transport + 4, sequence);
        Put32(transport + 8, NextSequence(to, from));  // all the other side sent so far
        sequence += static_cast<std::uint32_t>(payload.size());
        transport[12] = 5 << 4;  // header of 20 bytes
        transport[13] = 0x18;    // PSH, ACK
        Put16(transport + 14, 65535);
        checksumAt = 16;
    } else {
        Put16(transport + 4, segmentLength);
    }
    // The pseudo-header: both addresses, the protocol and the segment's length.
    std::uint64_t sum = ipv6 ? Sum(ip + 8, 32) : Sum(ip + 12, 8);
    sum += protocol;
    sum += segmentLength;
    sum = Sum(transport, transportHeader, sum);
    sum = SumLong(reinterpret_cast<const unsigned char*>(payload.data()), payload.size(), sum);
    std::uint16_t checksum = Fold(sum);
    if (!tcp && checksum == 0)
        checksum = 0xFFFF;  // UDP's zero means "no checksum"
    Put16(transport + checksumAt, checksum);
    Put(headers, 16 + ipHeader + transportHeader);
    if (payload.size() < kWriteDirectly)
        Put(payload.data(), payload.size());
    else
        DrainWith(payload);  // one write of what waits and the payload, without copying it
    ++packets_;
}

bool PcapWriter::Finish() {
    if (fd_ < 0)
        return error_ == 0;
    Drain();
    if (error_ == 0 && fsync(fd_) != 0 && errno != EINVAL)
        error_ = errno;
    if (close(fd_) != 0 && error_ == 0)
        error_ = errno;
    fd_ = -1;
    return error_ == 0;
}
