// A small reader of classic pcap files with raw IPv4 or IPv6 packets, for the export tests: each
// packet's moment, addresses, ports, TCP sequence number and payload, and whether every
// checksum holds.
#pragma once

#include <arpa/inet.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

struct PcapPacket {
    std::int64_t micros = 0;
    int protocol = 0;  // 6 TCP, 17 UDP
    bool ipv6 = false;
    std::uint32_t from = 0, to = 0;  // IPv6: the addresses' last four bytes
    std::uint16_t fromPort = 0, toPort = 0;
    std::uint32_t sequence = 0;
    std::string payload;
    bool checksumsHold = false;
};

struct PcapFile {
    std::uint32_t linkType = 0;
    std::vector<PcapPacket> packets;
};

namespace pcap_reader_detail {
inline std::uint32_t Be(const unsigned char* at, int bytes) {
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | at[i];
    return value;
}
inline std::uint16_t Checksum(const std::string& data, std::uint64_t sum = 0) {
    const auto* at = reinterpret_cast<const unsigned char*>(data.data());
    for (std::size_t i = 0; i < data.size(); i += 2)
        sum += static_cast<std::uint32_t>(at[i] << 8 | (i + 1 < data.size() ? at[i + 1] : 0));
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}
}  // namespace pcap_reader_detail

// Empty when the file is not a pcap file this reader knows (little-endian, microseconds).
inline std::optional<PcapFile> ReadPcap(const std::string& path) {
    using namespace pcap_reader_detail;
    std::ifstream in(path, std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (data.size() < 24)
        return std::nullopt;
    std::uint32_t magic = 0;
    std::memcpy(&magic, data.data(), 4);
    if (magic != 0xA1B2C3D4)
        return std::nullopt;
    PcapFile file;
    std::memcpy(&file.linkType, data.data() + 20, 4);
    std::size_t at = 24;
    while (at + 16 <= data.size()) {
        std::uint32_t header[4];
        std::memcpy(header, data.data() + at, 16);
        at += 16;
        if (at + header[2] > data.size())
            return std::nullopt;
        const std::string packet = data.substr(at, header[2]);
        at += header[2];
        const auto* p = reinterpret_cast<const unsigned char*>(packet.data());
        PcapPacket out;
        out.micros = std::int64_t{header[0]} * 1000000 + header[1];
        out.ipv6 = p[0] >> 4 == 6;
        const std::size_t ipLength = out.ipv6 ? 40 : (p[0] & 15) * 4;
        out.protocol = out.ipv6 ? p[6] : p[9];
        out.from = out.ipv6 ? Be(p + 20, 4) : Be(p + 12, 4);
        out.to = out.ipv6 ? Be(p + 36, 4) : Be(p + 16, 4);
        const unsigned char* t = p + ipLength;
        out.fromPort = static_cast<std::uint16_t>(Be(t, 2));
        out.toPort = static_cast<std::uint16_t>(Be(t + 2, 2));
        const std::size_t transportLength = out.protocol == 6 ? (t[12] >> 4) * 4 : 8;
        if (out.protocol == 6)
            out.sequence = Be(t + 4, 4);
        out.payload = packet.substr(ipLength + transportLength);
        const std::string segment = packet.substr(ipLength);
        // The pseudo-header: both addresses, the protocol, the segment's length.
        std::uint64_t pseudo = out.protocol + segment.size();
        for (std::size_t i = out.ipv6 ? 8 : 12; i < (out.ipv6 ? 40u : 20u); i += 2)
            pseudo += Be(p + i, 2);
        out.checksumsHold =
            out.ipv6 ? Be(p + 4, 2) == segment.size() && Checksum(segment, pseudo) == 0
                     : Checksum(packet.substr(0, ipLength)) == 0 &&
                           Checksum(segment, pseudo) == 0 && Be(p + 2, 2) == packet.size();
        file.packets.push_back(std::move(out));
    }
    return file;
}
