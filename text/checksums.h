// Checksums an answer or a typed message can end with. Free of Qt; any thread.
#pragma once

#include <cstdint>
#include <string_view>

// CRC-16/MODBUS: polynomial 0x8005 reflected, initial 0xFFFF ("123456789" gives 0x4B37).
// Modbus sends it low byte first.
std::uint16_t Crc16Modbus(std::string_view bytes);
// CRC-32 as zlib and Ethernet compute it ("123456789" gives 0xCBF43926).
std::uint32_t Crc32(std::string_view bytes);
// The bytes added, modulo 256.
std::uint8_t Sum8(std::string_view bytes);
// The bytes combined with exclusive or.
std::uint8_t Xor8(std::string_view bytes);
// Longitudinal redundancy check (Modbus ASCII): the two's complement of Sum8.
std::uint8_t Lrc8(std::string_view bytes);
