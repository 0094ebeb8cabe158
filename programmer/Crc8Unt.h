// The table-driven CRC-8 that closes each pin-mode frame: polynomial 0xFF,
// most significant bit first, initial value 0, no final XOR.
#pragma once

#include <array>
#include <cstdint>

// Entry i is the CRC of the single byte i.
extern const std::array<std::uint8_t, 256> Crc8Table;

// The CRC over the first count bytes of data; 0 for a count of 0 or less.
std::uint8_t Crc8TableCalc(const std::uint8_t *data, std::int32_t count);

// Whether the CRC over the first count bytes of data is the expected byte.
bool Crc8TableCheck(const std::uint8_t *data, std::int32_t count, std::uint8_t expected);
