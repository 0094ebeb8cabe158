// The command line of kestro-sim and the image files it reads and writes,
// apart from main() so they can be tested without starting a server.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ChipModel.h"
#include "Firmware.h"

namespace sim {

struct SimOptions {
    const ChipModel *chip = FindChipModel("MX25L12845");
    bool listChips = false;
    bool help = false;
    std::string imagePath;  // empty: the chip starts blank
    std::string savePath;   // empty: the image is not saved
    std::string instance = "kestro-sim-0";
    std::chrono::microseconds latency{0};
    bool logFrames = false;
    Faults faults;
};

// The arguments after the program name. Both "--opt VALUE" and "--opt=VALUE"
// are accepted; a repeated option takes its last value. nullopt with a
// one-line reason for anything not understood.
std::optional<SimOptions> ParseSimOptions(std::span<const std::string_view> args, std::string *error);

std::string SimUsage();
std::string ChipListing();  // one line per chip model

// A file of up to `capacity` bytes; the caller pads it. False with a reason
// when the file can't be read or is larger than the chip.
bool LoadImageFile(const std::string &path, std::uint32_t capacity, std::vector<std::uint8_t> *image,
                   std::string *error);

// Writes a temporary file beside `path` and renames it over `path`, so the
// file is either the old one or the complete new one.
bool SaveImageFile(const std::string &path, const std::vector<std::uint8_t> &image, std::string *error);

}  // namespace sim
