// The table CRC-8 of the pin-mode frames, the three frames and what counts
// as the programmer's acceptance, and the exchange against a simulator.
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include <QString>
#include <gtest/gtest.h>

#include "CaseName.h"
#include "ConnectedProgrammer.h"
#include "Crc8Unt.h"
#include "FakeChipHost.h"
#include "PinModes.h"

namespace {

std::uint8_t CrcOfText(const char *text) {
    return Crc8TableCalc(reinterpret_cast<const std::uint8_t *>(text), static_cast<std::int32_t>(std::strlen(text)));
}

// Polynomial 0xFF, most significant bit first, worked bit by bit.
std::uint8_t BitwiseCrcOfByte(std::uint8_t byte) {
    std::uint8_t crc = byte;
    for (int bit = 0; bit < 8; ++bit) crc = static_cast<std::uint8_t>((crc & 0x80) ? (crc << 1) ^ 0xFF : crc << 1);
    return crc;
}

TEST(Crc8Table, EveryEntryIsTheCrcOfItsByte) {
    for (int byte = 0; byte < 256; ++byte) {
        EXPECT_EQ(Crc8Table[static_cast<std::size_t>(byte)], BitwiseCrcOfByte(static_cast<std::uint8_t>(byte)))
            << "entry " << byte;
    }
}

TEST(Crc8TableCalc, CheckValuesAndCounts) {
    EXPECT_EQ(CrcOfText("123456789"), 0x7F);
    EXPECT_EQ(CrcOfText("abc"), 0x65);
    const std::uint8_t data[] = {0x31, 0x32};
    EXPECT_EQ(Crc8TableCalc(data, 0), 0);
    EXPECT_EQ(Crc8TableCalc(data, -1), 0);
    EXPECT_EQ(Crc8TableCalc(data, 1), Crc8Table[0x31]);
    EXPECT_TRUE(Crc8TableCheck(reinterpret_cast<const std::uint8_t *>("abc"), 3, 0x65));
    EXPECT_FALSE(Crc8TableCheck(reinterpret_cast<const std::uint8_t *>("abc"), 3, 0x66));
}

struct FrameCase {
    const char *name;
    PinMode mode;
    PinModeFrame frame;
};

class PinModeFrames : public ::testing::TestWithParam<FrameCase> {};

TEST_P(PinModeFrames, CarryTheModeAndTheCrcOfTheirFirstSevenBytes) {
    EXPECT_EQ(BuildPinModeFrame(GetParam().mode), GetParam().frame);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, PinModeFrames,
    ::testing::Values(FrameCase{"MX25L", PinMode::MX25L, {0xFE, 0x18, 0x20, 0xC2, 0x00, 0x00, 0x00, 0x8B}},
                      FrameCase{"Smbus24CX", PinMode::Smbus24CX, {0xFE, 0x24, 0x24, 0x24, 0x00, 0x04, 0x00, 0x1B}},
                      FrameCase{"Io24CX", PinMode::Io24CX, {0xFE, 0x24, 0x00, 0x00, 0x00, 0x04, 0x00, 0xD8}}),
    CaseName());

struct ReplyCase {
    const char *name;
    PinMode mode;
    PinModeFrame buffer;
    bool accepted;
};

class PinModeReplies : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(PinModeReplies, AreCheckedAtTheirFixedPositions) {
    EXPECT_EQ(PinModeReplyAccepted(GetParam().mode, GetParam().buffer), GetParam().accepted);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, PinModeReplies,
    ::testing::Values(
        ReplyCase{"MX25LAccepted", PinMode::MX25L, {0xFE, 0, 0, 0, 0x18, 0x20, 0xC2, 0x00}, true},
        ReplyCase{"MX25LUnchangedEcho", PinMode::MX25L, {0xFE, 0x18, 0x20, 0xC2, 0x00, 0x00, 0x00, 0x8B}, false},
        ReplyCase{"MX25LWrongCommand", PinMode::MX25L, {0xFD, 0, 0, 0, 0x18, 0x20, 0xC2, 0x00}, false},
        ReplyCase{"SmbusAccepted", PinMode::Smbus24CX, {0xFE, 0, 0, 0x24, 0x24, 0x24, 0x00, 0x76}, true},
        ReplyCase{"SmbusUnchangedEcho", PinMode::Smbus24CX, {0xFE, 0x24, 0x24, 0x24, 0x00, 0x04, 0x00, 0x1B}, false},
        ReplyCase{"IoAcceptedWithItsCrc", PinMode::Io24CX, {0xFE, 0, 0, 0x24, 0, 0, 0, 0x84}, true},
        ReplyCase{"IoOtherBytesWithTheirCrc", PinMode::Io24CX, {0xFE, 0x11, 0x22, 0x24, 0, 0, 0, 0x2D}, true},
        ReplyCase{"IoWrongCrc", PinMode::Io24CX, {0xFE, 0, 0, 0x24, 0, 0, 0, 0x85}, false},
        ReplyCase{"IoUnchangedEcho", PinMode::Io24CX, {0xFE, 0x24, 0x00, 0x00, 0x00, 0x04, 0x00, 0xD8}, false}),
    CaseName());

struct ExchangeCase {
    const char *name;
    PinMode mode;
    const char *successLine;
    PinModeFrame reply;
};

class ConfigurePinModeTest : public ConnectedProgrammer, public ::testing::WithParamInterface<ExchangeCase> {
protected:
    FakeChipHost host_;
};

TEST_P(ConfigurePinModeTest, SendsTheFrameAndLogsTheAcceptance) {
    const ExchangeCase &c = GetParam();
    const PinModeOutcome outcome = ConfigurePinMode(host_, c.mode);
    const PinModeFrame frame = BuildPinModeFrame(c.mode);
    EXPECT_EQ(simulator_.firmware().Received(), std::vector<sim::Message>({{frame.begin(), frame.end()}}));
    EXPECT_EQ(outcome.sent, frame);
    EXPECT_EQ(outcome.buffer, c.reply);
    EXPECT_TRUE(outcome.accepted);
    EXPECT_EQ(host_.log, QStringList{QString::fromUtf8(c.successLine)});
}

TEST_P(ConfigurePinModeTest, LogsNothingForAWrongReply) {
    sim::Faults faults;
    faults.wrongEcho = true;
    simulator_.firmware().SetFaults(faults);
    const PinModeOutcome outcome = ConfigurePinMode(host_, GetParam().mode);
    EXPECT_FALSE(outcome.accepted);
    EXPECT_NE(outcome.buffer[0], 0xFE);
    EXPECT_EQ(host_.log, QStringList{});
}

TEST_P(ConfigurePinModeTest, KeepsTheFrameWhenNothingCanBeSent) {
    simulator_.Stop();
    const PinModeOutcome outcome = ConfigurePinMode(host_, GetParam().mode);
    EXPECT_FALSE(outcome.accepted);
    EXPECT_EQ(outcome.buffer, BuildPinModeFrame(GetParam().mode));
    EXPECT_EQ(host_.log, QStringList{});
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ConfigurePinModeTest,
    ::testing::Values(ExchangeCase{"MX25L", PinMode::MX25L, "配置MX25L12845引脚成功!",
                                   {0xFE, 0, 0, 0, 0x18, 0x20, 0xC2, 0x00}},
                      ExchangeCase{"Smbus24CX", PinMode::Smbus24CX, "配置ATMEL 24CXX引脚成功!",
                                   {0xFE, 0, 0, 0x24, 0x24, 0x24, 0x00, 0x76}},
                      ExchangeCase{"Io24CX", PinMode::Io24CX, "测试CRC成功!", {0xFE, 0, 0, 0x24, 0, 0, 0, 0x84}}),
    CaseName());

}  // namespace
