// The program-wide settings and flags. One instance lives for the life of the
// program (created by the program entry) and is never saved; the member
// initialisers are the values at load, FormCreate sets the start values.
#pragma once

#include <cstdint>

struct RunState {
    std::int32_t CapacityKB = 0;     // chip size in KiB
    std::int32_t EraseBlockKB = 0;   // erase block in KiB
    std::int32_t ChipSelected = 0;   // 0/1; operations refuse to run while 0
    std::uint8_t Busy = 0;           // a chip operation is running
    std::int32_t DeviceCount = 0;    // programmers found by the last connect
    std::uint8_t LargeTransfer = 1;  // nonzero: 8 sectors per transfer unit
    std::int32_t FirstBlock = 1;     // number of the first transfer unit
    std::int32_t LastChipId = 0;     // result of the last identify
};
