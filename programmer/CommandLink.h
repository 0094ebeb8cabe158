// What the chip routines share beyond the public operations: opening the
// programmer and reading a reply the way every routine does.
#pragma once

#include <cstdint>
#include <span>

#include "ChipHost.h"
#include "Un_Const.h"

// The fourth argument of every Vantu_DeviceWrite and Vantu_DeviceRead; the
// library accepts it and does not use it.
inline constexpr std::int32_t kTransferArgument = 1000;

// Opens the last programmer found by the connect (DeviceCount - 1). On
// failure logs "未连接到设备..." and returns false.
bool OpenProgrammer(ChipHost &host, const RunState &state);

// Zero-fills the buffer, then reads exactly its size from the programmer, so
// bytes that a short reply leaves out read as 0. True when the library
// reports the read done; the count it moved is not looked at.
bool ReadReply(std::span<std::uint8_t> reply);
