#include "UsbIF.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CaseName.h"
#include "FakePlatform.h"

namespace vantu {
namespace {

using fake::FakeMember;
using fake::FakePlatform;
using fake::FakeSystem;
using fake::MemberAt;
using fake::ProgrammerPath;

const OsVersion kWindows10{2, 10, 0};
const OsVersion kWindows98{1, 4, 10};

class UsbIFTest : public ::testing::Test {
protected:
    void SetUp() override {
        system.extendedVersion = kWindows10;
        usbIF.SetInterfaceGuid(kProgrammerInterfaceClass);
    }

    // Whatever a test did, every member set went back and nothing was misused.
    void TearDown() override {
        EXPECT_TRUE(system.SetsBalanced()) << system.setsHandedOut << " handed out, " << system.setsReleased
                                           << " released";
        EXPECT_EQ(system.misuses, 0);
    }

    UsbDeviceInfo Describe(std::int32_t index) {
        UsbDeviceInfo info{"stale path", "stale name", "stale id"};
        usbIF.GetDeviceInfo(index, &info);
        return info;
    }

    FakeSystem system;
    FakePlatform platform{system};
    CUsbIF usbIF{platform};
};

// --- Counting ---

struct CountCase {
    const char *name;
    std::vector<MemberLookup> lookups;
    std::int32_t count;
    std::uint32_t lastIndexAsked;
};

class CountDevicesTest : public UsbIFTest, public ::testing::WithParamInterface<CountCase> {};

TEST_P(CountDevicesTest, CountsFoundMembersBelowIndex127) {
    for (std::size_t i = 0; i < GetParam().lookups.size(); ++i) {
        FakeMember member = MemberAt(ProgrammerPath(std::to_string(i)));
        member.lookup = GetParam().lookups[i];
        system.members.push_back(member);
    }
    EXPECT_EQ(usbIF.CountDevices(), GetParam().count);
    ASSERT_FALSE(system.indexesAsked.empty());
    EXPECT_EQ(system.indexesAsked.back(), GetParam().lastIndexAsked);
    EXPECT_EQ(system.setsHandedOut, 1);
}

std::vector<MemberLookup> Repeat(MemberLookup lookup, std::size_t times) {
    return std::vector<MemberLookup>(times, lookup);
}

std::vector<MemberLookup> Joined(std::vector<MemberLookup> a, const std::vector<MemberLookup> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

constexpr auto F = MemberLookup::Found;
constexpr auto X = MemberLookup::Failed;

INSTANTIATE_TEST_SUITE_P(
    Members, CountDevicesTest,
    ::testing::Values(CountCase{"None", {}, 0, 0},
                      CountCase{"One", {F}, 1, 1},
                      CountCase{"FailedMemberIsSkippedAndCountingGoesOn", {F, X, F, F}, 3, 4},
                      CountCase{"AllFailed", {X, X, X}, 0, 3},
                      CountCase{"Exactly127", Repeat(F, 127), 127, 126},
                      CountCase{"MoreThan127CountsOnly127", Repeat(F, 200), 127, 126},
                      CountCase{"FailuresUpToTheLimit", Joined(Repeat(X, 126), Repeat(F, 10)), 1, 126}),
    CaseName());

TEST_F(UsbIFTest, RefusedMemberSetCountsZero) {
    system.members.push_back(MemberAt(ProgrammerPath("a")));
    system.refuseMemberSet = true;
    EXPECT_EQ(usbIF.CountDevices(), 0);
    EXPECT_TRUE(system.indexesAsked.empty());
}

TEST_F(UsbIFTest, EnumeratesTheClassLastSet) {
    system.members.push_back(MemberAt(ProgrammerPath("a")));
    const Guid otherClass{0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};

    usbIF.SetInterfaceGuid(otherClass);
    EXPECT_EQ(usbIF.CountDevices(), 0);
    usbIF.SetInterfaceGuid(kProgrammerInterfaceClass);
    EXPECT_EQ(usbIF.CountDevices(), 1);

    ASSERT_EQ(system.classesAsked.size(), 2u);
    EXPECT_EQ(system.classesAsked[0].data1, otherClass.data1);
    EXPECT_EQ(system.classesAsked[1].data1, kProgrammerInterfaceClass.data1);
}

// --- Describing ---

struct DescribeCase {
    const char *name;
    FakeMember member;
    std::string displayName;
};

class DisplayNameTest : public UsbIFTest, public ::testing::WithParamInterface<DescribeCase> {};

TEST_P(DisplayNameTest, FallsBackFromFriendlyNameToDescriptionToPath) {
    system.members.push_back(GetParam().member);
    const UsbDeviceInfo info = Describe(0);
    EXPECT_EQ(info.DisplayName, GetParam().displayName);
    EXPECT_EQ(info.DevicePath, *GetParam().member.devicePath);
}

FakeMember WithNames(std::string path, std::optional<std::string> friendlyName, std::optional<std::string> desc) {
    FakeMember member = MemberAt(std::move(path));
    member.friendlyName = std::move(friendlyName);
    member.deviceDesc = std::move(desc);
    return member;
}

const std::string kPath = ProgrammerPath("7&2f&0&1");
const std::string kLongPath = ProgrammerPath(std::string(300, 'p'));

INSTANTIATE_TEST_SUITE_P(
    Properties, DisplayNameTest,
    ::testing::Values(DescribeCase{"FriendlyName", WithNames(kPath, "Programmer (COM)", "USB device"), "Programmer (COM)"},
                      DescribeCase{"DescriptionWithoutFriendlyName", WithNames(kPath, std::nullopt, "USB device"),
                                   "USB device"},
                      DescribeCase{"PathWithoutEither", WithNames(kPath, std::nullopt, std::nullopt), kPath},
                      DescribeCase{"LongPathIsCutTo255", WithNames(kLongPath, std::nullopt, std::nullopt),
                                   kLongPath.substr(0, 255)}),
    CaseName());

struct NoMemberCase {
    const char *name;
    FakeMember member;
    bool refuseSet;
    std::int32_t index;
};

class NoMemberTest : public UsbIFTest, public ::testing::WithParamInterface<NoMemberCase> {};

TEST_P(NoMemberTest, LeavesEveryStringEmpty) {
    system.members.push_back(GetParam().member);
    system.refuseMemberSet = GetParam().refuseSet;
    const UsbDeviceInfo info = Describe(GetParam().index);
    EXPECT_EQ(info.DevicePath, "");
    EXPECT_EQ(info.DisplayName, "");
    EXPECT_EQ(info.InstanceId, "");
}

FakeMember FailingMember() {
    FakeMember member = WithNames(kPath, "name", "desc");
    member.lookup = MemberLookup::Failed;
    return member;
}

FakeMember RefusedDetail() {
    FakeMember member = WithNames(kPath, "name", "desc");
    member.devicePath.reset();
    return member;
}

INSTANTIATE_TEST_SUITE_P(Members, NoMemberTest,
                         ::testing::Values(NoMemberCase{"PastTheLast", MemberAt(kPath), false, 1},
                                           NoMemberCase{"LookupFailed", FailingMember(), false, 0},
                                           NoMemberCase{"DetailRefused", RefusedDetail(), false, 0},
                                           NoMemberCase{"SetRefused", MemberAt(kPath), true, 0},
                                           NoMemberCase{"NegativeIndex", MemberAt(kPath), false, -1}),
                         CaseName());

TEST_F(UsbIFTest, NegativeIndexAsksThePlatformNothing) {
    system.members.push_back(MemberAt(kPath));
    Describe(-1);
    EXPECT_EQ(system.setsRequested, 0);
}

TEST_F(UsbIFTest, EachDescriptionEnumeratesAfresh) {
    system.members.push_back(WithNames(kPath, "first", std::nullopt));
    EXPECT_EQ(Describe(0).DisplayName, "first");
    system.members[0].friendlyName = "second";
    EXPECT_EQ(Describe(0).DisplayName, "second");
    EXPECT_EQ(system.setsHandedOut, 2);
}

// --- Instance id ---

TEST_F(UsbIFTest, InstanceIdComesFromThePathOutsideWindows98) {
    system.members.push_back(MemberAt(kPath));
    EXPECT_EQ(Describe(0).InstanceId, "7&2f&0&1");
    EXPECT_TRUE(system.registryKeysAsked.empty());
}

const std::string kHardwarePart = "USB\\VID_0483&PID_5720\\";  // 22 characters
const std::string kRegistryKey =
    "System\\CurrentControlSet\\Control\\DeviceClasses\\{37538c66-9584-42d3-9632-ebad0a230d13}\\##.#"
    "usb#vid_0483&pid_5720#7&2f&0&1#{37538c66-9584-42d3-9632-ebad0a230d13}";

struct RegistryCase {
    const char *name;
    std::optional<fake::FakeRegistryValue> value;
    std::string instanceId;
};

class RegistryRouteTest : public UsbIFTest, public ::testing::WithParamInterface<RegistryCase> {};

TEST_P(RegistryRouteTest, ReadsTheInstanceIdFromTheRegistryOnWindows98) {
    system.extendedVersion = kWindows98;
    system.members.push_back(MemberAt(kPath));
    if (GetParam().value) {
        system.registry[kRegistryKey] = *GetParam().value;
    }
    EXPECT_EQ(Describe(0).InstanceId, GetParam().instanceId);
    EXPECT_EQ(system.registryKeysAsked, std::vector<std::string>{kRegistryKey});
}

const std::string k57 = std::string(57, 'r');

INSTANTIATE_TEST_SUITE_P(
    Values, RegistryRouteTest,
    ::testing::Values(RegistryCase{"Typical", fake::FakeRegistryValue{kHardwarePart + "5&9&0&3", 30}, "5&9&0&3"},
                      RegistryCase{"Exactly80BytesIsUsed", fake::FakeRegistryValue{kHardwarePart + k57, 80}, k57},
                      RegistryCase{"81BytesLeavesItEmpty", fake::FakeRegistryValue{kHardwarePart + k57 + "r", 81}, ""},
                      RegistryCase{"22CharactersGiveEmpty", fake::FakeRegistryValue{kHardwarePart, 23}, ""},
                      RegistryCase{"KeyMissing", std::nullopt, ""}),
    CaseName());

TEST_F(UsbIFTest, InstanceIdFromPathReplacesWhatTheStringHeld) {
    std::string instanceId = "old";
    CUsbIF::InstanceIdFromPath("a#b#c#d", &instanceId);
    EXPECT_EQ(instanceId, "c");
    CUsbIF::InstanceIdFromPath("a#b", &instanceId);
    EXPECT_EQ(instanceId, "");
}

// --- Platform test ---

struct VersionAnswers {
    const char *name;
    std::optional<OsVersion> extended;
    std::optional<OsVersion> basic;
    bool windows98OrMe;
    std::vector<VersionRecord> asked;
};

class IsWindows98OrMeTest : public UsbIFTest, public ::testing::WithParamInterface<VersionAnswers> {};

TEST_P(IsWindows98OrMeTest, AsksExtendedThenBasic) {
    system.extendedVersion = GetParam().extended;
    system.basicVersion = GetParam().basic;
    EXPECT_EQ(usbIF.IsWindows98OrMe(), GetParam().windows98OrMe);
    EXPECT_EQ(system.versionsAsked, GetParam().asked);
}

constexpr auto kExtended = VersionRecord::Extended;
constexpr auto kBasic = VersionRecord::Basic;

INSTANTIATE_TEST_SUITE_P(
    Answers, IsWindows98OrMeTest,
    ::testing::Values(VersionAnswers{"ExtendedAnswers98", kWindows98, kWindows10, true, {kExtended}},
                      VersionAnswers{"ExtendedAnswersNt", kWindows10, kWindows98, false, {kExtended}},
                      VersionAnswers{"ExtendedRefusedBasicUsed", std::nullopt, kWindows98, true, {kExtended, kBasic}},
                      VersionAnswers{"Windows95ThroughBasic", std::nullopt, OsVersion{1, 4, 0}, false,
                                     {kExtended, kBasic}},
                      VersionAnswers{"BothRefused", std::nullopt, std::nullopt, false, {kExtended, kBasic}}),
    CaseName());

// --- Opening ---

TEST_F(UsbIFTest, OpenByIndexOpensTheDevicePathAndKeepsItInPath) {
    system.members.push_back(MemberAt(kPath));
    const Handle device = usbIF.OpenByIndex(0);
    EXPECT_NE(device, kInvalidHandle);
    EXPECT_EQ(system.OpenedPaths(), std::vector<std::string>{kPath});
    EXPECT_STREQ(usbIF.GetPath(), kPath.c_str());
}

TEST_F(UsbIFTest, PathIsAllZeroAtConstruction) {
    const TextBuffer &path = usbIF.GetPath();
    EXPECT_TRUE(std::all_of(std::begin(path), std::end(path), [](char c) { return c == '\0'; }));
}

struct OpenByIndexCase {
    const char *name;
    std::string devicePath;
    std::int32_t index;
    bool opens;
};

class OpenByIndexTest : public UsbIFTest, public ::testing::WithParamInterface<OpenByIndexCase> {};

TEST_P(OpenByIndexTest, ReplacesPathAndOpensOnlyPathsThatFit) {
    system.members.push_back(MemberAt(kPath));
    system.members.push_back(MemberAt(GetParam().devicePath));
    ASSERT_NE(usbIF.OpenByIndex(0), kInvalidHandle);

    const Handle device = usbIF.OpenByIndex(GetParam().index);

    const std::string expectedPath = GetParam().opens ? GetParam().devicePath : "";
    EXPECT_EQ(device != kInvalidHandle, GetParam().opens);
    EXPECT_STREQ(usbIF.GetPath(), expectedPath.c_str());
    EXPECT_EQ(system.opens.size(), GetParam().opens ? 2u : 1u);
    EXPECT_EQ(usbIF.GetPath()[255], '\0');
}

INSTANTIATE_TEST_SUITE_P(Paths, OpenByIndexTest,
                         ::testing::Values(OpenByIndexCase{"Other", ProgrammerPath("other"), 1, true},
                                           OpenByIndexCase{"Exactly255", std::string(255, 'd'), 1, true},
                                           OpenByIndexCase{"256IsRefused", std::string(256, 'd'), 1, false},
                                           OpenByIndexCase{"FarTooLong", std::string(5000, 'd'), 1, false},
                                           OpenByIndexCase{"NoMember", ProgrammerPath("other"), 2, false},
                                           OpenByIndexCase{"NegativeIndex", ProgrammerPath("other"), -1, false}),
                         CaseName());

struct OpenPathCase {
    const char *name;
    char separator;
    std::size_t pathLength;
    const char *pipe;
    bool opens;
};

class OpenPathTest : public UsbIFTest, public ::testing::WithParamInterface<OpenPathCase> {};

TEST_P(OpenPathTest, JoinsPathSeparatorAndPipeUpTo255Characters) {
    system.separator = GetParam().separator;
    const std::string devicePath(GetParam().pathLength, 'd');
    system.members.push_back(MemberAt(devicePath));
    ASSERT_NE(usbIF.OpenByIndex(0), kInvalidHandle);

    const Handle pipe = usbIF.OpenPath(GetParam().pipe);

    EXPECT_EQ(pipe != kInvalidHandle, GetParam().opens);
    const std::string expected = devicePath + GetParam().separator + GetParam().pipe;
    if (GetParam().opens) {
        EXPECT_EQ(system.OpenedPaths(), (std::vector<std::string>{devicePath, expected}));
    } else {
        EXPECT_EQ(system.OpenedPaths(), std::vector<std::string>{devicePath});
    }
}

INSTANTIATE_TEST_SUITE_P(Joins, OpenPathTest,
                         ::testing::Values(OpenPathCase{"Backslash", '\\', 40, "PIPE01", true},
                                           OpenPathCase{"Slash", '/', 40, "PIPE00", true},
                                           OpenPathCase{"Exactly255", '\\', 248, "PIPE01", true},
                                           OpenPathCase{"256IsRefused", '\\', 249, "PIPE01", false},
                                           OpenPathCase{"DevicePathOfFull255", '\\', 255, "PIPE00", false}),
                         CaseName());

TEST_F(UsbIFTest, OpenPathWithoutNameOpensPathItself) {
    system.members.push_back(MemberAt(kPath));
    usbIF.OpenByIndex(0);
    EXPECT_NE(usbIF.OpenPath(nullptr), kInvalidHandle);
    EXPECT_EQ(system.OpenedPaths(), (std::vector<std::string>{kPath, kPath}));
}

TEST_F(UsbIFTest, OpenPathWithEmptyPathOpensNothing) {
    EXPECT_EQ(usbIF.OpenPath("PIPE01"), kInvalidHandle);
    EXPECT_EQ(usbIF.OpenPath(nullptr), kInvalidHandle);
    EXPECT_TRUE(system.opens.empty());
}

TEST_F(UsbIFTest, RefusedOpenGivesInvalidHandle) {
    system.members.push_back(MemberAt(kPath));
    system.unopenablePaths.insert(kPath);
    EXPECT_EQ(usbIF.OpenByIndex(0), kInvalidHandle);
    EXPECT_STREQ(usbIF.GetPath(), kPath.c_str());
}

}  // namespace
}  // namespace vantu
