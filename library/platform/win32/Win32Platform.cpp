// The Win32 backend: device setup for discovery, the registry and the version
// query for the instance id of Windows 98/ME, and synchronous file calls for
// the device and its pipes.
#include <windows.h>
#include <setupapi.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "Platform.h"

namespace vantu {
namespace {

HANDLE ToNative(Handle handle) { return reinterpret_cast<HANDLE>(handle); }

GUID ToNative(const Guid &guid) {
    GUID native;
    native.Data1 = guid.data1;
    native.Data2 = guid.data2;
    native.Data3 = guid.data3;
    std::memcpy(native.Data4, guid.data4, sizeof native.Data4);
    return native;
}

struct FreeDeleter {
    void operator()(void *block) const { std::free(block); }
};
using InterfaceDetail = std::unique_ptr<SP_DEVICE_INTERFACE_DETAIL_DATA_A, FreeDeleter>;

class Win32MemberSet final : public MemberSet {
public:
    Win32MemberSet(HDEVINFO members, const GUID &interfaceClass)
        : members_(members), interfaceClass_(interfaceClass) {}

    ~Win32MemberSet() override { SetupDiDestroyDeviceInfoList(members_); }

    Win32MemberSet(const Win32MemberSet &) = delete;
    Win32MemberSet &operator=(const Win32MemberSet &) = delete;

    MemberLookup Member(std::uint32_t index) override {
        hasInterface_ = false;
        hasDevice_ = false;
        interface_ = {};
        interface_.cbSize = sizeof interface_;
        if (SetupDiEnumDeviceInterfaces(members_, nullptr, &interfaceClass_, index, &interface_)) {
            hasInterface_ = true;
            return MemberLookup::Found;
        }
        return GetLastError() == ERROR_NO_MORE_ITEMS ? MemberLookup::NoMoreItems : MemberLookup::Failed;
    }

    bool Detail(std::string *devicePath) override {
        hasDevice_ = false;
        if (!hasInterface_) {
            return false;
        }
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailA(members_, &interface_, nullptr, 0, &required, nullptr);
        if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
            return false;
        }
        const InterfaceDetail detail(static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A *>(std::malloc(required)));
        if (!detail) {
            return false;
        }
        // The fixed part of the record: 5 bytes on 32-bit Windows, 8 on 64-bit, where 5 is refused.
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        device_ = {};
        device_.cbSize = sizeof device_;
        if (!SetupDiGetDeviceInterfaceDetailA(members_, &interface_, detail.get(), required, nullptr, &device_)) {
            return false;
        }
        const char *path = detail->DevicePath;
        const std::size_t room = required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
        devicePath->assign(path, static_cast<std::size_t>(std::find(path, path + room, '\0') - path));
        hasDevice_ = true;
        return true;
    }

    bool Property(DeviceProperty property, TextBuffer &text) override {
        if (!hasDevice_) {
            return false;
        }
        DWORD type = 0;
        DWORD size = 0;
        if (!SetupDiGetDeviceRegistryPropertyA(members_, &device_, static_cast<DWORD>(property), &type,
                                               reinterpret_cast<PBYTE>(text), kTextBufferSize, &size) ||
            type != REG_SZ) {
            return false;
        }
        // A stored text need not end in a zero.
        text[std::min<DWORD>(size, kTextBufferSize - 1)] = '\0';
        return true;
    }

private:
    HDEVINFO members_;
    GUID interfaceClass_;
    SP_DEVICE_INTERFACE_DATA interface_{};
    SP_DEVINFO_DATA device_{};
    bool hasInterface_ = false;
    bool hasDevice_ = false;
};

class Win32Platform final : public Platform {
public:
    std::unique_ptr<MemberSet> PresentMembers(const Guid &interfaceClass) override {
        const GUID native = ToNative(interfaceClass);
        const HDEVINFO members = SetupDiGetClassDevsA(&native, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        if (members == INVALID_HANDLE_VALUE) {
            return nullptr;
        }
        std::unique_ptr<MemberSet> set(new (std::nothrow) Win32MemberSet(members, native));
        if (!set) {
            SetupDiDestroyDeviceInfoList(members);
        }
        return set;
    }

    bool Version(VersionRecord record, OsVersion *version) override {
        if (record == VersionRecord::Extended) {
            OSVERSIONINFOEXA info{};
            info.dwOSVersionInfoSize = sizeof info;
            if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA *>(&info))) {
                return false;
            }
            *version = {info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion};
            return true;
        }
        OSVERSIONINFOA info{};
        info.dwOSVersionInfoSize = sizeof info;
        if (!GetVersionExA(&info)) {
            return false;
        }
        *version = {info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion};
        return true;
    }

    bool RegistryValue(const char *keyName, const char *valueName, TextBuffer &value, std::uint32_t *size) override {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return false;
        }
        DWORD type = 0;
        DWORD bytes = kTextBufferSize;
        const LONG status =
            RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<LPBYTE>(value), &bytes);
        RegCloseKey(key);
        if (status != ERROR_SUCCESS || type != REG_SZ) {
            return false;
        }
        // A stored text need not end in a zero.
        value[std::min<DWORD>(bytes, kTextBufferSize - 1)] = '\0';
        *size = bytes;
        return true;
    }

    Handle Open(const char *path) override {
        const HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, 0, nullptr);
        return handle == INVALID_HANDLE_VALUE ? kInvalidHandle : reinterpret_cast<Handle>(handle);
    }

    bool Write(Handle handle, const void *buffer, std::uint32_t length, std::uint32_t *moved) override {
        DWORD count = 0;
        const BOOL written = WriteFile(ToNative(handle), buffer, length, &count, nullptr);
        *moved = count;
        return written != FALSE;
    }

    bool Read(Handle handle, void *buffer, std::uint32_t length, std::uint32_t *moved) override {
        DWORD count = 0;
        const BOOL received = ReadFile(ToNative(handle), buffer, length, &count, nullptr);
        *moved = count;
        return received != FALSE;
    }

    void Close(Handle handle) override { CloseHandle(ToNative(handle)); }

    char PathSeparator() const override { return '\\'; }
};

}  // namespace

std::unique_ptr<Platform> CreateSystemPlatform() { return std::make_unique<Win32Platform>(); }

}  // namespace vantu
