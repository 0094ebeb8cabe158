// The command frame on the wire, the reply read and the shared arithmetic of
// the chip routines.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <QString>
#include <gtest/gtest.h>

#include "CaseName.h"
#include "ChipOperations.h"
#include "CommandLink.h"
#include "ConnectedProgrammer.h"
#include "FakeChipHost.h"
#include "Simulator.h"
#include "Vantu.h"

namespace {

using CommandLink = ConnectedProgrammer;

struct FrameCase {
    const char *name;
    std::uint8_t code, p1, p2, p3;
    sim::Message wire;
};

class SendCommandWire : public CommandLink, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(SendCommandWire, WritesOneFrameWithALastByteOfZeroSentAsFF) {
    const FrameCase &c = GetParam();
    ASSERT_TRUE(SendCommand(c.code, c.p1, c.p2, c.p3));
    // The firmware answers each of these frames; its reply shows the frame has arrived.
    std::array<std::uint8_t, 4> reply;
    ASSERT_TRUE(ReadReply(reply));
    EXPECT_EQ(simulator_.firmware().Received(), std::vector<sim::Message>{c.wire});
}

INSTANTIATE_TEST_SUITE_P(
    Frames, SendCommandWire,
    ::testing::Values(FrameCase{"EraseBlock", 0x15, 0x03, 0xFF, 0x00, {0x15, 0x03, 0xFF, 0xFF}},
                      FrameCase{"ReadUnit", 0x13, 0x34, 0x12, 0x01, {0x13, 0x34, 0x12, 0x01}},
                      FrameCase{"ReadUnitOfEightSectors", 0x13, 0x01, 0x00, 0x08, {0x13, 0x01, 0x00, 0x08}},
                      FrameCase{"Identify", 0x20, 0xFF, 0xFF, 0x00, {0x20, 0xFF, 0xFF, 0xFF}}),
    CaseName());

TEST_F(CommandLink, SendCommandFailsOnceTheDeviceIsGone) {
    simulator_.Stop();
    EXPECT_FALSE(SendCommand(0x20, 0xFF, 0xFF, 0));
}

TEST_F(CommandLink, ReadReplyZeroesWhatAShortReplyLeavesOut) {
    // The speed frame is answered with two bytes: FC and the divisor.
    ASSERT_TRUE(SendCommand(0xFC, 0x10, 0x03, 0xEF));
    std::array<std::uint8_t, 8> reply;
    reply.fill(0x5A);
    ASSERT_TRUE(ReadReply(reply));
    EXPECT_EQ(reply, (std::array<std::uint8_t, 8>{0xFC, 0x10, 0, 0, 0, 0, 0, 0}));
}

TEST_F(CommandLink, OpenProgrammerOpensTheLastOneFoundOrLogsTheFailure) {
    FakeChipHost host;
    RunState state;
    state.DeviceCount = 1;
    EXPECT_TRUE(OpenProgrammer(host, state));
    EXPECT_EQ(host.log, QStringList{});

    state.DeviceCount = 0;
    EXPECT_FALSE(OpenProgrammer(host, state));
    EXPECT_EQ(host.log, QStringList{QStringLiteral("未连接到设备...")});
}

struct UnitCase {
    const char *name;
    std::uint8_t largeTransfer;
    int sectors;
    int unitBytes;
};

class TransferUnitSize : public ::testing::TestWithParam<UnitCase> {};

TEST_P(TransferUnitSize, FollowsLargeTransfer) {
    RunState state;
    state.LargeTransfer = GetParam().largeTransfer;
    EXPECT_EQ(SectorsPerTransfer(state), GetParam().sectors);
    EXPECT_EQ(TransferUnit(state), GetParam().unitBytes);
}

INSTANTIATE_TEST_SUITE_P(LargeTransfer, TransferUnitSize,
                         ::testing::Values(UnitCase{"Off", 0, 1, 512}, UnitCase{"On", 1, 8, 4096},
                                           UnitCase{"AnyNonzero", 0x80, 8, 4096}),
                         CaseName());

struct ElapsedCase {
    const char *name;
    std::uint32_t start, end;
    const char *line;
};

class ElapsedTime : public ::testing::TestWithParam<ElapsedCase> {};

TEST_P(ElapsedTime, CountsWholeSecondsOfTheUnsignedTickDifference) {
    EXPECT_EQ(ElapsedTimeLine(GetParam().start, GetParam().end), QString::fromUtf8(GetParam().line));
}

INSTANTIATE_TEST_SUITE_P(Ticks, ElapsedTime,
                         ::testing::Values(ElapsedCase{"NoTime", 7000, 7000, "用时:0秒"},
                                           ElapsedCase{"JustUnderASecond", 7000, 7999, "用时:0秒"},
                                           ElapsedCase{"TruncatedNotRounded", 5000, 17999, "用时:12秒"},
                                           ElapsedCase{"AcrossTheWrap", 0xFFFFF000, 0x00001000, "用时:8秒"},
                                           ElapsedCase{"LongestSpan", 0, 0xFFFFFFFF, "用时:4294967秒"}),
                         CaseName());

}  // namespace
