#include "Library.h"

#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
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

const std::string kDevice = ProgrammerPath("7&2f&0&1");
const std::string kWritePipe = kDevice + "\\PIPE01";
const std::string kReadPipe = kDevice + "\\PIPE00";

// Neither 0x00 nor 0xFF, so that a buffer the library must not touch shows it.
constexpr char kUntouched = '\x5A';

class LibraryTest : public ::testing::Test {
protected:
    LibraryTest() {
        system.extendedVersion = OsVersion{2, 10, 0};
        system.members.push_back(MemberAt(kDevice));
    }

    void TearDown() override {
        EXPECT_TRUE(system.SetsBalanced());
        EXPECT_EQ(system.misuses, 0);
    }

    // Opens member 0 and expects every step to succeed.
    void OpenAll() { ASSERT_EQ(library->OpenDevice(0), VANTU_OK); }

    std::int32_t SendOneByte(std::int32_t unused = 1000) {
        const std::uint8_t byte = 0x20;
        std::uint32_t written = 0;
        return library->DeviceWrite(&byte, 1, &written, unused);
    }

    std::int32_t ReceiveOneByte(std::int32_t unused = 1000) {
        std::uint8_t byte = 0;
        std::uint32_t read = 0;
        return library->DeviceRead(&byte, 1, &read, unused);
    }

    // The handles the last write and the last read went out on; kInvalidHandle when none did.
    Handle LastWriteHandle() const { return system.writes.empty() ? kInvalidHandle : system.writes.back().handle; }
    Handle LastReadHandle() const { return system.reads.empty() ? kInvalidHandle : system.reads.back().handle; }

    FakeSystem system;
    std::unique_ptr<Library> library = std::make_unique<Library>(std::make_unique<FakePlatform>(system));
};

// --- Vantu_GetNumDevices ---

TEST_F(LibraryTest, GetNumDevicesWithNullPointerEnumeratesNothing) {
    EXPECT_EQ(library->GetNumDevices(nullptr), VANTU_BAD_POINTER);
    EXPECT_EQ(system.setsRequested, 0);
}

struct CountCase {
    const char *name;
    std::size_t members;
    bool refuseSet;
    std::int32_t status;
    std::int32_t count;
};

class GetNumDevicesTest : public LibraryTest, public ::testing::WithParamInterface<CountCase> {};

TEST_P(GetNumDevicesTest, WritesTheCountAndTellsWhetherAnyIsPresent) {
    system.members.clear();
    for (std::size_t i = 0; i < GetParam().members; ++i) {
        system.members.push_back(MemberAt(ProgrammerPath(std::to_string(i))));
    }
    system.refuseMemberSet = GetParam().refuseSet;
    std::int32_t count = -7;
    EXPECT_EQ(library->GetNumDevices(&count), GetParam().status);
    EXPECT_EQ(count, GetParam().count);
    ASSERT_EQ(system.classesAsked.size(), 1u);
    EXPECT_EQ(system.classesAsked[0].data1, kProgrammerInterfaceClass.data1);
}

INSTANTIATE_TEST_SUITE_P(Members, GetNumDevicesTest,
                         ::testing::Values(CountCase{"None", 0, false, VANTU_NOT_FOUND, 0},
                                           CountCase{"One", 1, false, VANTU_OK, 1},
                                           CountCase{"Three", 3, false, VANTU_OK, 3},
                                           CountCase{"MoreThan127", 130, false, VANTU_OK, 127},
                                           CountCase{"SetRefused", 2, true, VANTU_NOT_FOUND, 0}),
                         CaseName());

// --- Vantu_GetProductString ---

struct ProductStringCase {
    const char *name;
    std::int32_t index;
    std::int32_t option;
    std::int32_t status;
    std::optional<std::string> text;  // nullopt: the buffer stays as it was
    int setsRequested;
};

class GetProductStringTest : public LibraryTest, public ::testing::WithParamInterface<ProductStringCase> {
protected:
    void SetUp() override {
        system.members.clear();
        FakeMember named = MemberAt(kDevice);
        named.friendlyName = "Programmer";
        system.members.push_back(named);                                   // 0
        system.members.push_back(MemberAt(ProgrammerPath("9&aa&0&4")));    // 1: no names
        system.members.push_back(MemberAt("\\\\?\\root#two-fields"));      // 2: no instance part
        system.members.push_back(MemberAt(ProgrammerPath(std::string(300, 'i'))));  // 3: long texts
    }
};

TEST_P(GetProductStringTest, CopiesTheChosenTextOrLeavesTheBufferAlone) {
    std::array<char, 400> buffer;
    buffer.fill(kUntouched);

    EXPECT_EQ(library->GetProductString(GetParam().index, buffer.data(), GetParam().option), GetParam().status);

    if (GetParam().text) {
        EXPECT_STREQ(buffer.data(), GetParam().text->c_str());
    } else {
        EXPECT_EQ(buffer[0], kUntouched);
    }
    const std::size_t written = GetParam().text ? GetParam().text->size() + 1 : 0;
    for (std::size_t i = written; i < buffer.size(); ++i) {
        ASSERT_EQ(buffer[i], kUntouched) << "byte " << i << " written";
    }
    EXPECT_EQ(system.setsRequested, GetParam().setsRequested);
}

const std::string kLongPath = ProgrammerPath(std::string(300, 'i'));

INSTANTIATE_TEST_SUITE_P(
    Texts, GetProductStringTest,
    ::testing::Values(
        ProductStringCase{"FriendlyName", 0, VANTU_TEXT_DISPLAY_NAME, VANTU_OK, "Programmer", 1},
        ProductStringCase{"InstanceId", 0, VANTU_TEXT_INSTANCE_ID, VANTU_OK, "7&2f&0&1", 1},
        ProductStringCase{"DisplayNameFallsBackToPath", 1, VANTU_TEXT_DISPLAY_NAME, VANTU_OK, ProgrammerPath("9&aa&0&4"),
                          1},
        ProductStringCase{"EmptyInstanceId", 2, VANTU_TEXT_INSTANCE_ID, VANTU_NOT_FOUND, std::nullopt, 1},
        ProductStringCase{"LongInstanceIdIsCutTo255", 3, VANTU_TEXT_INSTANCE_ID, VANTU_OK, std::string(255, 'i'), 1},
        ProductStringCase{"LongDisplayNameIsCutTo255", 3, VANTU_TEXT_DISPLAY_NAME, VANTU_OK, kLongPath.substr(0, 255),
                          1},
        ProductStringCase{"IndexPastTheLast", 4, VANTU_TEXT_DISPLAY_NAME, VANTU_NOT_FOUND, std::nullopt, 1},
        ProductStringCase{"NegativeIndex", -1, VANTU_TEXT_DISPLAY_NAME, VANTU_NOT_FOUND, std::nullopt, 0},
        ProductStringCase{"Option2", 0, 2, VANTU_NOT_FOUND, std::nullopt, 0},
        ProductStringCase{"OptionMinus1", 0, -1, VANTU_NOT_FOUND, std::nullopt, 0}),
    CaseName());

TEST_F(LibraryTest, GetProductStringWithNullBufferEnumeratesNothing) {
    EXPECT_EQ(library->GetProductString(0, nullptr, VANTU_TEXT_DISPLAY_NAME), VANTU_BAD_POINTER);
    EXPECT_EQ(library->GetProductString(0, nullptr, 7), VANTU_BAD_POINTER);
    EXPECT_EQ(system.setsRequested, 0);
}

TEST_F(LibraryTest, GetProductStringWithRefusedSetIsNotFound) {
    system.refuseMemberSet = true;
    char buffer[256];
    std::memset(buffer, kUntouched, sizeof buffer);
    EXPECT_EQ(library->GetProductString(0, buffer, VANTU_TEXT_DISPLAY_NAME), VANTU_NOT_FOUND);
    EXPECT_EQ(buffer[0], kUntouched);
}

// --- Vantu_OpenDevice ---

struct OpenStepCase {
    const char *name;
    std::vector<std::string> unopenable;
    std::int32_t status;
    std::vector<std::string> opened;  // in order, refused ones included
    std::vector<std::string> open;    // paths whose handles stay open afterwards
};

class OpenStepsTest : public LibraryTest, public ::testing::WithParamInterface<OpenStepCase> {};

TEST_P(OpenStepsTest, OpensDeviceThenWritePipeThenReadPipe) {
    system.unopenablePaths.insert(GetParam().unopenable.begin(), GetParam().unopenable.end());

    EXPECT_EQ(library->OpenDevice(0), GetParam().status);

    EXPECT_EQ(system.OpenedPaths(), GetParam().opened);
    std::set<Handle> expectedOpen;
    for (const std::string &path : GetParam().open) {
        expectedOpen.insert(system.HandleOf(path));
    }
    EXPECT_EQ(system.openHandles, expectedOpen);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, OpenStepsTest,
    ::testing::Values(OpenStepCase{"AllOpen", {}, VANTU_OK, {kDevice, kWritePipe, kReadPipe},
                                   {kDevice, kWritePipe, kReadPipe}},
                      OpenStepCase{"DeviceRefused", {kDevice}, VANTU_NO_DEVICE, {kDevice}, {}},
                      OpenStepCase{"WritePipeRefused", {kWritePipe}, VANTU_NO_WRITE_PIPE, {kDevice, kWritePipe},
                                   {kDevice}},
                      OpenStepCase{"ReadPipeRefused", {kReadPipe}, VANTU_NO_READ_PIPE,
                                   {kDevice, kWritePipe, kReadPipe}, {kDevice, kWritePipe}}),
    CaseName());

TEST_F(LibraryTest, OpenDeviceWithoutMemberOpensNothing) {
    EXPECT_EQ(library->OpenDevice(1), VANTU_NO_DEVICE);
    EXPECT_EQ(library->OpenDevice(-1), VANTU_NO_DEVICE);
    EXPECT_TRUE(system.opens.empty());
}

TEST_F(LibraryTest, OpenDeviceWithRefusedSetIsNoDevice) {
    system.refuseMemberSet = true;
    EXPECT_EQ(library->OpenDevice(0), VANTU_NO_DEVICE);
    EXPECT_TRUE(system.opens.empty());
}

TEST_F(LibraryTest, OpenDeviceUsesThePlatformSeparator) {
    system.separator = '/';
    OpenAll();
    EXPECT_EQ(system.OpenedPaths(), (std::vector<std::string>{kDevice, kDevice + "/PIPE01", kDevice + "/PIPE00"}));
}

// After a first open that succeeded, a second one fails at one step: each
// handle the second open didn't reach keeps working, each one it reached is
// replaced, and no handle is left behind.
enum class Pipe { First, Second, NotOpen };

struct ReopenCase {
    const char *name;
    std::string unopenable;
    std::int32_t status;
    Pipe writePipe;  // the pipe DeviceWrite goes out on afterwards
    Pipe readPipe;
    std::size_t openHandles;
};

class ReopenTest : public LibraryTest, public ::testing::WithParamInterface<ReopenCase> {};

TEST_P(ReopenTest, KeepsWhatItDidNotReachAndReplacesWhatItDid) {
    OpenAll();
    const Handle firstWrite = system.HandleOf(kWritePipe);
    const Handle firstRead = system.HandleOf(kReadPipe);
    if (!GetParam().unopenable.empty()) {
        system.unopenablePaths.insert(GetParam().unopenable);
    }

    EXPECT_EQ(library->OpenDevice(0), GetParam().status);
    EXPECT_EQ(system.openHandles.size(), GetParam().openHandles);

    const auto expected = [](Pipe pipe, Handle first, Handle second) {
        return pipe == Pipe::First ? first : pipe == Pipe::Second ? second : kInvalidHandle;
    };
    EXPECT_EQ(SendOneByte(), GetParam().writePipe == Pipe::NotOpen ? 0 : 1);
    EXPECT_EQ(ReceiveOneByte(), GetParam().readPipe == Pipe::NotOpen ? 0 : 1);
    EXPECT_EQ(LastWriteHandle(), expected(GetParam().writePipe, firstWrite, system.HandleOf(kWritePipe)));
    EXPECT_EQ(LastReadHandle(), expected(GetParam().readPipe, firstRead, system.HandleOf(kReadPipe)));
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ReopenTest,
    ::testing::Values(ReopenCase{"AllOpenAgain", "", VANTU_OK, Pipe::Second, Pipe::Second, 3},
                      ReopenCase{"DeviceRefused", kDevice, VANTU_NO_DEVICE, Pipe::First, Pipe::First, 2},
                      ReopenCase{"WritePipeRefused", kWritePipe, VANTU_NO_WRITE_PIPE, Pipe::NotOpen, Pipe::First, 2},
                      ReopenCase{"ReadPipeRefused", kReadPipe, VANTU_NO_READ_PIPE, Pipe::Second, Pipe::NotOpen, 2}),
    CaseName());

TEST_F(LibraryTest, RepeatedOpensNeverAccumulateHandles) {
    for (int i = 0; i < 5; ++i) {
        OpenAll();
        EXPECT_EQ(system.openHandles.size(), 3u);
    }
    EXPECT_EQ(system.closes.size(), 12u);
    EXPECT_EQ(SendOneByte(), 1);
    EXPECT_EQ(LastWriteHandle(), system.HandleOf(kWritePipe));
}

TEST_F(LibraryTest, DestroyingTheLibraryClosesEveryHandle) {
    OpenAll();
    library.reset();
    EXPECT_TRUE(system.openHandles.empty());
}

TEST_F(LibraryTest, DevicePathTooLongForPathIsNoDevice) {
    system.members[0] = MemberAt(std::string(256, 'd'));
    EXPECT_EQ(library->OpenDevice(0), VANTU_NO_DEVICE);
    EXPECT_TRUE(system.opens.empty());
}

TEST_F(LibraryTest, PipePathTooLongForPathIsNoWritePipe) {
    system.members[0] = MemberAt(std::string(250, 'd'));
    EXPECT_EQ(library->OpenDevice(0), VANTU_NO_WRITE_PIPE);
    EXPECT_EQ(system.OpenedPaths(), std::vector<std::string>{std::string(250, 'd')});
}

// --- Vantu_CloseDevice ---

TEST_F(LibraryTest, CloseTwiceGivesZeroThenOne) {
    OpenAll();
    const Handle device = system.HandleOf(kDevice);
    EXPECT_EQ(library->CloseDevice(), VANTU_OK);
    EXPECT_EQ(library->CloseDevice(), VANTU_CLOSE_NOT_OPEN);
    EXPECT_EQ(system.closes, std::vector<Handle>{device});
}

TEST_F(LibraryTest, CloseWithNothingOpenIsNotOpen) {
    EXPECT_EQ(library->CloseDevice(), VANTU_CLOSE_NOT_OPEN);
    system.unopenablePaths.insert(kDevice);
    EXPECT_EQ(library->OpenDevice(0), VANTU_NO_DEVICE);
    EXPECT_EQ(library->CloseDevice(), VANTU_CLOSE_NOT_OPEN);
    EXPECT_TRUE(system.closes.empty());
}

TEST_F(LibraryTest, PipesStayUsableAfterClose) {
    OpenAll();
    ASSERT_EQ(library->CloseDevice(), VANTU_OK);
    EXPECT_EQ(SendOneByte(), 1);
    EXPECT_EQ(ReceiveOneByte(), 1);
    EXPECT_EQ(LastWriteHandle(), system.HandleOf(kWritePipe));
    EXPECT_EQ(LastReadHandle(), system.HandleOf(kReadPipe));
}

// --- Vantu_Write and Vantu_Read ---

enum class Direction { Write, Read };

struct TransferCase {
    const char *name;
    Direction direction;
    bool nullBuffer;
    bool nullCount;
    bool openHandle;
    std::uint32_t length;
    bool platformFails;
    std::int32_t status;
    bool reachesPlatform;
};

class TransferTest : public LibraryTest, public ::testing::WithParamInterface<TransferCase> {};

TEST_P(TransferTest, ChecksPointersThenHandleThenLength) {
    const TransferCase &c = GetParam();
    OpenAll();
    system.failWrites = c.platformFails;
    system.failReads = c.platformFails;
    const Handle pipe = !c.openHandle                     ? kInvalidHandle
                        : c.direction == Direction::Write ? system.HandleOf(kWritePipe)
                                                          : system.HandleOf(kReadPipe);
    std::vector<std::uint8_t> bytes(VANTU_MAX_TRANSFER + 1, 0x11);
    std::uint32_t count = 0xDEADBEEF;
    void *buffer = c.nullBuffer ? nullptr : bytes.data();
    std::uint32_t *countPointer = c.nullCount ? nullptr : &count;

    const std::int32_t status = c.direction == Direction::Write
                                    ? library->Write(pipe, buffer, c.length, countPointer)
                                    : library->Read(pipe, buffer, c.length, countPointer);

    EXPECT_EQ(status, c.status);
    const auto &transfers = c.direction == Direction::Write ? system.writes : system.reads;
    ASSERT_EQ(transfers.size(), c.reachesPlatform ? 1u : 0u);
    if (c.reachesPlatform) {
        EXPECT_EQ(transfers[0].handle, pipe);
        EXPECT_EQ(transfers[0].length, c.length);
        EXPECT_EQ(count, c.platformFails ? 0u : c.length);
    } else if (!c.nullCount) {
        EXPECT_EQ(count, 0xDEADBEEFu);
    }
}

constexpr auto W = Direction::Write;
constexpr auto R = Direction::Read;

INSTANTIATE_TEST_SUITE_P(
    Statuses, TransferTest,
    ::testing::Values(
        TransferCase{"WriteOneByte", W, false, false, true, 1, false, VANTU_OK, true},
        TransferCase{"Write8192", W, false, false, true, 8192, false, VANTU_OK, true},
        TransferCase{"Write8193", W, false, false, true, 8193, false, VANTU_BAD_LENGTH, false},
        TransferCase{"WriteLength0", W, false, false, true, 0, false, VANTU_BAD_LENGTH, false},
        TransferCase{"WriteNullBuffer", W, true, false, true, 8, false, VANTU_BAD_POINTER, false},
        TransferCase{"WriteNullCount", W, false, true, true, 8, false, VANTU_BAD_POINTER, false},
        TransferCase{"WriteNotOpen", W, false, false, false, 8, false, VANTU_HANDLE_NOT_OPEN, false},
        TransferCase{"WriteFails", W, false, false, true, 8, true, VANTU_WRITE_FAILED, true},
        TransferCase{"WritePointerBeforeHandleAndLength", W, true, true, false, 0, false, VANTU_BAD_POINTER, false},
        TransferCase{"WriteHandleBeforeLength", W, false, false, false, 0, false, VANTU_HANDLE_NOT_OPEN, false},
        TransferCase{"ReadOneByte", R, false, false, true, 1, false, VANTU_OK, true},
        TransferCase{"Read8192", R, false, false, true, 8192, false, VANTU_OK, true},
        TransferCase{"Read8193", R, false, false, true, 8193, false, VANTU_BAD_LENGTH, false},
        TransferCase{"ReadLength0", R, false, false, true, 0, false, VANTU_BAD_LENGTH, false},
        TransferCase{"ReadNullBuffer", R, true, false, true, 8, false, VANTU_BAD_POINTER, false},
        TransferCase{"ReadNullCount", R, false, true, true, 8, false, VANTU_BAD_POINTER, false},
        TransferCase{"ReadNotOpen", R, false, false, false, 8, false, VANTU_HANDLE_NOT_OPEN, false},
        TransferCase{"ReadFails", R, false, false, true, 8, true, VANTU_READ_FAILED, true},
        TransferCase{"ReadPointerBeforeHandleAndLength", R, true, true, false, 0, false, VANTU_BAD_POINTER, false},
        TransferCase{"ReadHandleBeforeLength", R, false, false, false, 0, false, VANTU_HANDLE_NOT_OPEN, false}),
    CaseName());

TEST_F(LibraryTest, WriteSendsTheCallersBytesAndReadFillsTheCallersBuffer) {
    OpenAll();
    const std::array<std::uint8_t, 4> frame{0x13, 0x01, 0x00, 0xFF};
    std::uint32_t count = 0;
    ASSERT_EQ(library->Write(system.HandleOf(kWritePipe), frame.data(), 4, &count), VANTU_OK);
    EXPECT_EQ(system.writes[0].bytes, std::vector<std::uint8_t>(frame.begin(), frame.end()));

    std::array<std::uint8_t, 6> reply{};
    ASSERT_EQ(library->Read(system.HandleOf(kReadPipe), reply.data(), 4, &count), VANTU_OK);
    EXPECT_EQ(reply, (std::array<std::uint8_t, 6>{0xCC, 0xCC, 0xCC, 0xCC, 0, 0}));
}

struct ReportedCountCase {
    const char *name;
    Direction direction;
    bool platformFails;
    std::uint32_t reported;
    std::int32_t status;
};

class ReportedCountTest : public LibraryTest, public ::testing::WithParamInterface<ReportedCountCase> {};

TEST_P(ReportedCountTest, PassesThePlatformsCountOnWhateverTheOutcome) {
    OpenAll();
    system.failWrites = system.failReads = GetParam().platformFails;
    system.reportedCount = GetParam().reported;
    std::array<std::uint8_t, 64> bytes{};
    std::uint32_t count = 0xDEADBEEF;
    const std::int32_t status = GetParam().direction == Direction::Write
                                    ? library->Write(system.HandleOf(kWritePipe), bytes.data(), 64, &count)
                                    : library->Read(system.HandleOf(kReadPipe), bytes.data(), 64, &count);
    EXPECT_EQ(status, GetParam().status);
    EXPECT_EQ(count, GetParam().reported);
    EXPECT_EQ(system.writes.size() + system.reads.size(), 1u) << "a failed transfer is not repeated";
}

INSTANTIATE_TEST_SUITE_P(Counts, ReportedCountTest,
                         ::testing::Values(ReportedCountCase{"ShortWriteIsSuccess", W, false, 3, VANTU_OK},
                                           ReportedCountCase{"ShortReadIsSuccess", R, false, 3, VANTU_OK},
                                           ReportedCountCase{"FailedWriteReportsItsCount", W, true, 5,
                                                             VANTU_WRITE_FAILED},
                                           ReportedCountCase{"FailedReadReportsItsCount", R, true, 0,
                                                             VANTU_READ_FAILED}),
                         CaseName());

// --- Vantu_DeviceWrite and Vantu_DeviceRead ---

struct DeviceTransferCase {
    const char *name;
    Direction direction;
    bool open;
    std::uint32_t length;
    bool platformFails;
    std::int32_t unused;
    std::int32_t result;
    bool reachesPlatform;
};

class DeviceTransferTest : public LibraryTest, public ::testing::WithParamInterface<DeviceTransferCase> {};

TEST_P(DeviceTransferTest, MapsStatusZeroToOneAndEverythingElseToZero) {
    const DeviceTransferCase &c = GetParam();
    if (c.open) {
        OpenAll();
    }
    system.failWrites = system.failReads = c.platformFails;
    std::vector<std::uint8_t> bytes(VANTU_MAX_TRANSFER + 1, 0x11);
    std::uint32_t count = 0;

    const std::int32_t result = c.direction == Direction::Write
                                    ? library->DeviceWrite(bytes.data(), c.length, &count, c.unused)
                                    : library->DeviceRead(bytes.data(), c.length, &count, c.unused);

    EXPECT_EQ(result, c.result);
    const auto &transfers = c.direction == Direction::Write ? system.writes : system.reads;
    ASSERT_EQ(transfers.size(), c.reachesPlatform ? 1u : 0u);
    if (c.reachesPlatform) {
        EXPECT_EQ(transfers[0].handle,
                  system.HandleOf(c.direction == Direction::Write ? kWritePipe : kReadPipe));
        EXPECT_EQ(transfers[0].length, c.length);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Results, DeviceTransferTest,
    ::testing::Values(
        DeviceTransferCase{"WriteSent", W, true, 4, false, 1000, 1, true},
        DeviceTransferCase{"WriteSentWithUnused0", W, true, 4, false, 0, 1, true},
        DeviceTransferCase{"Write8192", W, true, 8192, false, 1000, 1, true},
        DeviceTransferCase{"Write8193SendsNothing", W, true, 8193, false, 1000, 0, false},
        DeviceTransferCase{"WriteLength0SendsNothing", W, true, 0, false, 0, 0, false},
        DeviceTransferCase{"WriteFailed", W, true, 4, true, 1000, 0, true},
        DeviceTransferCase{"WriteBeforeOpen", W, false, 4, false, 1000, 0, false},
        DeviceTransferCase{"ReadReceived", R, true, 4, false, 1000, 1, true},
        DeviceTransferCase{"ReadReceivedWithUnused0", R, true, 4, false, 0, 1, true},
        DeviceTransferCase{"Read8192", R, true, 8192, false, 1000, 1, true},
        DeviceTransferCase{"Read8193", R, true, 8193, false, 0, 0, false},
        DeviceTransferCase{"ReadFailed", R, true, 4, true, 0, 0, true},
        DeviceTransferCase{"ReadBeforeOpen", R, false, 4, false, 1000, 0, false},
        DeviceTransferCase{"ReadBeforeOpenWithUnused0", R, false, 4, false, 0, 0, false}),
    CaseName());

TEST_F(LibraryTest, DeviceTransfersWithNullPointersAreFailures) {
    OpenAll();
    std::uint8_t byte = 0;
    std::uint32_t count = 0;
    EXPECT_EQ(library->DeviceWrite(nullptr, 1, &count, 1000), 0);
    EXPECT_EQ(library->DeviceWrite(&byte, 1, nullptr, 1000), 0);
    EXPECT_EQ(library->DeviceRead(nullptr, 1, &count, 1000), 0);
    EXPECT_EQ(library->DeviceRead(&byte, 1, nullptr, 1000), 0);
    EXPECT_TRUE(system.writes.empty());
    EXPECT_TRUE(system.reads.empty());
}

// --- IsReadable ---

TEST(IsReadableTest, RefusesNullAndRangesPastTheAddressSpace) {
    const std::uint32_t word = 0;
    EXPECT_TRUE(IsReadable(&word, ReadWidth::Byte));
    EXPECT_TRUE(IsReadable(&word, ReadWidth::Word32));
    EXPECT_FALSE(IsReadable(nullptr, ReadWidth::Byte));
    EXPECT_FALSE(IsReadable(nullptr, ReadWidth::Word32));

    // A word starting at the last address would run past the end.
    EXPECT_FALSE(IsReadable(reinterpret_cast<const void *>(~std::uintptr_t{0}), ReadWidth::Word32));
}

}  // namespace
}  // namespace vantu
