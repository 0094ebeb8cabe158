// Every operating-system call of the library goes through this interface, so
// that CUsbIF and the exports are plain logic. Exactly one backend is built
// into the library (platform/posix or platform/win32); the unit tests use a
// fake. Operations are named after what the logic needs, not after one
// platform's calls; the Win32 backend maps them onto the device-setup,
// registry, version and file calls one to one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vantu {

// The platform's handle value as a pointer-sized integer; all bits set is
// "not open" on every platform.
using Handle = std::intptr_t;
inline constexpr Handle kInvalidHandle = -1;

// A device interface class identifier in the standard 16-byte layout.
struct Guid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
};

// The class served by the programmer's driver.
inline constexpr Guid kProgrammerInterfaceClass = {
    0x37538c66, 0x9584, 0x42d3, {0x96, 0x32, 0xeb, 0xad, 0x0a, 0x23, 0x0d, 0x13}};

// Result of asking a member set for the member at an index.
enum class MemberLookup {
    Found,
    NoMoreItems,  // the index is past the last member (ERROR_NO_MORE_ITEMS)
    Failed,       // any other failure: that index is skipped
};

// Device properties, with their Windows property codes.
enum class DeviceProperty : std::uint32_t {
    DeviceDesc = 0,     // SPDRP_DEVICEDESC
    FriendlyName = 12,  // SPDRP_FRIENDLYNAME
};

// Text buffers of the data model: 255 characters and a terminating zero.
inline constexpr std::size_t kTextBufferSize = 256;
using TextBuffer = char[kTextBufferSize];

// One enumeration of the present members of an interface class. Destroying
// the object releases the set (SetupDiDestroyDeviceInfoList).
class MemberSet {
public:
    virtual ~MemberSet() = default;

    // Selects the member at `index` of the set for the calls below.
    virtual MemberLookup Member(std::uint32_t index) = 0;

    // Device interface path of the selected member, and the device record
    // that Property reads; false when the service refuses the detail.
    virtual bool Detail(std::string *devicePath) = 0;

    // A text property of the member whose detail was read, as a zero-ended
    // text of at most 255 characters; false when it has none.
    virtual bool Property(DeviceProperty property, TextBuffer &text) = 0;
};

// Which record the version query is made with: the extended one (156 bytes)
// is asked first, the basic one (148 bytes) when that is refused.
enum class VersionRecord { Extended, Basic };

struct OsVersion {
    std::uint32_t platformId = 0;  // 1 = VER_PLATFORM_WIN32_WINDOWS
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // The set of present members of the class; nullptr when it can't be had.
    virtual std::unique_ptr<MemberSet> PresentMembers(const Guid &interfaceClass) = 0;

    // The platform's version; false when the query with that record is refused.
    virtual bool Version(VersionRecord record, OsVersion *version) = 0;

    // Reads value `valueName` of key `keyName` below HKEY_LOCAL_MACHINE as
    // text into `value`; `size` receives its byte size, terminating zero
    // counted. False when the key can't be opened or the value read.
    virtual bool RegistryValue(const char *keyName, const char *valueName, TextBuffer &value,
                               std::uint32_t *size) = 0;

    // Opens an existing object (a device path or a pipe path) for reading and
    // writing; kInvalidHandle when it can't be opened.
    virtual Handle Open(const char *path) = 0;

    // One synchronous transfer of exactly `length` bytes; `moved` receives the
    // count the platform reports. False when the platform fails it.
    virtual bool Write(Handle handle, const void *buffer, std::uint32_t length, std::uint32_t *moved) = 0;
    virtual bool Read(Handle handle, void *buffer, std::uint32_t length, std::uint32_t *moved) = 0;

    virtual void Close(Handle handle) = 0;

    // The character that joins a device path and a pipe name ('\' on Windows).
    virtual char PathSeparator() const = 0;
};

// The backend the library was built with.
std::unique_ptr<Platform> CreateSystemPlatform();

}  // namespace vantu
