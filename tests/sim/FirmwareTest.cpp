// The simulated firmware at wire level: messages in, reply messages out,
// checked byte by byte against what the host sends and accepts.
#include "Firmware.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "CaseName.h"

namespace sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kKiB = 1024;
constexpr std::size_t kSector = 512;
constexpr std::uint8_t kPattern = 0xCC;

const ChipModel &Chip(std::string_view name) {
    const ChipModel *chip = FindChipModel(name);
    EXPECT_NE(chip, nullptr) << name;
    return chip != nullptr ? *chip : ChipModels().front();
}

// A byte that depends on its address and is never 0x00 or 0xFF, so a read
// from the wrong place, a missing read and an erase all show.
std::uint8_t AddressPattern(std::size_t address) {
    return static_cast<std::uint8_t>(0x11 + (address ^ (address >> 9) ^ (address >> 17)) % 0xEE);
}

Bytes AddressPatternImage(std::uint32_t size, std::size_t from = 0) {
    Bytes image(size);
    for (std::size_t i = 0; i < size; ++i) image[i] = AddressPattern(from + i);
    return image;
}

Bytes Slice(const Bytes &image, std::size_t from, std::size_t count) {
    Bytes part(count);
    for (std::size_t i = 0; i < count; ++i) part[i] = image[(from + i) % image.size()];
    return part;
}

Bytes Frame(std::uint8_t code, std::uint32_t unit, std::uint8_t sectors) {
    return {code, static_cast<std::uint8_t>(unit & 0xFF), static_cast<std::uint8_t>(unit >> 8), sectors};
}

Bytes ApplicationEntryFrame() {
    Bytes frame(64, 0x00);
    frame[0] = 0x04;
    frame[1] = 0x52;
    return frame;
}

bool NoReply(const Replies &replies) {
    return replies.messages.empty() && !replies.endless && !replies.dropDevice;
}

// Failures name the case rather than dumping its bytes.
template <typename Case>
    requires requires(const Case &c) { c.name; }
void PrintTo(const Case &c, std::ostream *out) {
    *out << c.name;
}

class FirmwareTest : public ::testing::Test {
protected:
    explicit FirmwareTest(const ChipModel &chip = Chip("MX25L12845")) : firmware_(chip) {
        firmware_.SetImage(Bytes(chip.capacity, kPattern));
    }

    Replies Send(const Bytes &message) { return firmware_.OnMessage(message); }

    Replies Read(std::uint32_t unit, std::uint8_t sectors = 1) { return Send(Frame(0x13, unit, sectors)); }

    Replies Write(std::uint32_t unit, const Bytes &data) {
        const Replies frameReplies = Send(Frame(0x12, unit, static_cast<std::uint8_t>(data.size() / kSector)));
        EXPECT_TRUE(NoReply(frameReplies));
        return Send(data);
    }

    Replies Erase(std::uint8_t index) { return Send({0x15, index, 0xFF, 0xFF}); }

    // The payload of a read that must succeed, or empty.
    Bytes ReadBack(std::uint32_t unit, std::uint8_t sectors = 1) {
        const Replies replies = Read(unit, sectors);
        if (replies.messages.size() != 2) {
            ADD_FAILURE() << "read of unit " << unit << " gave " << replies.messages.size() << " messages";
            return {};
        }
        return replies.messages[1];
    }

    Firmware firmware_;
};

// --- identification --------------------------------------------------------

struct ChipCase {
    const char *name;
    ChipKind kind;
    std::uint32_t capacity;
    std::uint32_t eraseBlock;
    Bytes id90;
    Bytes jedec;
};

class IdentifyTest : public ::testing::TestWithParam<ChipCase> {};

TEST_P(IdentifyTest, AnswersIdentifyAndBothProbesWithTheChipsIds) {
    const ChipCase &c = GetParam();
    const ChipModel &chip = Chip(c.name);
    EXPECT_EQ(chip.kind, c.kind);
    EXPECT_EQ(chip.capacity, c.capacity);
    EXPECT_EQ(chip.eraseBlock, c.eraseBlock);

    Firmware firmware(chip);
    const Replies identify = firmware.OnMessage({0x20, 0xFF, 0xFF, 0xFF});
    ASSERT_EQ(identify.messages.size(), 1u);
    EXPECT_EQ(identify.messages[0], (Bytes{0x20, c.id90[0], c.id90[1], 0x00}));

    for (const std::uint8_t probe : {0x10, 0x21}) {
        const Replies replies = firmware.OnMessage({probe, 0xFF, 0xFF, 0xFF});
        ASSERT_EQ(replies.messages.size(), 1u);
        EXPECT_EQ(replies.messages[0], (Bytes{probe, c.jedec[0], c.jedec[1], c.jedec[2]})) << int{probe};
    }
}

INSTANTIATE_TEST_SUITE_P(
    ChipModels, IdentifyTest,
    ::testing::Values(
        ChipCase{"MX25L12845", ChipKind::SpiNor, 16384 * kKiB, 64 * kKiB, {0xC2, 0x17}, {0xC2, 0x20, 0x18}},
        ChipCase{"MX25L6445E", ChipKind::SpiNor, 8192 * kKiB, 64 * kKiB, {0xC2, 0x16}, {0xC2, 0x20, 0x17}},
        ChipCase{"MX25L3205D", ChipKind::SpiNor, 4096 * kKiB, 64 * kKiB, {0xC2, 0x15}, {0xC2, 0x20, 0x16}},
        ChipCase{"SST25VF016B", ChipKind::SpiNor, 2048 * kKiB, 64 * kKiB, {0xBF, 0x41}, {0xBF, 0x25, 0x41}},
        ChipCase{"24C64", ChipKind::I2cEeprom, 8 * kKiB, 8 * kKiB, {0xFF, 0xFF}, {0xFF, 0xFF, 0xFF}}),
    [](const auto &info) { return "Chip" + std::string(info.param.name); });

TEST(ChipModelTest, FindsNamesWithoutRegardToCaseAndNothingElse) {
    EXPECT_EQ(FindChipModel("mx25l12845"), FindChipModel("MX25L12845"));
    EXPECT_EQ(FindChipModel("sSt25Vf016b")->name, "SST25VF016B");
    EXPECT_EQ(FindChipModel("24c64")->name, "24C64");
    EXPECT_EQ(FindChipModel("MX25L"), nullptr);
    EXPECT_EQ(FindChipModel("MX25L12845 "), nullptr);
    EXPECT_EQ(FindChipModel(""), nullptr);
}

TEST(FirmwareImageTest, StartsBlankAndSetImageFitsAnyLengthToTheChip) {
    Firmware firmware(Chip("24C64"));
    EXPECT_EQ(firmware.Image(), Bytes(8 * kKiB, 0xFF));

    firmware.SetImage(Bytes(100, kPattern));
    Bytes expected(8 * kKiB, 0xFF);
    std::fill_n(expected.begin(), 100, kPattern);
    EXPECT_EQ(firmware.Image(), expected);

    firmware.SetImage(Bytes(9 * kKiB, kPattern));
    EXPECT_EQ(firmware.Image(), Bytes(8 * kKiB, kPattern));
}

// --- read unit -------------------------------------------------------------

struct ReadCase {
    const char *name;  // of the chip
    std::uint8_t sectors;
    std::uint32_t unit;
    std::size_t address;  // where the payload must come from
};

class ReadUnitTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadUnitTest, SendsHeaderThenThePayloadFromTheUnitsAddress) {
    const ReadCase &c = GetParam();
    const ChipModel &chip = Chip(c.name);
    Firmware firmware(chip);
    const Bytes image = AddressPatternImage(chip.capacity);
    firmware.SetImage(image);

    const Replies replies = firmware.OnMessage(Frame(0x13, c.unit, c.sectors));
    const std::size_t length = kSector * c.sectors;
    ASSERT_EQ(replies.messages.size(), 2u);
    EXPECT_EQ(replies.messages[0], (Bytes{0x13, static_cast<std::uint8_t>(length & 0xFF),
                                          static_cast<std::uint8_t>(length >> 8), 0x00}));
    EXPECT_EQ(replies.messages[1], Slice(image, c.address, length));
    EXPECT_FALSE(replies.endless);
    EXPECT_FALSE(replies.dropDevice);
}

INSTANTIATE_TEST_SUITE_P(Units, ReadUnitTest,
                         ::testing::Values(ReadCase{"MX25L12845", 1, 1, 0},
                                           ReadCase{"MX25L12845", 1, 2, 512},
                                           ReadCase{"MX25L12845", 1, 0x1234, (0x1234 - 1) * 512},
                                           ReadCase{"MX25L12845", 1, 32768, 16 * 1024 * kKiB - 512},
                                           ReadCase{"MX25L12845", 8, 1, 0},
                                           ReadCase{"MX25L12845", 8, 3, 2 * 4096},
                                           ReadCase{"MX25L12845", 8, 4096, 16 * 1024 * kKiB - 4096},
                                           // Address bits above the chip's size are ignored.
                                           ReadCase{"MX25L12845", 1, 32769, 0},
                                           ReadCase{"MX25L12845", 8, 65535, 16 * 1024 * kKiB - 8192},
                                           ReadCase{"24C64", 1, 16, 7680},
                                           ReadCase{"24C64", 1, 17, 0},
                                           ReadCase{"24C64", 8, 3, 0}));

// --- write unit and erase --------------------------------------------------

struct ProgramCase {
    const char *name;  // of the chip
    std::uint8_t programmed;  // 0x0F written over 0xF0
};

class ProgramTest : public ::testing::TestWithParam<ProgramCase> {};

TEST_P(ProgramTest, WritesTheUnitWithTheChipsSemanticsAndLeavesItsNeighbours) {
    const ChipModel &chip = Chip(GetParam().name);
    Firmware firmware(chip);
    for (const std::uint8_t sectors : {1, 8}) {
        const std::size_t length = kSector * sectors;
        SCOPED_TRACE(length);
        firmware.SetImage(Bytes(chip.capacity, 0xF0));
        EXPECT_TRUE(NoReply(firmware.OnMessage(Frame(0x12, 2, sectors))));
        const Replies ack = firmware.OnMessage(Bytes(length, 0x0F));
        ASSERT_EQ(ack.messages.size(), 1u);
        EXPECT_EQ(ack.messages[0], Bytes{0xFF});
        EXPECT_FALSE(ack.endless);

        Bytes expected(chip.capacity, 0xF0);
        std::fill_n(expected.begin() + static_cast<std::ptrdiff_t>(length), length, GetParam().programmed);
        EXPECT_EQ(firmware.Image(), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, ProgramTest,
                         ::testing::Values(ProgramCase{"MX25L3205D", 0x00}, ProgramCase{"24C64", 0x0F}),
                         [](const auto &info) { return "Chip" + std::string(info.param.name); });

TEST_F(FirmwareTest, WrittenDataReadsBackAndAWriteBeyondTheChipWraps) {
    firmware_.SetImage({});
    const Bytes data = AddressPatternImage(kSector, 777);
    Write(3, data);
    EXPECT_EQ(ReadBack(3), data);

    Write(32768 + 4, data);
    EXPECT_EQ(ReadBack(4), data);
}

TEST_F(FirmwareTest, EraseBlanksExactlyTheIndexedBlockAndAcknowledges) {
    const Replies replies = Erase(1);
    ASSERT_EQ(replies.messages.size(), 1u);
    EXPECT_EQ(replies.messages[0], (Bytes{0x15, 0xFF, 0x00, 0x00}));

    Bytes expected(16 * 1024 * kKiB, kPattern);
    std::fill_n(expected.begin() + 64 * kKiB, 64 * kKiB, 0xFF);
    EXPECT_EQ(firmware_.Image(), expected);

    // Erased bytes take new data again: 0xFF & data = data.
    Write(129, Bytes(kSector, 0x5A));
    EXPECT_EQ(ReadBack(129), Bytes(kSector, 0x5A));
}

TEST(FirmwareEraseTest, IndexesBeyondTheChipWrapAndAnEepromEraseBlanksItAll) {
    Firmware flash(Chip("SST25VF016B"));  // 32 blocks
    flash.SetImage(Bytes(2048 * kKiB, kPattern));
    flash.OnMessage({0x15, 32, 0xFF, 0xFF});
    Bytes expected(2048 * kKiB, kPattern);
    std::fill_n(expected.begin(), 64 * kKiB, 0xFF);
    EXPECT_EQ(flash.Image(), expected);

    for (const std::uint8_t index : {0, 5}) {
        Firmware eeprom(Chip("24C64"));
        eeprom.SetImage(Bytes(8 * kKiB, kPattern));
        const Replies replies = eeprom.OnMessage({0x15, index, 0xFF, 0xFF});
        ASSERT_EQ(replies.messages.size(), 1u);
        EXPECT_EQ(replies.messages[0][1], 0xFF);
        EXPECT_EQ(eeprom.Image(), Bytes(8 * kKiB, 0xFF)) << int{index};
    }
}

// --- acknowledgement -------------------------------------------------------

TEST_F(FirmwareTest, AcknowledgementFollowsTheJunkBytes) {
    Faults faults;
    faults.ackJunk = 3;
    firmware_.SetFaults(faults);
    const Replies ack = Write(1, Bytes(kSector, 0x00));
    EXPECT_EQ(ack.messages, (std::vector<Bytes>{{0x00}, {0x00}, {0x00}, {0xFF}}));
    EXPECT_FALSE(ack.endless);
}

TEST_F(FirmwareTest, EndlessJunkNeverAcknowledges) {
    Faults faults;
    faults.ackJunk = 2;
    faults.ackJunkEndless = true;
    firmware_.SetFaults(faults);
    const Replies ack = Write(1, Bytes(kSector, 0x00));
    EXPECT_EQ(ack.messages, (std::vector<Bytes>{{0x00}, {0x00}}));
    EXPECT_EQ(ack.endless, std::optional<std::uint8_t>(0x00));
    EXPECT_EQ(firmware_.Image()[0], 0x00) << "the unit is still written";
}

// --- speed -----------------------------------------------------------------

TEST_F(FirmwareTest, SpeedIsAcceptedOnlyWithItsCheckBytes) {
    for (const std::uint8_t divisor : {0, 5, 255}) {
        const Replies replies = Send({0xFC, divisor, 0x03, static_cast<std::uint8_t>(0xFF - divisor)});
        ASSERT_EQ(replies.messages.size(), 1u) << int{divisor};
        EXPECT_EQ(replies.messages[0], (Bytes{0xFC, divisor}));
    }
    // The divisor in effect is the last accepted one; debug test 2 reports it.
    Send({0xFC, 7, 0x03, 0xF8});
    for (const Bytes &refused : {Bytes{0xFC, 9, 0x03, 0xF7}, Bytes{0xFC, 9, 0x02, 0xF6}, Bytes{0xFC, 9, 0xFC, 0xF6}}) {
        EXPECT_TRUE(NoReply(Send(refused)));
    }
    const Replies debug = Send({0x67, 0xFF, 0xFF, 0xFF});
    ASSERT_EQ(debug.messages.size(), 1u);
    EXPECT_EQ(debug.messages[0][1], 7);
}

// --- pin modes and 8-byte frames ------------------------------------------

struct EightByteCase {
    const char *name;
    Bytes request;
    Bytes reply;
};

class EightByteFrameTest : public FirmwareTest, public ::testing::WithParamInterface<EightByteCase> {};

TEST_P(EightByteFrameTest, RepliesWithTheBytesTheHostAccepts) {
    const Replies replies = Send(GetParam().request);
    ASSERT_EQ(replies.messages.size(), 1u);
    EXPECT_EQ(replies.messages[0], GetParam().reply);
    EXPECT_FALSE(replies.endless);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, EightByteFrameTest,
    ::testing::Values(
        EightByteCase{"PinModeMx25l", {0xFE, 0x18, 0x20, 0xC2, 0x00, 0x00, 0x00, 0x8B},
                      {0xFE, 0x00, 0x00, 0x00, 0x18, 0x20, 0xC2, 0x00}},
        EightByteCase{"PinMode24cxSmbus", {0xFE, 0x24, 0x24, 0x24, 0x00, 0x04, 0x00, 0x1B},
                      {0xFE, 0x00, 0x00, 0x24, 0x24, 0x24, 0x00, 0x76}},
        EightByteCase{"PinMode24cxIo", {0xFE, 0x24, 0x00, 0x00, 0x00, 0x04, 0x00, 0xD8},
                      {0xFE, 0x00, 0x00, 0x24, 0x00, 0x00, 0x00, 0x84}},
        // Echoes come back unchanged, which the host rejects.
        EightByteCase{"PinModeBadCrc", {0xFE, 0x18, 0x20, 0xC2, 0x00, 0x00, 0x00, 0x8C},
                      {0xFE, 0x18, 0x20, 0xC2, 0x00, 0x00, 0x00, 0x8C}},
        EightByteCase{"PinModeUnknownMode", {0xFE, 0x11, 0x22, 0x33, 0x44, 0x00, 0x00, 0x3B},
                      {0xFE, 0x11, 0x22, 0x33, 0x44, 0x00, 0x00, 0x3B}},
        EightByteCase{"PinModeUnknownParameter", {0xFE, 0x18, 0x20, 0xC2, 0x00, 0x01, 0x00, 0x0B},
                      {0xFE, 0x18, 0x20, 0xC2, 0x00, 0x01, 0x00, 0x0B}},
        EightByteCase{"PinTest", {0x88, 0x83, 0x00, 0x00, 0x00, 0x00, 0x00, 0x55},
                      {0x88, 0x83, 0x00, 0x00, 0x00, 0x00, 0x00, 0x55}},
        EightByteCase{"SelfTestState", {0x88, 0xC1, 0x12, 0x34, 0x56, 0x78, 0x9A, 0x3D},
                      {0x88, 0xC1, 0x12, 0x34, 0x56, 0x78, 0x9A, 0x3D}},
        EightByteCase{"SpiClockPinTest", {0xFD, 0x18, 0x20, 0xC2, 0x00, 0xFF, 0xFF, 0xFF},
                      {0xFD, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}}),
    CaseName());

// --- service frames --------------------------------------------------------

struct ServiceCase {
    const char *name;
    Bytes request;
    std::vector<Bytes> replies;
};

class ServiceFrameTest : public FirmwareTest, public ::testing::WithParamInterface<ServiceCase> {};

TEST_P(ServiceFrameTest, GetsItsRepliesAndLeavesTheChipAlone) {
    const Replies replies = Send(GetParam().request);
    EXPECT_EQ(replies.messages, GetParam().replies);
    EXPECT_FALSE(replies.endless);
    EXPECT_FALSE(replies.dropDevice);
    EXPECT_EQ(firmware_.Image(), Bytes(16 * 1024 * kKiB, kPattern));
}

INSTANTIATE_TEST_SUITE_P(Frames, ServiceFrameTest,
                         ::testing::Values(ServiceCase{"Echo", {0x64, 0xFF, 0xFF, 0xFF}, {{0x64, 0x0B, 0x16, 0x21}}},
                                           ServiceCase{"Latch", {0x66, 0xFF, 0xFF, 0xFF}, {{0x66, 0x00, 0x00, 0x00}}},
                                           ServiceCase{"Prepare", {0x14, 0x02, 0xFF, 0xFF}, {}},
                                           ServiceCase{"BootLoader2", {0xBC, 0xFF, 0xFF, 0xFF}, {}},
                                           ServiceCase{"BootLoader1", {0xBD, 0xFF, 0xFF, 0xFF}, {}},
                                           ServiceCase{"ApplicationEntry", ApplicationEntryFrame(), {}}),
                         CaseName());

// Debug test 1 shows the socket state, debug test 2 the link settings.
TEST_F(FirmwareTest, DebugTestsReportTheStateTheDeviceHolds) {
    Send({0x88, 0xC1, 0x12, 0x34, 0x56, 0x78, 0x9A, 0x55});
    Send({0xFC, 0x09, 0x03, 0xF6});
    Send({0xFE, 0x24, 0x24, 0x24, 0x00, 0x04, 0x00, 0x1B});

    EXPECT_EQ(Send({0x65, 0xFF, 0xFF, 0xFF}).messages,
              (std::vector<Bytes>{{0x65, 0xC1, 0x12, 0x34, 0x56, 0x78, 0x9A, 0x10}}));
    EXPECT_EQ(Send({0x67, 0xFF, 0xFF, 0xFF}).messages,
              (std::vector<Bytes>{{0x67, 0x09, 0x02, 0x00, 0x40, 0xC2, 0x20, 0x18}}));
}

TEST_F(FirmwareTest, ADroppedDeviceComesBackFromPowerUpWithItsChip) {
    Send({0x88, 0xC1, 0x12, 0x34, 0x56, 0x78, 0x9A, 0x55});
    Send({0xFC, 0x09, 0x03, 0xF6});
    Send({0xFE, 0x18, 0x20, 0xC2, 0x00, 0x00, 0x00, 0x8B});
    Faults faults;
    faults.dropAtUnit = 1;
    firmware_.SetFaults(faults);
    ASSERT_TRUE(Read(1).dropDevice);
    firmware_.SetFaults({});

    EXPECT_EQ(Send({0x65, 0xFF, 0xFF, 0xFF}).messages[0], (Bytes{0x65, 0, 0, 0, 0, 0, 0, 0x10}));
    EXPECT_EQ(Send({0x67, 0xFF, 0xFF, 0xFF}).messages[0], (Bytes{0x67, 0x00, 0x00, 0x00, 0x40, 0xC2, 0x20, 0x18}));
    EXPECT_EQ(ReadBack(1), Bytes(kSector, kPattern));
}

TEST_F(FirmwareTest, TheDeviceStaysAfterABootLoaderFrame) {
    Send({0xBD, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(Send({0x64, 0xFF, 0xFF, 0xFF}).messages.size(), 1u);
}

// --- refused frames --------------------------------------------------------

struct RefusedCase {
    const char *name;
    std::vector<Bytes> messages;  // all but the last may be accepted
    const char *reason;           // in the last frame-log line
};

class RefusedFrameTest : public FirmwareTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedFrameTest, GetsNoReplyChangesNothingAndIsLogged) {
    firmware_.SetFrameLog(true);
    Replies last;
    for (const Bytes &message : GetParam().messages) last = Send(message);
    EXPECT_TRUE(NoReply(last));
    EXPECT_EQ(firmware_.Image(), Bytes(16 * 1024 * kKiB, kPattern));
    const std::vector<std::string> log = firmware_.TakeFrameLog();
    ASSERT_EQ(log.size(), GetParam().messages.size());
    EXPECT_NE(log.back().find(std::string("refused: ") + GetParam().reason), std::string::npos) << log.back();

    // The firmware is still in step: the next frame gets its normal reply.
    EXPECT_EQ(Send({0x64, 0xFF, 0xFF, 0xFF}).messages, (std::vector<Bytes>{{0x64, 0x0B, 0x16, 0x21}}));
}

Bytes ApplicationEntryWithData() {
    Bytes frame = ApplicationEntryFrame();
    frame[63] = 1;
    return frame;
}

INSTANTIATE_TEST_SUITE_P(
    Frames, RefusedFrameTest,
    ::testing::Values(
        RefusedCase{"ReadUnit0", {Frame(0x13, 0, 1)}, "unit 0"},
        RefusedCase{"ReadThreeSectors", {Frame(0x13, 1, 3)}, "3 sectors"},
        RefusedCase{"ReadByte3Zero", {Frame(0x13, 1, 0)}, "byte 3 is 0"},
        RefusedCase{"WriteUnit0ThenData", {Frame(0x12, 0, 1), Bytes(kSector, 0x00)}, "512-byte message"},
        RefusedCase{"WriteTwoSectorsThenData", {Frame(0x12, 1, 2), Bytes(2 * kSector, 0x00)}, "1024-byte message"},
        RefusedCase{"DataUnitTooShort", {Frame(0x12, 1, 1), Bytes(kSector - 1, 0x00)}, "512 bytes expected"},
        RefusedCase{"DataUnitTooLong", {Frame(0x12, 1, 1), Bytes(kSector + 1, 0x00)}, "512 bytes expected"},
        RefusedCase{"EightSectorUnitGivenOneSector", {Frame(0x12, 1, 8), Bytes(kSector, 0x00)}, "4096 bytes expected"},
        // A host that forgets the data: its next frame is taken as the data unit.
        RefusedCase{"FrameInsteadOfData", {Frame(0x12, 1, 1), {0x20, 0xFF, 0xFF, 0xFF}}, "512 bytes expected"},
        RefusedCase{"DataAfterARefusedUnit", {Frame(0x12, 1, 1), Bytes(4, 0x00), Bytes(kSector, 0x00)},
                    "512-byte message"},
        RefusedCase{"DataWithoutWriteFrame", {Bytes(kSector, 0x00)}, "512-byte message"},
        RefusedCase{"IdentifyByte3Zero", {{0x20, 0xFF, 0xFF, 0x00}}, "byte 3 is 0"},
        RefusedCase{"IdentifyWrongParameters", {{0x20, 0x00, 0xFF, 0xFF}}, "parameters"},
        RefusedCase{"EraseWrongParameters", {{0x15, 0x00, 0x00, 0xFF}}, "erase frame"},
        RefusedCase{"PrepareWrongParameter", {{0x14, 0x03, 0xFF, 0xFF}}, "prepare frame"},
        RefusedCase{"UnknownCommand", {{0x33, 0xFF, 0xFF, 0xFF}}, "unknown command 33"},
        RefusedCase{"UnknownEightByteCommand", {{0x77, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
                    "unknown command 77"},
        RefusedCase{"SpiClockTestWrongBytes", {{0xFD, 0x18, 0x20, 0xC2, 0x00, 0xFF, 0xFF, 0x00}}, "SPICLK"},
        RefusedCase{"SpeedWithoutCheckBytes", {{0xFC, 0x00}}, "2-byte message"},
        RefusedCase{"ApplicationEntryWithData", {ApplicationEntryWithData()}, "64-byte message"},
        RefusedCase{"FiveBytes", {{0x20, 0xFF, 0xFF, 0xFF, 0xFF}}, "5-byte message"},
        RefusedCase{"EmptyMessage", {{}}, "empty message"}),
    CaseName());

// --- faults ----------------------------------------------------------------

struct DropCase {
    const char *name;
    Bytes frame;
};

class DropAtUnitTest : public FirmwareTest, public ::testing::WithParamInterface<DropCase> {};

TEST_P(DropAtUnitTest, DeviceVanishesWithoutEffect) {
    Faults faults;
    faults.dropAtUnit = 3;
    firmware_.SetFaults(faults);

    const Replies replies = Send(GetParam().frame);
    EXPECT_TRUE(replies.dropDevice);
    EXPECT_TRUE(replies.messages.empty());
    EXPECT_FALSE(replies.endless);

    // No write is left pending and nothing was erased.
    EXPECT_TRUE(NoReply(Send(Bytes(kSector, 0x00))));
    EXPECT_EQ(firmware_.Image(), Bytes(16 * 1024 * kKiB, kPattern));
}

INSTANTIATE_TEST_SUITE_P(Frames, DropAtUnitTest,
                         ::testing::Values(DropCase{"ReadUnit3", Frame(0x13, 3, 1)},
                                           DropCase{"ReadUnit3Of8Sectors", Frame(0x13, 3, 8)},
                                           DropCase{"WriteUnit3", Frame(0x12, 3, 1)},
                                           DropCase{"EraseBlock3", {0x15, 2, 0xFF, 0xFF}}),
                         CaseName());

TEST_F(FirmwareTest, DropAtUnitSparesTheOtherUnits) {
    Faults faults;
    faults.dropAtUnit = 3;
    firmware_.SetFaults(faults);
    EXPECT_EQ(ReadBack(2), Bytes(kSector, kPattern));
    EXPECT_FALSE(Erase(3).dropDevice);  // block 4
}

TEST_F(FirmwareTest, NoReplyToSuppressesRepliesButNotEffects) {
    Faults faults;
    faults.noReplyTo = 0x12;
    firmware_.SetFaults(faults);
    EXPECT_TRUE(NoReply(Write(1, Bytes(kSector, 0x00))));
    EXPECT_EQ(firmware_.Image()[0], 0x00);

    faults.noReplyTo = 0x15;
    firmware_.SetFaults(faults);
    EXPECT_TRUE(NoReply(Erase(0)));
    EXPECT_EQ(firmware_.Image()[0], 0xFF);

    faults.noReplyTo = 0x13;
    firmware_.SetFaults(faults);
    EXPECT_TRUE(NoReply(Read(1)));

    faults.noReplyTo = 0x20;
    firmware_.SetFaults(faults);
    EXPECT_TRUE(NoReply(Send({0x20, 0xFF, 0xFF, 0xFF})));
    EXPECT_EQ(Send({0x21, 0xFF, 0xFF, 0xFF}).messages.size(), 1u) << "other codes still answer";
}

TEST_F(FirmwareTest, NoReplyToCoversEndlessJunk) {
    Faults faults;
    faults.noReplyTo = 0x12;
    faults.ackJunkEndless = true;
    firmware_.SetFaults(faults);
    EXPECT_TRUE(NoReply(Write(1, Bytes(kSector, 0x00))));
}

TEST_F(FirmwareTest, WrongEchoFlipsTheFirstByteOfFrameRepliesOnly) {
    Faults faults;
    faults.wrongEcho = true;
    firmware_.SetFaults(faults);

    EXPECT_EQ(Send({0x20, 0xFF, 0xFF, 0xFF}).messages[0], (Bytes{0xA0, 0xC2, 0x17, 0x00}));
    EXPECT_EQ(Send({0xFC, 0x01, 0x03, 0xFE}).messages[0], (Bytes{0x7C, 0x01}));
    EXPECT_EQ(Send({0x15, 0x00, 0xFF, 0xFF}).messages[0], (Bytes{0x95, 0xFF, 0x00, 0x00}));
    EXPECT_EQ(Send({0xFE, 0x18, 0x20, 0xC2, 0x00, 0x00, 0x00, 0x8B}).messages[0][0], 0x7E);
    EXPECT_EQ(Send({0x88, 0x83, 0x00, 0x00, 0x00, 0x00, 0x00, 0x55}).messages[0][0], 0x08);

    firmware_.SetImage(AddressPatternImage(16 * 1024 * kKiB));
    const Replies read = Read(1);
    ASSERT_EQ(read.messages.size(), 2u);
    EXPECT_EQ(read.messages[0], (Bytes{0x93, 0x00, 0x02, 0x00}));
    EXPECT_EQ(read.messages[1], AddressPatternImage(kSector)) << "read data is not touched";

    EXPECT_EQ(Write(1, Bytes(kSector, 0x00)).messages, (std::vector<Bytes>{{0xFF}})) << "nor is the acknowledgement";
}

struct HeaderLengthCase {
    std::uint32_t announced;
    std::uint32_t unit;
    std::size_t sent;  // payload bytes that follow
};

class HeaderLengthTest : public FirmwareTest, public ::testing::WithParamInterface<HeaderLengthCase> {};

TEST_P(HeaderLengthTest, HeaderAnnouncesTheFaultLengthAndThatManyBytesFollow) {
    const HeaderLengthCase &c = GetParam();
    const Bytes image = AddressPatternImage(16 * 1024 * kKiB);
    firmware_.SetImage(image);
    Faults faults;
    faults.headerLength = c.announced;
    firmware_.SetFaults(faults);

    const Replies replies = Read(c.unit);
    ASSERT_FALSE(replies.messages.empty());
    EXPECT_EQ(replies.messages[0], (Bytes{0x13, static_cast<std::uint8_t>(c.sent & 0xFF),
                                          static_cast<std::uint8_t>(c.sent >> 8), 0x00}));
    if (c.sent == 0) {
        EXPECT_EQ(replies.messages.size(), 1u);
    } else {
        ASSERT_EQ(replies.messages.size(), 2u);
        EXPECT_EQ(replies.messages[1], Slice(image, (c.unit - 1) * kSector, c.sent));
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, HeaderLengthTest,
                         ::testing::Values(HeaderLengthCase{0, 1, 0}, HeaderLengthCase{100, 2, 100},
                                           HeaderLengthCase{8192, 5, 8192},
                                           HeaderLengthCase{9000, 1, 9000},
                                           // Past the chip's end the payload wraps to its start.
                                           HeaderLengthCase{8192, 32768, 8192},
                                           // The header has 16 bits for the length.
                                           HeaderLengthCase{70000, 1, 0xFFFF}));

TEST_F(FirmwareTest, FailingEraseBlockKeepsItsDataAndReportsFailure) {
    Faults faults;
    faults.failEraseBlock = 2;
    firmware_.SetFaults(faults);

    const Replies failed = Erase(1);
    ASSERT_EQ(failed.messages.size(), 1u);
    EXPECT_EQ(failed.messages[0], (Bytes{0x15, 0x00, 0x00, 0x00}));
    EXPECT_EQ(firmware_.Image(), Bytes(16 * 1024 * kKiB, kPattern));

    EXPECT_EQ(Erase(0).messages[0], (Bytes{0x15, 0xFF, 0x00, 0x00}));
    EXPECT_EQ(firmware_.Image()[0], 0xFF);
}

// --- recording and frame log -----------------------------------------------

TEST_F(FirmwareTest, RecordsEveryMessageOnlyWhileRecording) {
    Send({0x64, 0xFF, 0xFF, 0xFF});
    EXPECT_TRUE(firmware_.Received().empty());

    firmware_.SetRecording(true);
    const Bytes data(kSector, 0x42);
    Write(1, data);
    Send({0x33});
    EXPECT_EQ(firmware_.Received(), (std::vector<Bytes>{Frame(0x12, 1, 1), data, {0x33}}));

    firmware_.ClearReceived();
    EXPECT_TRUE(firmware_.Received().empty());
}

TEST_F(FirmwareTest, FrameLogHasOneLinePerMessage) {
    Send({0x64, 0xFF, 0xFF, 0xFF});
    EXPECT_TRUE(firmware_.TakeFrameLog().empty()) << "off by default";

    firmware_.SetFrameLog(true);
    Read(1);
    Write(1, Bytes(kSector, 0x00));
    Read(0);
    Send(ApplicationEntryFrame());
    const std::vector<std::string> log = firmware_.TakeFrameLog();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[0], "<- 13 01 00 01");
    EXPECT_EQ(log[1], "<- 12 01 00 01");
    EXPECT_EQ(log[2], "<- data unit 1 (512 bytes)");
    EXPECT_EQ(log[3], "<- 13 00 00 01 refused: unit 0");
    EXPECT_EQ(log[4].rfind("<- 04 52 00 00 00 00 00 00 ... (64 bytes)", 0), 0u) << log[4];
    EXPECT_TRUE(firmware_.TakeFrameLog().empty()) << "taking empties the log";
}

TEST_F(FirmwareTest, FrameLogNamesInjectedFaults) {
    Faults faults;
    faults.dropAtUnit = 2;
    faults.noReplyTo = 0x64;
    faults.failEraseBlock = 1;
    firmware_.SetFaults(faults);
    firmware_.SetFrameLog(true);
    Read(2);
    Send({0x64, 0xFF, 0xFF, 0xFF});
    Erase(0);
    for (const std::string &line : firmware_.TakeFrameLog()) {
        EXPECT_NE(line.find("(fault)"), std::string::npos) << line;
    }
}

}  // namespace
}  // namespace sim
