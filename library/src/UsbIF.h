// The device list: finds the members of one interface class, describes them
// and opens a member's device path and the pipes below it. Every call
// enumerates afresh; nothing is cached between calls.
#pragma once

#include <cstdint>
#include <string>

#include "Platform.h"

namespace vantu {

// What CUsbIF tells of one member; every string is empty until set.
struct UsbDeviceInfo {
    std::string DevicePath;   // as the device-setup service reports it, uncut
    std::string DisplayName;  // friendly name, else description, else the path; at most 255 characters
    std::string InstanceId;   // instance part of the device's identity; empty when not found
};

class CUsbIF {
public:
    explicit CUsbIF(Platform &platform);
    virtual ~CUsbIF();

    CUsbIF(const CUsbIF &) = delete;
    CUsbIF &operator=(const CUsbIF &) = delete;

    // The class that CountDevices and GetDeviceInfo enumerate.
    void SetInterfaceGuid(const Guid &interfaceGuid);

    // Present members of the class, at most 127 (indexes 0 to 126 are asked).
    // An index the service fails for another reason than "no more items" is
    // skipped and not counted.
    std::int32_t CountDevices();

    // Fills `info` for the member at `index`; all three strings stay empty
    // when there is no such member or its detail is refused. A negative
    // index is no member and asks the platform nothing.
    void GetDeviceInfo(std::int32_t index, UsbDeviceInfo *info);

    // Describes the member at `index`, puts its device path into Path and
    // opens Path. A path that doesn't fit in Path (more than 255 characters)
    // leaves Path empty and opens nothing.
    Handle OpenByIndex(std::int32_t index);

    // Opens Path followed by the platform's separator and `pipeName`, or Path
    // itself when `pipeName` is null. kInvalidHandle without asking the
    // platform when Path is empty or the whole path has more than 255
    // characters.
    Handle OpenPath(const char *pipeName);

    // `instanceId` receives the instance part of `devicePath` (see
    // InstancePartFromPath).
    static void InstanceIdFromPath(const std::string &devicePath, std::string *instanceId);

    // Whether the running system is Windows 98 or ME, asking with the
    // extended version record first and the basic one when that is refused;
    // false when both are refused.
    bool IsWindows98OrMe();

    // The device path of the last OpenByIndex; all zero before the first.
    const TextBuffer &GetPath() const { return Path; }

private:
    // Windows 98/ME keep the instance id in the registry instead of the path.
    std::string InstanceIdFromRegistry(const std::string &devicePath);

    Platform &platform_;
    TextBuffer Path{};
    Guid InterfaceGuid{};
};

}  // namespace vantu
