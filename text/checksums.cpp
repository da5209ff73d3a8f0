#include "text/checksums.h"

#include <array>

namespace {

constexpr std::array<std::uint32_t, 256> MakeCrc32Table() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t value = i;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
        table[i] = value;
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> MakeCrc16Table() {
    std::array<std::uint16_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint16_t value = static_cast<std::uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 1) ? static_cast<std::uint16_t>((value >> 1) ^ 0xA001u)
                                : static_cast<std::uint16_t>(value >> 1);
        table[i] = value;
    }
    return table;
}

constexpr auto kCrc32Table = MakeCrc32Table();
constexpr auto kCrc16Table = MakeCrc16Table();

}  // namespace

std::uint16_t Crc16Modbus(std::string_view bytes) {
    std::uint16_t crc = 0xFFFF;
    for (char c : bytes)
        crc = static_cast<std::uint16_t>((crc >> 8) ^
                                         kCrc16Table[(crc ^ static_cast<unsigned char>(c)) & 0xFF]);
    return crc;
}

std::uint32_t Crc32(std::string_view bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (char c : bytes)
        crc = (crc >> 8) ^ kCrc32Table[(crc ^ static_cast<unsigned char>(c)) & 0xFF];
    return crc ^ 0xFFFFFFFFu;
}

std::uint8_t Sum8(std::string_view bytes) {
    std::uint8_t sum = 0;
    for (char c : bytes) sum = static_cast<std::uint8_t>(sum + static_cast<unsigned char>(c));
    return sum;
}

std::uint8_t Xor8(std::string_view bytes) {
    std::uint8_t value = 0;
    for (char c : bytes) value ^= static_cast<unsigned char>(c);
    return value;
}

std::uint8_t Lrc8(std::string_view bytes) {
    return static_cast<std::uint8_t>(-Sum8(bytes));
}
