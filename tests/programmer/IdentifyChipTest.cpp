// Identifying the chip through the shipped library against simulated programmers.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QString>
#include <gtest/gtest.h>

#include "CaseName.h"
#include "ChipOperations.h"
#include "FakeChipHost.h"
#include "Simulator.h"

namespace {

const sim::Message kIdentifyFrame = {0x20, 0xFF, 0xFF, 0xFF};

// A chip answering the identify frame with these two id bytes, low byte first.
sim::ChipModel ChipWithId(std::uint8_t low, std::uint8_t high) {
    return {"IdTest", sim::ChipKind::SpiNor, 64 * 1024, 64 * 1024, {0xC2, 0x20, 0x10}, {low, high}};
}

RunState OneProgrammer() {
    RunState state;
    state.DeviceCount = 1;
    return state;
}

struct IdentifyCase {
    const char *name;
    std::uint8_t low, high;
    bool wrongEcho;
    std::uint16_t id;
    const char *line;
};

class IdentifyOutcome : public ::testing::TestWithParam<IdentifyCase> {};

TEST_P(IdentifyOutcome, ReturnsAndLogsWhatTheReplyCarries) {
    const IdentifyCase &c = GetParam();
    const sim::ChipModel chip = ChipWithId(c.low, c.high);
    sim::Simulator simulator(chip);
    std::string error;
    ASSERT_TRUE(simulator.Start(&error)) << error;
    simulator.firmware().SetRecording(true);
    sim::Faults faults;
    faults.wrongEcho = c.wrongEcho;
    simulator.firmware().SetFaults(faults);

    FakeChipHost host;
    EXPECT_EQ(IdentifyChip(host, OneProgrammer()), c.id);
    EXPECT_EQ(host.log, QStringList{QString::fromUtf8(c.line)});
    EXPECT_EQ(simulator.firmware().Received(), std::vector<sim::Message>{kIdentifyFrame});
    EXPECT_EQ(host.gaugeMaximum, std::nullopt);
    EXPECT_EQ(host.pumpedAtPositions, std::vector<int>{});
}

INSTANTIATE_TEST_SUITE_P(Replies, IdentifyOutcome,
                         ::testing::Values(IdentifyCase{"Id1234", 0x34, 0x12, false, 0x1234, "芯片ID是:1234"},
                                           IdentifyCase{"PaddedUpperCase", 0xAB, 0x00, false, 0x00AB, "芯片ID是:00AB"},
                                           IdentifyCase{"IdFFFF", 0xFF, 0xFF, false, 0xFFFF, "芯片ID是:FFFF"},
                                           IdentifyCase{"Id0000", 0x00, 0x00, false, 0, "芯片ID是:0000"},
                                           IdentifyCase{"WrongEcho", 0x34, 0x12, true, 0, "读取芯片ID错误..."}),
                         CaseName());

struct NoDeviceCase {
    const char *name;
    std::int32_t deviceCount;
    bool simulatorStopped;
};

class IdentifyWithoutDevice : public ::testing::TestWithParam<NoDeviceCase> {};

TEST_P(IdentifyWithoutDevice, LogsNotConnectedAndReturnsZero) {
    const sim::ChipModel chip = ChipWithId(0x34, 0x12);
    sim::Simulator simulator(chip);
    std::string error;
    ASSERT_TRUE(simulator.Start(&error)) << error;
    if (GetParam().simulatorStopped) simulator.Stop();

    FakeChipHost host;
    RunState state;
    state.DeviceCount = GetParam().deviceCount;
    EXPECT_EQ(IdentifyChip(host, state), 0);
    EXPECT_EQ(host.log, QStringList{QStringLiteral("未连接到设备...")});
}

// With none counted the index opened is -1, so even a programmer that is present stays unopened.
INSTANTIATE_TEST_SUITE_P(Devices, IdentifyWithoutDevice,
                         ::testing::Values(NoDeviceCase{"NoneCounted", 0, false},
                                           NoDeviceCase{"SimulatorStopped", 1, true}),
                         CaseName());

TEST(IdentifyChip, AsksTheLastProgrammerFound) {
    const sim::ChipModel first = ChipWithId(0x11, 0x11);
    const sim::ChipModel last = ChipWithId(0x22, 0x22);
    sim::ServerOptions firstOptions;
    firstOptions.instance = "kestro-sim-0";
    sim::ServerOptions lastOptions;
    lastOptions.instance = "kestro-sim-1";
    sim::Simulator firstSimulator(first, firstOptions);
    sim::Simulator lastSimulator(last, lastOptions);
    std::string error;
    ASSERT_TRUE(firstSimulator.Start(&error)) << error;
    ASSERT_TRUE(lastSimulator.Start(&error)) << error;

    FakeChipHost host;
    RunState state;
    state.DeviceCount = 2;
    EXPECT_EQ(IdentifyChip(host, state), 0x2222);
}

}  // namespace
