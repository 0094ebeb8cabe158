#include "DeviceText.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "CaseName.h"

namespace vantu {
namespace {

struct PathCase {
    const char *path;
    const char *instance;
};

class InstancePartFromPathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(InstancePartFromPathTest, IsTheTextBetweenTheSecondAndTheLastHash) {
    EXPECT_EQ(InstancePartFromPath(GetParam().path), GetParam().instance);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, InstancePartFromPathTest,
    ::testing::Values(
        PathCase{"", ""},
        PathCase{"no-hash-at-all", ""},
        PathCase{"one#hash", ""},
        PathCase{"three#fields#here", ""},
        PathCase{"usb#vid_0483&pid_5720#instance#{class}", "instance"},
        PathCase{"a#b#c#d#e", "c#d"},
        PathCase{"a#b#c#d#e#f", "c#d#e"},
        PathCase{"a#b##d", ""},
        PathCase{"###", ""},
        PathCase{"####", "#"},
        PathCase{"\\\\?\\usb#vid_0483&pid_5720#6&1a2b3c4&0&2#{37538c66-9584-42d3-9632-ebad0a230d13}",
                 "6&1a2b3c4&0&2"}));

TEST(RegistryKeyForDevicePathTest, ReplacesThePathPrefixBelowTheClassKey) {
    EXPECT_EQ(RegistryKeyForDevicePath("\\\\?\\usb#vid_0483&pid_5720#5&abc&0&1#{37538c66-9584-42d3-9632-ebad0a230d13}"),
              "System\\CurrentControlSet\\Control\\DeviceClasses\\{37538c66-9584-42d3-9632-ebad0a230d13}\\"
              "##.#usb#vid_0483&pid_5720#5&abc&0&1#{37538c66-9584-42d3-9632-ebad0a230d13}");
}

TEST(RegistryKeyForDevicePathTest, PathShorterThanThePrefixLeavesOnlyThePrefix) {
    EXPECT_EQ(RegistryKeyForDevicePath("ab"),
              "System\\CurrentControlSet\\Control\\DeviceClasses\\{37538c66-9584-42d3-9632-ebad0a230d13}\\##.#");
}

struct RegistryValueCase {
    const char *name;
    std::string text;
    std::uint32_t size;
    std::string instance;
};

class InstanceIdFromRegistryValueTest : public ::testing::TestWithParam<RegistryValueCase> {};

TEST_P(InstanceIdFromRegistryValueTest, DropsTheHardwarePartOfValuesUpTo80Bytes) {
    TextBuffer value{};
    std::memcpy(value, GetParam().text.data(), GetParam().text.size());
    EXPECT_EQ(InstanceIdFromRegistryValue(value, GetParam().size), GetParam().instance);
}

const std::string kHardwarePart = "USB\\VID_0483&PID_5720\\";  // 22 characters
const std::string k57 = std::string(57, 'i');

INSTANTIATE_TEST_SUITE_P(
    Sizes, InstanceIdFromRegistryValueTest,
    ::testing::Values(
        RegistryValueCase{"Typical", kHardwarePart + "6&1a2b&0&1", 33, "6&1a2b&0&1"},
        RegistryValueCase{"Exactly80Bytes", kHardwarePart + k57, 80, k57},
        RegistryValueCase{"81Bytes", kHardwarePart + k57 + "x", 81, ""},
        RegistryValueCase{"SizeAbove80ForAShortText", kHardwarePart + "abc", 200, ""},
        RegistryValueCase{"Only22Characters", kHardwarePart, 23, ""},
        RegistryValueCase{"Fewer22Characters", "USB\\VID", 8, ""},
        RegistryValueCase{"23Characters", kHardwarePart + "z", 24, "z"},
        RegistryValueCase{"Empty", "", 1, ""},
        RegistryValueCase{"SizeZero", kHardwarePart + "abc", 0, ""},
        // A value stored without its zero: the size bounds the text.
        RegistryValueCase{"NoTerminatingZero", kHardwarePart + "abcdef", 25, "abc"}),
    CaseName());

struct VersionCase {
    std::uint32_t platformId;
    std::uint32_t major;
    std::uint32_t minor;
    bool windows98OrMe;
};

class IsWindows98OrMeVersionTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(IsWindows98OrMeVersionTest, HoldsForPlatform1AboveVersion4_0) {
    const VersionCase &c = GetParam();
    EXPECT_EQ(IsWindows98OrMeVersion({c.platformId, c.major, c.minor}), c.windows98OrMe)
        << "platform " << c.platformId << " version " << c.major << "." << c.minor;
}

INSTANTIATE_TEST_SUITE_P(Versions, IsWindows98OrMeVersionTest,
                         ::testing::Values(VersionCase{1, 4, 0, false},   // Windows 95
                                           VersionCase{1, 4, 10, true},   // Windows 98
                                           VersionCase{1, 4, 90, true},   // Windows ME
                                           VersionCase{1, 5, 0, true},
                                           VersionCase{1, 3, 95, false},
                                           VersionCase{2, 4, 10, false},  // NT 4 and later
                                           VersionCase{2, 5, 1, false},
                                           VersionCase{2, 10, 0, false},
                                           VersionCase{0, 4, 10, false},  // Win32s
                                           VersionCase{3, 4, 10, false}));

TEST(TextInTest, StopsAtTheZeroOrAt255Characters) {
    TextBuffer text{};
    std::memcpy(text, "name", 4);
    EXPECT_EQ(TextIn(text), "name");

    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(TextIn(text), std::string(255, 'x'));
}

TEST(CopyTextTest, CutsToTheCapacityAndNeverWritesPastIt) {
    char target[8 + 4];
    std::memset(target, '#', sizeof target);
    EXPECT_EQ(CopyText(target, 8, "0123456789"), 7u);
    EXPECT_STREQ(target, "0123456");
    EXPECT_EQ(std::string(target + 8, 4), "####");

    EXPECT_EQ(CopyText(target, 8, ""), 0u);
    EXPECT_EQ(target[0], '\0');
}

}  // namespace
}  // namespace vantu
