#include "ChipModel.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace sim {

namespace {

constexpr std::uint32_t KiB = 1024;
constexpr std::uint32_t MiB = 1024 * KiB;

constexpr std::array<ChipModel, 5> kModels{{
    {"MX25L12845", ChipKind::SpiNor, 16 * MiB, 64 * KiB, {0xC2, 0x20, 0x18}, {0xC2, 0x17}},
    {"MX25L6445E", ChipKind::SpiNor, 8 * MiB, 64 * KiB, {0xC2, 0x20, 0x17}, {0xC2, 0x16}},
    {"MX25L3205D", ChipKind::SpiNor, 4 * MiB, 64 * KiB, {0xC2, 0x20, 0x16}, {0xC2, 0x15}},
    {"SST25VF016B", ChipKind::SpiNor, 2 * MiB, 64 * KiB, {0xBF, 0x25, 0x41}, {0xBF, 0x41}},
    // EEPROMs have no erase command; one "block" is the whole part, so an
    // erase frame blanks it, which is what the host's erase-then-write expects.
    {"24C64", ChipKind::I2cEeprom, 8 * KiB, 8 * KiB, {0xFF, 0xFF, 0xFF}, {0xFF, 0xFF}},
}};

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

std::span<const ChipModel> ChipModels() { return kModels; }

const ChipModel *FindChipModel(std::string_view name) {
    const auto found =
        std::ranges::find_if(kModels, [name](const ChipModel &m) { return SameIgnoringCase(m.name, name); });
    return found == kModels.end() ? nullptr : &*found;
}

}  // namespace sim
