#include "DeviceText.h"

#include <algorithm>
#include <cstring>

namespace vantu {
namespace {

// The interface class key of Windows 98/ME, the last backslash included.
constexpr std::string_view kDeviceClassKey =
    "System\\CurrentControlSet\\Control\\DeviceClasses\\{37538c66-9584-42d3-9632-ebad0a230d13}\\";

// A device path begins with "\\?\"; below the class key Windows 98/ME write
// those four characters as "##.#".
constexpr std::string_view kRegistryPathPrefix = "##.#";

// Larger values are not instance ids of this driver.
constexpr std::uint32_t kMaxDeviceInstanceSize = 80;

// A value reads "USB\VID_xxxx&PID_yyyy\" and then the instance id.
constexpr std::size_t kHardwarePartLength = 22;

constexpr std::uint32_t kPlatformWin32Windows = 1;

// Length of the zero-ended text at `text`, looking at no more than `limit` bytes.
std::size_t BoundedLength(const char *text, std::size_t limit) {
    return static_cast<std::size_t>(std::find(text, text + limit, '\0') - text);
}

}  // namespace

std::string_view TextIn(const TextBuffer &text) {
    return std::string_view(text, BoundedLength(text, kMaxTextLength));
}

std::size_t CopyText(char *target, std::size_t capacity, std::string_view text) {
    const std::size_t length = std::min(text.size(), capacity - 1);
    std::memcpy(target, text.data(), length);
    target[length] = '\0';
    return length;
}

std::string InstancePartFromPath(std::string_view devicePath) {
    // Cut 1: after the first '#' up to and including the last.
    const std::size_t first = devicePath.find('#');
    const std::size_t last = devicePath.rfind('#');
    if (first == std::string_view::npos || first == last) {
        return {};
    }
    const std::string_view afterFirst = devicePath.substr(first + 1, last - first);

    // Cut 2: after its first '#' up to, not including, its last.
    const std::size_t second = afterFirst.find('#');
    const std::size_t end = afterFirst.size() - 1;
    if (second == end) {
        return {};
    }
    return std::string(afterFirst.substr(second + 1, end - second - 1));
}

std::string RegistryKeyForDevicePath(std::string_view devicePath) {
    std::string key(kDeviceClassKey);
    key += kRegistryPathPrefix;
    key += devicePath.substr(std::min(devicePath.size(), kRegistryPathPrefix.size()));
    return key;
}

std::string InstanceIdFromRegistryValue(const TextBuffer &value, std::uint32_t size) {
    if (size > kMaxDeviceInstanceSize) {
        return {};
    }
    const std::string_view text(value, BoundedLength(value, size));
    if (text.size() <= kHardwarePartLength) {
        return {};
    }
    return std::string(text.substr(kHardwarePartLength));
}

bool IsWindows98OrMeVersion(const OsVersion &version) {
    return version.platformId == kPlatformWin32Windows &&
           (version.major > 4 || (version.major == 4 && version.minor != 0));
}

}  // namespace vantu
