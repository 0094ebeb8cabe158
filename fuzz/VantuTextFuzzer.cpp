// Fuzzes the library's path and text handling: member paths, display-name
// properties and "DeviceInstance" registry values come from the input and go
// through the export logic (Library over CUsbIF) on the fake platform.
//
// Input: lines separated by '\n'. The first line sets up the system; its
// first byte: bit 0 the system is Windows 98/ME (so instance ids take the
// registry route), bit 1 the extended version record is refused, bit 2 '/'
// joins paths instead of '\'; its second byte times 33 is the length of one
// device write and one device read. Each further line is one member: a flag
// byte, then fields separated by '\t': device path, friendly name, device
// description, registry value, registry byte size in decimal. Member flags:
//   bits 0-1  3 or 0 found, 1 enumeration fails, 2 no more items
//   bit 2     the detail (so the device path) is refused
//   bit 3     has the friendly name,  bit 4 has the description
//   bit 5     has the registry value (under the key of its device path)
//   bit 6     its write pipe can't be opened,  bit 7 its read pipe can't
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "DeviceText.h"
#include "FakePlatform.h"
#include "FuzzCheck.h"
#include "Library.h"
#include "UsbIF.h"

namespace {

using vantu::fake::FakeMember;
using vantu::fake::FakeSystem;

// Enough to pass the 127 members CountDevices asks for.
constexpr std::size_t kMaxMembers = 130;
constexpr std::uint32_t kTransferLengthStep = 33;
constexpr char kCanary = '\xA5';

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t end = text.find(separator);
        parts.push_back(text.substr(0, end));
        if (end == std::string_view::npos) return parts;
        text.remove_prefix(end + 1);
    }
}

// The instance id worked out field by field instead of by cutting: the fields
// between the second and the last '#', joined by '#' again.
std::string InstanceIdByFields(std::string_view devicePath) {
    const std::vector<std::string_view> fields = Split(devicePath, '#');
    if (fields.size() < 4) return {};
    std::string joined(fields[2]);
    for (std::size_t i = 3; i + 1 < fields.size(); ++i) {
        joined += '#';
        joined += fields[i];
    }
    return joined;
}

// What a caller's 256-byte buffer holds of `text`.
std::string_view AsCopied(std::string_view text) { return text.substr(0, vantu::kMaxTextLength); }

bool IsPrefix(std::string_view prefix, std::string_view text) { return text.substr(0, prefix.size()) == prefix; }

struct Scenario {
    bool windows98OrMe = false;
    std::uint32_t transferLength = 0;
};

// Adds the member of one input line to the system.
void AddMember(std::string_view line, FakeSystem &system) {
    const auto flags = static_cast<std::uint8_t>(line.empty() ? 0 : line[0]);
    const std::vector<std::string_view> fields = Split(line.empty() ? line : line.substr(1), '\t');
    auto field = [&](std::size_t i) { return std::string(i < fields.size() ? fields[i] : std::string_view{}); };

    FakeMember member;
    const int lookup = flags & 3;
    member.lookup = lookup == 1   ? vantu::MemberLookup::Failed
                    : lookup == 2 ? vantu::MemberLookup::NoMoreItems
                                  : vantu::MemberLookup::Found;
    if ((flags & 0x08) != 0) member.friendlyName = field(1);
    if ((flags & 0x10) != 0) member.deviceDesc = field(2);
    if ((flags & 0x04) == 0) {
        // Platforms report device paths as C strings: nothing after a zero.
        const std::string path = field(0).substr(0, field(0).find('\0'));
        member.devicePath = path;
        if ((flags & 0x20) != 0) {
            vantu::fake::FakeRegistryValue value{field(3), 0};
            const std::string size = field(4);
            if (std::from_chars(size.data(), size.data() + size.size(), value.size).ec != std::errc{}) {
                value.size = static_cast<std::uint32_t>(value.text.size() + 1);
            }
            system.registry[vantu::RegistryKeyForDevicePath(path)] = value;
        }
        if ((flags & 0x40) != 0) system.unopenablePaths.insert(path + system.separator + "PIPE01");
        if ((flags & 0x80) != 0) system.unopenablePaths.insert(path + system.separator + "PIPE00");
    }
    system.members.push_back(std::move(member));
}

Scenario SetUp(std::string_view input, FakeSystem &system) {
    Scenario scenario;
    const std::vector<std::string_view> lines = Split(input, '\n');
    const std::string_view setup = lines[0];
    const auto systemFlags = static_cast<std::uint8_t>(setup.empty() ? 0 : setup[0]);
    scenario.windows98OrMe = (systemFlags & 1) != 0;
    scenario.transferLength = setup.size() > 1 ? static_cast<std::uint8_t>(setup[1]) * kTransferLengthStep : 0;
    const vantu::OsVersion version = scenario.windows98OrMe ? vantu::OsVersion{1, 4, 10} : vantu::OsVersion{2, 10, 0};
    if ((systemFlags & 2) == 0) system.extendedVersion = version;
    system.basicVersion = version;
    system.separator = (systemFlags & 4) != 0 ? '/' : '\\';

    for (std::size_t i = 1; i < lines.size() && system.members.size() < kMaxMembers; ++i) AddMember(lines[i], system);
    return scenario;
}

std::int32_t ExpectedCount(const FakeSystem &system) {
    std::int32_t count = 0;
    for (std::size_t i = 0; i < system.members.size() && i < 127; ++i) {
        const vantu::MemberLookup lookup = system.members[i].lookup;
        if (lookup == vantu::MemberLookup::NoMoreItems) break;
        if (lookup == vantu::MemberLookup::Found) ++count;
    }
    return count;
}

// The member an index reaches, with its device path; nullptr when none.
const FakeMember *Described(const FakeSystem &system, std::int32_t index) {
    if (index < 0 || static_cast<std::size_t>(index) >= system.members.size()) return nullptr;
    const FakeMember &member = system.members[static_cast<std::size_t>(index)];
    if (member.lookup != vantu::MemberLookup::Found || !member.devicePath) return nullptr;
    return &member;
}

void CheckProductString(vantu::Library &library, const FakeSystem &system, const Scenario &scenario,
                        std::int32_t index, std::int32_t option) {
    // Exactly the 256 bytes the program passes, so a write past them is reported.
    const auto buffer = std::make_unique<char[]>(vantu::kTextBufferSize);
    std::fill_n(buffer.get(), vantu::kTextBufferSize, kCanary);
    const std::int32_t status = library.GetProductString(index, buffer.get(), option);
    FUZZ_CHECK(status == VANTU_OK || status == VANTU_NOT_FOUND);
    if (status != VANTU_OK) {
        const bool untouched =
            std::all_of(buffer.get(), buffer.get() + vantu::kTextBufferSize, [](char c) { return c == kCanary; });
        FUZZ_CHECK(untouched);
        return;
    }
    FUZZ_CHECK(option == VANTU_TEXT_INSTANCE_ID || option == VANTU_TEXT_DISPLAY_NAME);
    const std::size_t length = strnlen(buffer.get(), vantu::kTextBufferSize);
    FUZZ_CHECK(length >= 1 && length <= vantu::kMaxTextLength);
    const std::string_view text(buffer.get(), length);

    const FakeMember *member = Described(system, index);
    FUZZ_CHECK(member != nullptr);
    const std::string &path = *member->devicePath;
    if (option == VANTU_TEXT_DISPLAY_NAME) {
        const std::string &source = member->friendlyName ? *member->friendlyName
                                    : member->deviceDesc ? *member->deviceDesc
                                                         : path;
        FUZZ_CHECK(IsPrefix(text, source));
    } else if (scenario.windows98OrMe) {
        // The value read is the one under the key this call asked for.
        FUZZ_CHECK(!system.registryKeysAsked.empty());
        const auto value = system.registry.find(system.registryKeysAsked.back());
        FUZZ_CHECK(value != system.registry.end() && value->second.size <= 80);
        FUZZ_CHECK(value->second.text.find(text) != std::string::npos);
    } else {
        FUZZ_CHECK(text == AsCopied(InstanceIdByFields(path)));
    }
}

void CheckOpen(vantu::Library &library, FakeSystem &system, std::int32_t index) {
    const std::size_t opensBefore = system.opens.size();
    const std::int32_t status = library.OpenDevice(index);
    FUZZ_CHECK(status >= VANTU_OK && status <= VANTU_NO_DEVICE);
    // Repeated opens replace their handles: the device and its two pipes at most.
    FUZZ_CHECK(system.openHandles.size() <= 3);
    for (std::size_t i = opensBefore; i < system.opens.size(); ++i) {
        FUZZ_CHECK(!system.opens[i].path.empty() && system.opens[i].path.size() <= vantu::kMaxTextLength);
    }

    const FakeMember *member = Described(system, index);
    if (member == nullptr || member->devicePath->size() > vantu::kMaxTextLength) {
        FUZZ_CHECK(status == VANTU_NO_DEVICE);
        return;
    }
    if (status == VANTU_OK) {
        const std::string &device = *member->devicePath;
        FUZZ_CHECK(system.opens.size() == opensBefore + 3);
        FUZZ_CHECK(system.opens[opensBefore].path == device);
        FUZZ_CHECK(system.opens[opensBefore + 1].path == device + system.separator + "PIPE01");
        FUZZ_CHECK(system.opens[opensBefore + 2].path == device + system.separator + "PIPE00");
    }
}

void CheckTransfers(vantu::Library &library, FakeSystem &system, std::uint32_t length) {
    std::vector<std::uint8_t> buffer(std::max<std::uint32_t>(length, 1), 0x5A);
    const bool valid = length >= 1 && length <= VANTU_MAX_TRANSFER;
    std::uint32_t moved = 0;
    const std::size_t writesBefore = system.writes.size();
    const std::int32_t written = library.DeviceWrite(buffer.data(), length, &moved, 1000);
    FUZZ_CHECK(valid || (written == 0 && system.writes.size() == writesBefore));
    if (written != 0) FUZZ_CHECK(moved == length);

    const std::size_t readsBefore = system.reads.size();
    const std::int32_t read = library.DeviceRead(buffer.data(), length, &moved, 1000);
    FUZZ_CHECK(valid || (read == 0 && system.reads.size() == readsBefore));
    if (read != 0) FUZZ_CHECK(moved == length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FakeSystem system;
    const Scenario scenario = SetUp(std::string_view(reinterpret_cast<const char *>(data), size), system);

    for (const FakeMember &member : system.members) {
        if (!member.devicePath) continue;
        std::string instanceId = "left over";
        vantu::CUsbIF::InstanceIdFromPath(*member.devicePath, &instanceId);
        FUZZ_CHECK(instanceId == InstanceIdByFields(*member.devicePath));
    }

    {
        vantu::Library library(std::make_unique<vantu::fake::FakePlatform>(system));
        std::int32_t count = -1;
        const std::int32_t status = library.GetNumDevices(&count);
        FUZZ_CHECK(count == ExpectedCount(system));
        FUZZ_CHECK(status == (count >= 1 ? VANTU_OK : VANTU_NOT_FOUND));

        const auto last = static_cast<std::int32_t>(system.members.size());
        for (std::int32_t index = -1; index <= last; ++index) {
            for (std::int32_t option : {VANTU_TEXT_INSTANCE_ID, VANTU_TEXT_DISPLAY_NAME, 2}) {
                CheckProductString(library, system, scenario, index, option);
            }
            CheckOpen(library, system, index);
            CheckTransfers(library, system, scenario.transferLength);
        }
        CheckOpen(library, system, last - 1);
        CheckTransfers(library, system, scenario.transferLength);
        const std::int32_t closed = library.CloseDevice();
        FUZZ_CHECK(closed == VANTU_OK || closed == VANTU_CLOSE_NOT_OPEN);
    }
    FUZZ_CHECK(system.openHandles.empty());
    FUZZ_CHECK(system.SetsBalanced());
    FUZZ_CHECK(system.misuses == 0);
    return 0;
}
