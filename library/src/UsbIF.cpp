#include "UsbIF.h"

#include <cstring>

#include "DeviceText.h"

namespace vantu {
namespace {

// The loop of CountDevices stops below this index.
constexpr std::uint32_t kMemberIndexLimit = 127;

}  // namespace

CUsbIF::CUsbIF(Platform &platform) : platform_(platform) {}

CUsbIF::~CUsbIF() = default;

void CUsbIF::SetInterfaceGuid(const Guid &interfaceGuid) { InterfaceGuid = interfaceGuid; }

std::int32_t CUsbIF::CountDevices() {
    const std::unique_ptr<MemberSet> members = platform_.PresentMembers(InterfaceGuid);
    if (!members) {
        return 0;
    }
    std::int32_t count = 0;
    for (std::uint32_t index = 0; index < kMemberIndexLimit; ++index) {
        const MemberLookup lookup = members->Member(index);
        if (lookup == MemberLookup::NoMoreItems) {
            break;
        }
        if (lookup == MemberLookup::Found) {
            ++count;
        }
    }
    return count;
}

void CUsbIF::GetDeviceInfo(std::int32_t index, UsbDeviceInfo *info) {
    info->DevicePath.clear();
    info->DisplayName.clear();
    info->InstanceId.clear();
    if (index < 0) {
        return;
    }

    const std::unique_ptr<MemberSet> members = platform_.PresentMembers(InterfaceGuid);
    if (!members || members->Member(static_cast<std::uint32_t>(index)) != MemberLookup::Found) {
        return;
    }
    std::string devicePath;
    if (!members->Detail(&devicePath)) {
        return;
    }

    TextBuffer name{};
    if (!members->Property(DeviceProperty::FriendlyName, name) &&
        !members->Property(DeviceProperty::DeviceDesc, name)) {
        CopyText(name, sizeof name, devicePath);
    }
    info->DisplayName = TextIn(name);
    info->DevicePath = devicePath;
    if (IsWindows98OrMe()) {
        info->InstanceId = InstanceIdFromRegistry(devicePath);
    } else {
        InstanceIdFromPath(devicePath, &info->InstanceId);
    }
}

Handle CUsbIF::OpenByIndex(std::int32_t index) {
    UsbDeviceInfo info;
    GetDeviceInfo(index, &info);
    std::memset(Path, 0, sizeof Path);
    if (info.DevicePath.size() > kMaxTextLength) {
        return kInvalidHandle;
    }
    CopyText(Path, sizeof Path, info.DevicePath);
    return OpenPath(nullptr);
}

Handle CUsbIF::OpenPath(const char *pipeName) {
    // Path is zero-ended: only CopyText writes it.
    if (Path[0] == '\0') {
        return kInvalidHandle;
    }
    if (pipeName == nullptr) {
        return platform_.Open(Path);
    }
    std::string pipePath(Path);
    pipePath += platform_.PathSeparator();
    pipePath += pipeName;
    if (pipePath.size() > kMaxTextLength) {
        return kInvalidHandle;
    }
    return platform_.Open(pipePath.c_str());
}

void CUsbIF::InstanceIdFromPath(const std::string &devicePath, std::string *instanceId) {
    *instanceId = InstancePartFromPath(devicePath);
}

bool CUsbIF::IsWindows98OrMe() {
    OsVersion version;
    if (!platform_.Version(VersionRecord::Extended, &version) &&
        !platform_.Version(VersionRecord::Basic, &version)) {
        return false;
    }
    return IsWindows98OrMeVersion(version);
}

std::string CUsbIF::InstanceIdFromRegistry(const std::string &devicePath) {
    const std::string key = RegistryKeyForDevicePath(devicePath);
    TextBuffer value{};
    std::uint32_t size = 0;
    if (!platform_.RegistryValue(key.c_str(), kDeviceInstanceValueName, value, &size)) {
        return {};
    }
    return InstanceIdFromRegistryValue(value, size);
}

}  // namespace vantu
