// The memory chips the simulator can hold in its socket.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace sim {

enum class ChipKind {
    SpiNor,     // erased bytes read 0xFF; programming can only clear bits
    I2cEeprom,  // bytes are written as given
};

struct ChipModel {
    std::string_view name;
    ChipKind kind;
    std::uint32_t capacity;      // bytes
    std::uint32_t eraseBlock;    // bytes erased by one erase frame
    std::uint8_t jedecId[3];     // answer to 0x9F (all 0xFF for parts without one)
    std::uint8_t id90[2];        // answer to 0x90: manufacturer, device
};

std::span<const ChipModel> ChipModels();

// nullptr when no model has that name (compared without regard to case).
const ChipModel *FindChipModel(std::string_view name);

}  // namespace sim
