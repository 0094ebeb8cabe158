#include "FakePlatform.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace vantu::fake {
namespace {

bool SameGuid(const Guid &a, const Guid &b) {
    return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 &&
           std::memcmp(a.data4, b.data4, sizeof a.data4) == 0;
}

void CopyCut(TextBuffer &target, const std::string &text) {
    const std::size_t length = std::min(text.size(), kTextBufferSize - 1);
    std::memcpy(target, text.data(), length);
    target[length] = '\0';
}

class FakeMemberSet final : public MemberSet {
public:
    FakeMemberSet(FakeSystem &system, bool servesMembers) : system_(system), servesMembers_(servesMembers) {}
    ~FakeMemberSet() override { ++system_.setsReleased; }

    MemberLookup Member(std::uint32_t index) override {
        system_.indexesAsked.push_back(index);
        selected_ = nullptr;
        detailRead_ = false;
        if (!servesMembers_ || index >= system_.members.size()) {
            return MemberLookup::NoMoreItems;
        }
        const FakeMember &member = system_.members[index];
        if (member.lookup == MemberLookup::Found) {
            selected_ = &member;
        }
        return member.lookup;
    }

    bool Detail(std::string *devicePath) override {
        if (selected_ == nullptr) {
            ++system_.misuses;
            return false;
        }
        if (!selected_->devicePath) {
            return false;
        }
        *devicePath = *selected_->devicePath;
        detailRead_ = true;
        return true;
    }

    bool Property(DeviceProperty property, TextBuffer &text) override {
        if (!detailRead_) {
            ++system_.misuses;
            return false;
        }
        const std::optional<std::string> &value =
            property == DeviceProperty::FriendlyName ? selected_->friendlyName : selected_->deviceDesc;
        if (!value) {
            return false;
        }
        CopyCut(text, *value);
        return true;
    }

private:
    FakeSystem &system_;
    bool servesMembers_;
    const FakeMember *selected_ = nullptr;
    bool detailRead_ = false;
};

}  // namespace

std::vector<std::string> FakeSystem::OpenedPaths() const {
    std::vector<std::string> paths;
    for (const FakeOpen &open : opens) {
        paths.push_back(open.path);
    }
    return paths;
}

Handle FakeSystem::HandleOf(const std::string &path) const {
    const auto last = std::find_if(opens.rbegin(), opens.rend(), [&](const FakeOpen &open) { return open.path == path; });
    return last == opens.rend() ? kInvalidHandle : last->handle;
}

std::unique_ptr<MemberSet> FakePlatform::PresentMembers(const Guid &interfaceClass) {
    ++system_.setsRequested;
    system_.classesAsked.push_back(interfaceClass);
    if (system_.refuseMemberSet) {
        return nullptr;
    }
    ++system_.setsHandedOut;
    return std::make_unique<FakeMemberSet>(system_, SameGuid(interfaceClass, system_.memberClass));
}

bool FakePlatform::Version(VersionRecord record, OsVersion *version) {
    system_.versionsAsked.push_back(record);
    const std::optional<OsVersion> &answer =
        record == VersionRecord::Extended ? system_.extendedVersion : system_.basicVersion;
    if (!answer) {
        return false;
    }
    *version = *answer;
    return true;
}

bool FakePlatform::RegistryValue(const char *keyName, const char *valueName, TextBuffer &value,
                                 std::uint32_t *size) {
    system_.registryKeysAsked.emplace_back(keyName);
    if (std::strcmp(valueName, "DeviceInstance") != 0) {
        ++system_.misuses;
        return false;
    }
    const auto found = system_.registry.find(keyName);
    if (found == system_.registry.end()) {
        return false;
    }
    CopyCut(value, found->second.text);
    *size = found->second.size;
    return true;
}

Handle FakePlatform::Open(const char *path) {
    Handle handle = kInvalidHandle;
    if (system_.unopenablePaths.count(path) == 0) {
        handle = nextHandle_++;
        system_.openHandles.insert(handle);
    }
    system_.opens.push_back({path, handle});
    return handle;
}

bool FakePlatform::Write(Handle handle, const void *buffer, std::uint32_t length, std::uint32_t *moved) {
    const auto *bytes = static_cast<const std::uint8_t *>(buffer);
    system_.writes.push_back({handle, length, std::vector<std::uint8_t>(bytes, bytes + length)});
    const bool sent = IsOpen(handle) && !system_.failWrites;
    *moved = system_.reportedCount.value_or(sent ? length : 0);
    return sent;
}

bool FakePlatform::Read(Handle handle, void *buffer, std::uint32_t length, std::uint32_t *moved) {
    system_.reads.push_back({handle, length, {}});
    const bool received = IsOpen(handle) && !system_.failReads;
    if (received) {
        std::memset(buffer, kReadPattern, length);
    }
    *moved = system_.reportedCount.value_or(received ? length : 0);
    return received;
}

bool FakePlatform::IsOpen(Handle handle) {
    if (system_.openHandles.count(handle) != 0) {
        return true;
    }
    ++system_.misuses;
    return false;
}

void FakePlatform::Close(Handle handle) {
    system_.closes.push_back(handle);
    if (system_.openHandles.erase(handle) == 0) {
        ++system_.misuses;
    }
}

FakeMember MemberAt(std::string path) {
    FakeMember member;
    member.devicePath = std::move(path);
    return member;
}

std::string ProgrammerPath(const std::string &instance) {
    return "\\\\?\\usb#vid_0483&pid_5720#" + instance + "#{37538c66-9584-42d3-9632-ebad0a230d13}";
}

}  // namespace vantu::fake
