// Reading a chip through the shipped library against a simulated programmer.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include <QBuffer>
#include <QByteArray>
#include <QString>
#include <gtest/gtest.h>

#include "CaseName.h"
#include "ChipOperations.h"
#include "FakeChipHost.h"
#include "Simulator.h"

namespace {

constexpr int kSector = 512;

const QString kReading = QStringLiteral("正在读取数据，请稍等...");
const QString kDone = QStringLiteral("读取数据已完成...");

// Bytes 0x01..0xFE that differ between neighbouring units, so a missing,
// repeated or misplaced unit shows.
std::vector<std::uint8_t> Pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(1 + (i * 31 + i / kSector) % 0xFE);
    return bytes;
}

QByteArray Bytes(const std::vector<std::uint8_t> &bytes, std::size_t from = 0, std::size_t count = SIZE_MAX) {
    count = std::min(count, bytes.size() - from);
    return QByteArray(reinterpret_cast<const char *>(bytes.data() + from), static_cast<qsizetype>(count));
}

std::vector<int> OneUpTo(int last) {
    std::vector<int> numbers(static_cast<std::size_t>(std::max(last, 0)));
    std::iota(numbers.begin(), numbers.end(), 1);
    return numbers;
}

std::vector<sim::Message> ReadFrames(int units, std::uint8_t sectors) {
    std::vector<sim::Message> frames;
    for (int unit : OneUpTo(units)) {
        frames.push_back({0x13, static_cast<std::uint8_t>(unit), static_cast<std::uint8_t>(unit >> 8), sectors});
    }
    return frames;
}

sim::Faults HeaderLength(std::uint32_t length) {
    sim::Faults faults;
    faults.headerLength = length;
    return faults;
}

sim::Faults DropAtUnit(std::uint32_t unit) {
    sim::Faults faults;
    faults.dropAtUnit = unit;
    return faults;
}

class ReadChipTest : public ::testing::Test {
protected:
    void SetUp() override {
        state_.ChipSelected = 1;
        state_.DeviceCount = 1;
        state_.LargeTransfer = 0;
        state_.FirstBlock = 1;
        host_.ticks = {1000, 3500};
        ASSERT_TRUE(stream_.open(QIODevice::ReadWrite));
    }

    // A programmer holding a patterned chip of exactly the capacity read.
    void Attach(std::int32_t capacityKB, const sim::Faults &faults = {}) {
        state_.CapacityKB = capacityKB;
        chip_ = {"ReadTest", sim::ChipKind::SpiNor, static_cast<std::uint32_t>(capacityKB) * 1024, 64 * 1024,
                 {0xC2, 0x20, 0x17}, {0xC2, 0x16}};
        simulator_ = std::make_unique<sim::Simulator>(chip_);
        image_ = Pattern(chip_.capacity);
        simulator_->firmware().SetImage(image_);
        simulator_->firmware().SetFaults(faults);
        simulator_->firmware().SetRecording(true);
        std::string error;
        ASSERT_TRUE(simulator_->Start(&error)) << error;
    }

    bool Read() { return ReadChip(host_, state_, stream_); }

    // The firmware keeps a reference to the chip, so it is declared first and outlives the simulator.
    sim::ChipModel chip_{};
    std::unique_ptr<sim::Simulator> simulator_;
    std::vector<std::uint8_t> image_;
    FakeChipHost host_;
    RunState state_;
    QBuffer stream_;
};

struct FullReadCase {
    const char *name;
    std::int32_t capacityKB;
    std::uint8_t largeTransfer;
    std::uint8_t sectors;
    int units;
};

class FullRead : public ReadChipTest, public ::testing::WithParamInterface<FullReadCase> {};

TEST_P(FullRead, CopiesTheWholeChipUnitByUnit) {
    const FullReadCase &c = GetParam();
    Attach(c.capacityKB);
    state_.LargeTransfer = c.largeTransfer;

    EXPECT_TRUE(Read());
    EXPECT_EQ(simulator_->firmware().Received(), ReadFrames(c.units, c.sectors));
    EXPECT_EQ(stream_.data().size(), static_cast<qsizetype>(image_.size()));
    EXPECT_EQ(stream_.data(), Bytes(image_));
    EXPECT_EQ(host_.log, (QStringList{kReading, kDone, QStringLiteral("用时:2秒")}));
    EXPECT_EQ(host_.gaugeMaximum, c.units);
    EXPECT_EQ(host_.gaugePositions, OneUpTo(c.units));
    // The window stays live between units, but the read ends without another pass.
    EXPECT_EQ(host_.pumpedAtPositions, OneUpTo(c.units - 1));
}

INSTANTIATE_TEST_SUITE_P(Sizes, FullRead,
                         ::testing::Values(FullReadCase{"EightMiBInSectors", 8192, 0, 1, 16384},
                                           FullReadCase{"EightMiBInLargeTransfers", 8192, 1, 8, 2048},
                                           FullReadCase{"OneKiB", 1, 0, 1, 2}),
                         CaseName());

TEST_F(ReadChipTest, AppendsWhateverLengthTheHeaderAnnounces) {
    Attach(4, HeaderLength(300));

    EXPECT_TRUE(Read());
    QByteArray expected;
    for (int unit = 0; unit < 8; ++unit) expected += Bytes(image_, static_cast<std::size_t>(unit) * kSector, 300);
    EXPECT_EQ(stream_.data(), expected);
    EXPECT_EQ(host_.log.last(2), (QStringList{kDone, QStringLiteral("用时:2秒")}));
}

TEST_F(ReadChipTest, WritesFromTheStartOfTheStream) {
    Attach(1);
    const QByteArray earlier(3000, '\x5A');
    stream_.write(earlier);

    EXPECT_TRUE(Read());
    EXPECT_EQ(stream_.data(), Bytes(image_) + earlier.mid(1024));
}

TEST_F(ReadChipTest, ChipSmallerThanOneUnitReadsNothing) {
    Attach(1);
    state_.LargeTransfer = 1;

    EXPECT_FALSE(Read());
    EXPECT_EQ(simulator_->firmware().Received(), std::vector<sim::Message>{});
    EXPECT_EQ(stream_.data(), QByteArray());
    EXPECT_EQ(host_.log, (QStringList{kReading, QStringLiteral("用时:2秒")}));
    EXPECT_EQ(host_.gaugeMaximum, 0);
}

TEST_F(ReadChipTest, ElapsedLineSpansATickWrap) {
    Attach(1);
    host_.ticks = {0xFFFFF000, 0x00001000};

    EXPECT_TRUE(Read());
    EXPECT_EQ(host_.log.last(), QStringLiteral("用时:8秒"));
}

// The routine refuses before it notes the time, so neither case logs an elapsed line.
TEST_F(ReadChipTest, RefusesWithoutAChipSelected) {
    Attach(1);
    host_.ticks.clear();
    state_.ChipSelected = 0;

    EXPECT_FALSE(Read());
    EXPECT_EQ(host_.log, QStringList{QStringLiteral("请选择芯片型号...")});
    EXPECT_EQ(host_.gaugeMaximum, std::nullopt);
}

TEST_F(ReadChipTest, RefusesWithoutADevice) {
    Attach(1);
    host_.ticks.clear();
    state_.DeviceCount = 0;

    EXPECT_FALSE(Read());
    EXPECT_EQ(host_.log, QStringList{QStringLiteral("未连接到设备...")});
    EXPECT_EQ(host_.gaugeMaximum, std::nullopt);
    EXPECT_EQ(stream_.data(), QByteArray());
}

struct FailureCase {
    const char *name;
    sim::Faults faults;
    int stopAfterUnit;  // the simulator stops in the event-loop pass after this unit (0 = never)
    const char *line;
    int unitsKept;
};

class ReadFailure : public ReadChipTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ReadFailure, KeepsTheUnitsBeforeAndLogsTheFailureThenTheTime) {
    const FailureCase &c = GetParam();
    Attach(8, c.faults);
    host_.onPump = [this, &c] {
        if (host_.pumpedAtPositions.back() == c.stopAfterUnit) simulator_->Stop();
    };

    EXPECT_FALSE(Read());
    EXPECT_EQ(stream_.data(), Bytes(image_, 0, static_cast<std::size_t>(c.unitsKept) * kSector));
    EXPECT_EQ(host_.log, (QStringList{kReading, QString::fromUtf8(c.line), QStringLiteral("用时:2秒")}));
    EXPECT_EQ(host_.gaugePositions, OneUpTo(c.unitsKept));
    EXPECT_EQ(host_.pumpedAtPositions, OneUpTo(c.unitsKept));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ReadFailure,
    ::testing::Values(FailureCase{"HeaderAnnouncesNothing", HeaderLength(0), 0, "读数据失败...", 0},
                      FailureCase{"HeaderAnnouncesMoreThanATransfer", HeaderLength(8193), 0, "读数据失败...", 0},
                      FailureCase{"DeviceVanishesAtUnit5", DropAtUnit(5), 0, "读数据头失败...", 4},
                      FailureCase{"DeviceStopsBetweenUnits", {}, 2, "通讯中断：读数据失败...", 2}),
    CaseName());

}  // namespace
