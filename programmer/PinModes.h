// The three ways the programmer can wire its 40-pin socket: the 8-byte
// frame that selects one, the exchange, and when the reply counts as done.
#pragma once

#include <array>
#include <cstdint>

#include "ChipHost.h"

enum class PinMode {
    MX25L,      // SPI flash of the MX25L kind
    Smbus24CX,  // 24Cxx EEPROM on the SMBus lines
    Io24CX,     // 24Cxx EEPROM by I/O emulation, chip in the top eight socket pins
};

using PinModeFrame = std::array<std::uint8_t, 8>;

// FE, the mode identifier (32 bits) and parameter (16 bits) low byte first,
// then the CRC of those seven bytes.
PinModeFrame BuildPinModeFrame(PinMode mode);

// Whether the frame buffer after the exchange holds the programmer's
// acceptance of the mode. An unchanged echo of the frame is not one.
bool PinModeReplyAccepted(PinMode mode, const PinModeFrame &buffer);

struct PinModeOutcome {
    PinModeFrame sent{};
    // The frame buffer after the exchange: the reply read over the frame, so
    // bytes the programmer did not send, or all of them when nothing was
    // read, keep the frame's values.
    PinModeFrame buffer{};
    bool accepted = false;
};

// Sends the mode's frame to the programmer the window has open, reads the
// reply into the same buffer after a successful write, and logs the mode's
// success line when the reply is accepted. Nothing is logged otherwise.
PinModeOutcome ConfigurePinMode(ChipHost &host, PinMode mode);
