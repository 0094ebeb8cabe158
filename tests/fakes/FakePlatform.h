// A scriptable platform for the library's unit tests. A FakeSystem holds what
// the platform answers and records what was asked of it; a FakePlatform is
// the Platform over one FakeSystem, so the system outlives the Library that
// owns the platform. Like a real system it is strict: it refuses what real
// calls would refuse and counts the misuses in `misuses`.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Platform.h"

namespace vantu::fake {

struct FakeMember {
    MemberLookup lookup = MemberLookup::Found;
    std::optional<std::string> devicePath;  // nullopt: the detail is refused
    std::optional<std::string> friendlyName;
    std::optional<std::string> deviceDesc;
};

struct FakeRegistryValue {
    std::string text;
    std::uint32_t size = 0;  // byte size the registry reports
};

struct FakeOpen {
    std::string path;
    Handle handle = kInvalidHandle;
};

struct FakeTransfer {
    Handle handle = kInvalidHandle;
    std::uint32_t length = 0;
    std::vector<std::uint8_t> bytes;  // what was written; empty for reads
};

// Every byte a successful read delivers, so that a missing read shows.
inline constexpr std::uint8_t kReadPattern = 0xCC;

struct FakeSystem {
    // --- Script ---
    std::vector<FakeMember> members;  // served for `memberClass` only
    Guid memberClass = kProgrammerInterfaceClass;
    bool refuseMemberSet = false;
    std::optional<OsVersion> extendedVersion;  // nullopt: that record is refused
    std::optional<OsVersion> basicVersion;
    std::map<std::string, FakeRegistryValue> registry;  // "DeviceInstance" value by key name
    std::set<std::string> unopenablePaths;
    bool failWrites = false;
    bool failReads = false;
    std::optional<std::uint32_t> reportedCount;  // count a transfer reports; default: all on success, 0 on failure
    char separator = '\\';

    // --- Record ---
    int setsRequested = 0;
    int setsHandedOut = 0;
    int setsReleased = 0;
    std::vector<Guid> classesAsked;
    std::vector<std::uint32_t> indexesAsked;
    std::vector<VersionRecord> versionsAsked;
    std::vector<std::string> registryKeysAsked;
    std::vector<FakeOpen> opens;  // every Open, refused ones with kInvalidHandle
    std::set<Handle> openHandles;
    std::vector<Handle> closes;
    std::vector<FakeTransfer> writes;  // every Write that reached the platform
    std::vector<FakeTransfer> reads;
    int misuses = 0;  // calls a real platform would refuse or not expect

    // Paths of `opens`, in order.
    std::vector<std::string> OpenedPaths() const;
    // Handle the last open of `path` returned; kInvalidHandle when none.
    Handle HandleOf(const std::string &path) const;
    // True when every member set handed out has been released.
    bool SetsBalanced() const { return setsHandedOut == setsReleased; }
};

class FakePlatform final : public Platform {
public:
    explicit FakePlatform(FakeSystem &system) : system_(system) {}

    std::unique_ptr<MemberSet> PresentMembers(const Guid &interfaceClass) override;
    bool Version(VersionRecord record, OsVersion *version) override;
    bool RegistryValue(const char *keyName, const char *valueName, TextBuffer &value, std::uint32_t *size) override;
    Handle Open(const char *path) override;
    bool Write(Handle handle, const void *buffer, std::uint32_t length, std::uint32_t *moved) override;
    bool Read(Handle handle, void *buffer, std::uint32_t length, std::uint32_t *moved) override;
    void Close(Handle handle) override;
    char PathSeparator() const override { return system_.separator; }

private:
    // A transfer on a handle that isn't open fails, as on a real system, and
    // is a misuse.
    bool IsOpen(Handle handle);

    FakeSystem &system_;
    Handle nextHandle_ = 0x100;
};

// A member that is found, with `path` and no properties.
FakeMember MemberAt(std::string path);

// A Windows-like device interface path whose instance part is `instance`.
std::string ProgrammerPath(const std::string &instance);

}  // namespace vantu::fake
