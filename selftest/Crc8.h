// The checksum closing each self-test frame: CRC-8, reflected polynomial
// 0x8C, initial value 0, no final XOR.
#pragma once

#include <cstdint>

// CRC-8 over the first count bytes of data.
std::uint8_t Crc8Bitwise(const std::uint8_t *data, std::uint8_t count);
