#include "Crc8.h"

std::uint8_t Crc8Bitwise(const std::uint8_t *data, std::uint8_t count) {
    std::uint8_t crc = 0;
    for (std::uint8_t index = 0; index < count; ++index) {
        std::uint8_t byte = data[index];
        for (int bit = 0; bit < 8; ++bit) {
            crc = ((crc ^ byte) & 0x01) != 0 ? static_cast<std::uint8_t>((crc >> 1) ^ 0x8C)
                                              : static_cast<std::uint8_t>(crc >> 1);
            byte = static_cast<std::uint8_t>(byte >> 1);
        }
    }
    return crc;
}
