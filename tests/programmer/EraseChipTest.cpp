// Erasing a chip through the shipped library against a simulated programmer.
#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include <QString>
#include <gtest/gtest.h>

#include "CaseName.h"
#include "ChipOperations.h"
#include "CommandLink.h"
#include "FakeChipHost.h"
#include "Simulator.h"
#include "Vantu.h"

namespace {

constexpr std::uint8_t kErased = 0xFF;
constexpr std::uint8_t kFilled = 0xCC;

const QString kErasing = QStringLiteral("正在擦除芯片，请稍等...");
const QString kDone = QStringLiteral("擦除芯片完成...");
const QString kFailed = QStringLiteral("擦除芯片失败...");
const QString kElapsed = QStringLiteral("用时:2秒");
const sim::Message kPrepare{0x14, 0x02, 0xFF, 0xFF};

std::vector<int> OneUpTo(int last) {
    std::vector<int> numbers(static_cast<std::size_t>(std::max(last, 0)));
    std::iota(numbers.begin(), numbers.end(), 1);
    return numbers;
}

std::vector<sim::Message> EraseTraffic(int blocks) {
    std::vector<sim::Message> messages{kPrepare};
    for (int block = 1; block <= blocks; ++block) {
        messages.push_back({0x15, static_cast<std::uint8_t>(block - 1), 0xFF, 0xFF});
    }
    return messages;
}

class EraseChipTest : public ::testing::Test {
protected:
    void SetUp() override {
        state_.ChipSelected = 1;
        state_.DeviceCount = 1;
        host_.ticks = {1000, 3500};
    }

    // A programmer holding a filled chip of the given size, erased in blocks
    // of the given size, and the run state set to match.
    void Attach(std::int32_t capacityKB, std::int32_t eraseBlockKB, const sim::Faults &faults = {}) {
        state_.CapacityKB = capacityKB;
        state_.EraseBlockKB = eraseBlockKB;
        chip_ = {"EraseTest", sim::ChipKind::SpiNor, static_cast<std::uint32_t>(capacityKB) * 1024,
                 static_cast<std::uint32_t>(eraseBlockKB) * 1024, {0xC2, 0x20, 0x17}, {0xC2, 0x16}};
        simulator_ = std::make_unique<sim::Simulator>(chip_);
        simulator_->firmware().SetImage(std::vector<std::uint8_t>(chip_.capacity, kFilled));
        simulator_->firmware().SetFaults(faults);
        simulator_->firmware().SetRecording(true);
        std::string error;
        ASSERT_TRUE(simulator_->Start(&error)) << error;
        // The routine's own open replaces these pipes; a refused open leaves them for the echo.
        ASSERT_EQ(Vantu_OpenDevice(0), VANTU_OK);
    }

    bool Erase() { return EraseChip(host_, state_); }

    // Frames that get no reply may still be on their way when the routine
    // returns; an echo round trip behind them makes sure they have arrived.
    std::vector<sim::Message> ReceivedBeforeAnEcho() {
        const sim::Message echo{0x64, 0xFF, 0xFF, 0xFF};
        EXPECT_TRUE(SendCommand(echo[0], echo[1], echo[2], echo[3]));
        std::array<std::uint8_t, 4> reply;
        EXPECT_TRUE(ReadReply(reply));
        std::vector<sim::Message> received = simulator_->firmware().Received();
        EXPECT_EQ(received.back(), echo);
        received.pop_back();
        return received;
    }

    // The chip as it is expected after the erase: the listed blocks (from 1) still filled.
    std::vector<std::uint8_t> ErasedExcept(const std::vector<int> &keptBlocks) const {
        std::vector<std::uint8_t> chip(chip_.capacity, kErased);
        for (int block : keptBlocks) {
            std::fill_n(chip.begin() + static_cast<std::ptrdiff_t>((block - 1) * chip_.eraseBlock), chip_.eraseBlock,
                        kFilled);
        }
        return chip;
    }

    // The firmware keeps a reference to the chip, so it is declared first and outlives the simulator.
    sim::ChipModel chip_{};
    std::unique_ptr<sim::Simulator> simulator_;
    FakeChipHost host_;
    RunState state_;
};

struct FullEraseCase {
    const char *name;
    std::int32_t capacityKB;
    std::int32_t eraseBlockKB;
    int blocks;
};

class FullErase : public EraseChipTest, public ::testing::WithParamInterface<FullEraseCase> {};

TEST_P(FullErase, ErasesEveryBlockInTurn) {
    const FullEraseCase &c = GetParam();
    Attach(c.capacityKB, c.eraseBlockKB);

    EXPECT_TRUE(Erase());
    EXPECT_EQ(simulator_->firmware().Received(), EraseTraffic(c.blocks));
    EXPECT_EQ(simulator_->firmware().Image(), ErasedExcept({}));
    EXPECT_EQ(host_.log, (QStringList{kErasing, kDone, kElapsed}));
    EXPECT_EQ(host_.gaugeMaximum, c.blocks);
    EXPECT_EQ(host_.gaugePositions, OneUpTo(c.blocks));
    // The window is served after every block, the last one included.
    EXPECT_EQ(host_.pumpedAtPositions, OneUpTo(c.blocks));
}

INSTANTIATE_TEST_SUITE_P(Sizes, FullErase,
                         ::testing::Values(FullEraseCase{"EightMiBIn64KiBBlocks", 8192, 64, 128},
                                           FullEraseCase{"TheMost256Blocks", 1024, 4, 256}),
                         CaseName());

TEST_F(EraseChipTest, ChipBelowOneBlockPreparesButFails) {
    Attach(64, 64);
    state_.CapacityKB = 1;

    EXPECT_FALSE(Erase());
    EXPECT_EQ(ReceivedBeforeAnEcho(), EraseTraffic(0));
    EXPECT_EQ(simulator_->firmware().Image(), ErasedExcept({1}));
    EXPECT_EQ(host_.log, (QStringList{kErasing, kFailed, kElapsed}));
    EXPECT_EQ(host_.gaugeMaximum, 0);
}

struct TooManyBlocksCase {
    const char *name;
    std::int32_t capacityKB;
    std::int32_t eraseBlockKB;
};

class TooManyBlocks : public EraseChipTest, public ::testing::WithParamInterface<TooManyBlocksCase> {};

// One byte of block index cannot reach past block 256, so nothing is erased.
TEST_P(TooManyBlocks, SendsNothingAndFails) {
    const TooManyBlocksCase &c = GetParam();
    Attach(1024, 4);
    state_.CapacityKB = c.capacityKB;
    state_.EraseBlockKB = c.eraseBlockKB;

    EXPECT_FALSE(Erase());
    EXPECT_EQ(ReceivedBeforeAnEcho(), std::vector<sim::Message>{});
    EXPECT_EQ(simulator_->firmware().Image(), std::vector<std::uint8_t>(chip_.capacity, kFilled));
    EXPECT_EQ(host_.log, (QStringList{QStringLiteral("擦除块数超过256，无法擦除..."), kFailed, kElapsed}));
    EXPECT_EQ(host_.gaugeMaximum, std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Counts, TooManyBlocks,
                         ::testing::Values(TooManyBlocksCase{"SixteenMiBIn32KiBBlocks", 16384, 32},
                                           TooManyBlocksCase{"OneBlockTooMany", 257 * 64, 64}),
                         CaseName());

sim::Faults FailEraseBlock(std::uint32_t block) {
    sim::Faults faults;
    faults.failEraseBlock = block;
    return faults;
}

sim::Faults DropAtBlock(std::uint32_t block) {
    sim::Faults faults;
    faults.dropAtUnit = block;
    return faults;
}

struct BlockFailureCase {
    const char *name;
    sim::Faults faults;
    bool result;
    std::vector<int> blocksDone;
    std::vector<int> blocksKept;
};

class BlockFailure : public EraseChipTest, public ::testing::WithParamInterface<BlockFailureCase> {};

// Every block is attempted whatever happened before; only the last reply read decides.
TEST_P(BlockFailure, GoesOnToTheLastBlock) {
    const BlockFailureCase &c = GetParam();
    Attach(32, 4, c.faults);

    EXPECT_EQ(Erase(), c.result);
    EXPECT_EQ(simulator_->firmware().Image(), ErasedExcept(c.blocksKept));
    EXPECT_EQ(host_.log, (QStringList{kErasing, c.result ? kDone : kFailed, kElapsed}));
    EXPECT_EQ(host_.gaugePositions, c.blocksDone);
    EXPECT_EQ(host_.pumpedAtPositions.size(), 8U);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, BlockFailure,
    ::testing::Values(BlockFailureCase{"MiddleBlockThenRecovers", FailEraseBlock(3), true, {1, 2, 4, 5, 6, 7, 8}, {3}},
                      BlockFailureCase{"LastBlock", FailEraseBlock(8), false, {1, 2, 3, 4, 5, 6, 7}, {8}},
                      BlockFailureCase{"DeviceVanishesAtBlock3", DropAtBlock(3), false, {1, 2},
                                       {3, 4, 5, 6, 7, 8}}),
    CaseName());

struct RefusalCase {
    const char *name;
    std::int32_t chipSelected;
    std::int32_t deviceCount;
    const char *line;
};

class EraseRefusal : public EraseChipTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(EraseRefusal, SendsNothingAndLogsNoTime) {
    const RefusalCase &c = GetParam();
    Attach(32, 4);
    state_.ChipSelected = c.chipSelected;
    state_.DeviceCount = c.deviceCount;

    EXPECT_FALSE(Erase());
    EXPECT_EQ(ReceivedBeforeAnEcho(), std::vector<sim::Message>{});
    EXPECT_EQ(host_.log, QStringList{QString::fromUtf8(c.line)});
    EXPECT_EQ(host_.gaugeMaximum, std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Refusals, EraseRefusal,
                         ::testing::Values(RefusalCase{"NoChipSelected", 0, 1, "请选择芯片型号..."},
                                           RefusalCase{"NoDevice", 1, 0, "未连接到设备..."}),
                         CaseName());

}  // namespace
