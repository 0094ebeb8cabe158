// The string and version rules of device discovery, as free functions with
// no platform behind them, so that CUsbIF, the backends and the tests share
// one copy of each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Platform.h"

namespace vantu {

// Longest text a TextBuffer holds: one byte stays for the terminating zero.
inline constexpr std::size_t kMaxTextLength = kTextBufferSize - 1;

// The value below a device's registry key that names its device instance on
// Windows 98/ME.
inline constexpr const char *kDeviceInstanceValueName = "DeviceInstance";

// The text held in `text`: up to its terminating zero, and never more than
// kMaxTextLength characters even when the zero is missing.
std::string_view TextIn(const TextBuffer &text);

// Copies `text` into `target` of `capacity` bytes (at least 1), cut to
// capacity - 1 characters, and ends it with a zero. Returns the characters
// copied. Nothing is written past target[capacity - 1].
std::size_t CopyText(char *target, std::size_t capacity, std::string_view text);

// The instance part of a device interface path: the text strictly between
// its second and its last '#'. Empty when the path has fewer than three '#'.
std::string InstancePartFromPath(std::string_view devicePath);

// Name of the registry key (below HKEY_LOCAL_MACHINE) under which Windows
// 98/ME files a member of the programmer's interface class.
std::string RegistryKeyForDevicePath(std::string_view devicePath);

// The instance id held by a "DeviceInstance" value read from that key, of
// `size` bytes with its terminating zero counted. Empty when the value is
// larger than 80 bytes or has no more than the hardware part.
std::string InstanceIdFromRegistryValue(const TextBuffer &value, std::uint32_t size);

// True for Windows 98 and ME: platform 1 (VER_PLATFORM_WIN32_WINDOWS) with a
// version above 4.0. Windows 95 (4.0) and every NT-family system are false.
bool IsWindows98OrMeVersion(const OsVersion &version);

}  // namespace vantu
