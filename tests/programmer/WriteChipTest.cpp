// Writing a chip, and the digest that verifies it, through the shipped
// library against a simulated programmer.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <numeric>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <QBuffer>
#include <QByteArray>
#include <QString>
#include <gtest/gtest.h>

#include "CaseName.h"
#include "ChipOperations.h"
#include "CommandLink.h"
#include "FakeChipHost.h"
#include "Simulator.h"
#include "Vantu.h"

namespace {

constexpr std::size_t kSector = 512;
constexpr std::uint8_t kErased = 0xFF;

const QString kWriting = QStringLiteral("正在写数据，请稍等...");
const QString kDone = QStringLiteral("写数据已完成...");
const QString kNoAcknowledgement = QStringLiteral("无应答，写数据失败...");
const QString kElapsed = QStringLiteral("用时:2秒");
const sim::Message kPrepare{0x14, 0x02, 0xFF, 0xFF};

// Bytes 0x01..0xFE that differ between neighbouring units, so a missing,
// repeated or misplaced unit shows.
std::vector<std::uint8_t> Pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(1 + (i * 29 + i / kSector) % 0xFE);
    return bytes;
}

std::vector<int> OneUpTo(int last) {
    std::vector<int> numbers(static_cast<std::size_t>(std::max(last, 0)));
    std::iota(numbers.begin(), numbers.end(), 1);
    return numbers;
}

// What a correct write of the image puts on the wire: each unit's frame, then
// the unit, the last one padded with zero bytes.
std::vector<sim::Message> WriteTraffic(const std::vector<std::uint8_t> &image, std::uint8_t sectors, bool prepare) {
    std::vector<sim::Message> messages;
    if (prepare) messages.push_back(kPrepare);
    const std::size_t unitBytes = kSector * sectors;
    for (std::size_t offset = 0, unit = 1; offset < image.size(); offset += unitBytes, ++unit) {
        messages.push_back({0x12, static_cast<std::uint8_t>(unit), static_cast<std::uint8_t>(unit >> 8), sectors});
        sim::Message data(unitBytes, 0x00);
        std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(offset), std::min(unitBytes, image.size() - offset),
                    data.begin());
        messages.push_back(data);
    }
    return messages;
}

class WriteHost : public FakeChipHost {
public:
    bool mx25lMode = false;
    bool WriteModeMX25LChecked() override { return mx25lMode; }
};

class WriteChipTest : public ::testing::Test {
protected:
    void SetUp() override {
        state_.ChipSelected = 1;
        state_.DeviceCount = 1;
        state_.LargeTransfer = 0;
        state_.FirstBlock = 1;
        host_.ticks = {1000, 3500};
    }

    // A programmer holding an erased chip of exactly the capacity written.
    void Attach(std::int32_t capacityKB, const sim::Faults &faults = {}) {
        state_.CapacityKB = capacityKB;
        chip_ = {"WriteTest", sim::ChipKind::SpiNor, static_cast<std::uint32_t>(capacityKB) * 1024, 64 * 1024,
                 {0xC2, 0x20, 0x17}, {0xC2, 0x16}};
        simulator_ = std::make_unique<sim::Simulator>(chip_);
        simulator_->firmware().SetFaults(faults);
        simulator_->firmware().SetRecording(true);
        std::string error;
        ASSERT_TRUE(simulator_->Start(&error)) << error;
        // The routine's own open replaces these pipes; a refused open leaves them for the echo.
        ASSERT_EQ(Vantu_OpenDevice(0), VANTU_OK);
    }

    // Leaves the stream positioned at its end, since where it stands on entry
    // must not matter.
    bool Write(const std::vector<std::uint8_t> &image) {
        QBuffer stream;
        stream.setData(reinterpret_cast<const char *>(image.data()), static_cast<qsizetype>(image.size()));
        EXPECT_TRUE(stream.open(QIODevice::ReadOnly));
        stream.seek(stream.size());
        return WriteChip(host_, state_, stream);
    }

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

    // The chip as a correct write of the image leaves it: NOR cells only
    // clear, so the padding of the last unit programs zero bytes.
    std::vector<std::uint8_t> ProgrammedChip(const std::vector<std::uint8_t> &image, std::size_t unitBytes) const {
        std::vector<std::uint8_t> chip(chip_.capacity, kErased);
        const std::size_t unitsWritten = (image.size() + unitBytes - 1) / unitBytes;
        std::fill_n(chip.begin(), unitsWritten * unitBytes, std::uint8_t{0x00});
        std::copy(image.begin(), image.end(), chip.begin());
        return chip;
    }

    // The firmware keeps a reference to the chip, so it is declared first and outlives the simulator.
    sim::ChipModel chip_{};
    std::unique_ptr<sim::Simulator> simulator_;
    WriteHost host_;
    RunState state_;
};

struct WriteModeCase {
    const char *name;
    bool mx25lMode;
    std::uint8_t largeTransfer;
    std::uint8_t sectors;
    std::size_t imageBytes;
    int units;
};

class WriteMode : public WriteChipTest, public ::testing::WithParamInterface<WriteModeCase> {};

TEST_P(WriteMode, SendsEveryUnitWholeAndProgramsTheChip) {
    const WriteModeCase &c = GetParam();
    Attach(16);
    state_.LargeTransfer = c.largeTransfer;
    host_.mx25lMode = c.mx25lMode;
    const std::vector<std::uint8_t> image = Pattern(c.imageBytes);

    EXPECT_TRUE(Write(image));
    EXPECT_EQ(simulator_->firmware().Received(), WriteTraffic(image, c.sectors, c.mx25lMode));
    EXPECT_EQ(simulator_->firmware().Image(), ProgrammedChip(image, kSector * c.sectors));
    EXPECT_EQ(host_.log, (QStringList{kWriting, kDone, kElapsed}));
    EXPECT_EQ(host_.gaugeMaximum, c.units);
    EXPECT_EQ(host_.gaugePositions, OneUpTo(c.units));
    EXPECT_EQ(host_.pumpedAtPositions, OneUpTo(c.units - 1));
}

INSTANTIATE_TEST_SUITE_P(
    Modes, WriteMode,
    ::testing::Values(WriteModeCase{"Mx25lPreparesFirstAndPadsTheLastUnit", true, 0, 1, 1000, 2},
                      WriteModeCase{"Sst25vf016bStartsWithTheFirstUnit", false, 0, 1, 1000, 2},
                      WriteModeCase{"LargeTransfers", true, 1, 8, 5000, 2},
                      WriteModeCase{"ImageOfExactlyTheCapacity", false, 0, 1, 16 * 1024, 32}),
    CaseName());

TEST_F(WriteChipTest, EmptyImageSendsNoUnit) {
    Attach(16);
    host_.mx25lMode = true;

    EXPECT_FALSE(Write({}));
    EXPECT_EQ(ReceivedBeforeAnEcho(), std::vector<sim::Message>{kPrepare});
    EXPECT_EQ(host_.log, (QStringList{kWriting, kElapsed}));
    EXPECT_EQ(host_.gaugeMaximum, 0);
}

struct RefusalCase {
    const char *name;
    std::int32_t chipSelected;
    std::int32_t deviceCount;
    std::size_t bytesBeyondCapacity;
    const char *line;
};

class WriteRefusal : public WriteChipTest, public ::testing::WithParamInterface<RefusalCase> {};

// Refused before the time is noted: no elapsed line, nothing on the wire.
TEST_P(WriteRefusal, SendsNothing) {
    const RefusalCase &c = GetParam();
    Attach(16);
    host_.mx25lMode = true;
    host_.ticks.clear();
    state_.ChipSelected = c.chipSelected;
    state_.DeviceCount = c.deviceCount;

    EXPECT_FALSE(Write(Pattern(16 * 1024 + c.bytesBeyondCapacity)));
    EXPECT_EQ(ReceivedBeforeAnEcho(), std::vector<sim::Message>{});
    EXPECT_EQ(host_.log, QStringList{QString::fromUtf8(c.line)});
    EXPECT_EQ(host_.gaugeMaximum, std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Refusals, WriteRefusal,
                         ::testing::Values(RefusalCase{"ImageOneByteOverTheCapacity", 1, 1, 1,
                                                       "文件尺寸太大，超过芯片容量......"},
                                           RefusalCase{"NoChipSelected", 0, 1, 0, "请选择芯片型号..."},
                                           RefusalCase{"NoDevice", 1, 0, 0, "未连接到设备..."}),
                         CaseName());

sim::Faults AckJunk(std::uint32_t bytes, bool endless = false) {
    sim::Faults faults;
    faults.ackJunk = bytes;
    faults.ackJunkEndless = endless;
    return faults;
}

struct AcknowledgementCase {
    const char *name;
    sim::Faults faults;
    bool acknowledged;
};

class Acknowledgement : public WriteChipTest, public ::testing::WithParamInterface<AcknowledgementCase> {};

// Bytes other than 0xFF before the acknowledgement are passed over, up to a bound.
TEST_P(Acknowledgement, WaitsPastOtherBytesUpToTheBound) {
    const AcknowledgementCase &c = GetParam();
    Attach(1, c.faults);
    const std::vector<std::uint8_t> image = Pattern(1024);

    EXPECT_EQ(Write(image), c.acknowledged);
    if (c.acknowledged) {
        EXPECT_EQ(host_.log, (QStringList{kWriting, kDone, kElapsed}));
        EXPECT_EQ(host_.gaugePositions, OneUpTo(2));
    } else {
        EXPECT_EQ(host_.log, (QStringList{kWriting, kNoAcknowledgement, kElapsed}));
        EXPECT_EQ(host_.gaugePositions, std::vector<int>{});
    }
}

INSTANTIATE_TEST_SUITE_P(Junk, Acknowledgement,
                         ::testing::Values(AcknowledgementCase{"AfterTwoZeroBytes", AckJunk(2), true},
                                           AcknowledgementCase{"AfterTheMostJunkAllowed", AckJunk(4095), true},
                                           AcknowledgementCase{"OneJunkByteTooMany", AckJunk(4096), false},
                                           AcknowledgementCase{"NeverComes", AckJunk(0, true), false}),
                         CaseName());

TEST_F(WriteChipTest, FrameToAVanishedDeviceEndsTheWrite) {
    Attach(4);
    host_.onPump = [this] {
        if (host_.pumpedAtPositions.back() == 2) simulator_->Stop();
    };

    EXPECT_FALSE(Write(Pattern(4 * 1024)));
    EXPECT_EQ(host_.log, (QStringList{kWriting, QStringLiteral("通讯中断：写数据失败..."), kElapsed}));
    EXPECT_EQ(host_.gaugePositions, OneUpTo(2));
}

TEST_F(WriteChipTest, FailedAcknowledgementReadEndsTheWrite) {
    sim::Faults faults;
    faults.noReplyTo = 0x12;
    Attach(4, faults);
    // The write waits in the library's read for an acknowledgement that is
    // not coming; the device going away once the first unit arrived ends it.
    std::atomic<bool> writing{true};
    std::thread stopper([this, &writing] {
        while (writing && simulator_->firmware().Received().size() < 2) std::this_thread::yield();
        simulator_->Stop();
    });

    EXPECT_FALSE(Write(Pattern(4 * 1024)));
    writing = false;
    stopper.join();
    EXPECT_EQ(host_.log, (QStringList{kWriting, kNoAcknowledgement, kElapsed}));
    EXPECT_EQ(host_.gaugePositions, std::vector<int>{});
}

struct DigestCase {
    const char *name;
    QByteArray bytes;
    const char *digest;
};

class Digest : public ::testing::TestWithParam<DigestCase> {};

// Known MD5 values; the stream stands at its end on entry and is digested from its start.
TEST_P(Digest, IsTheUpperCaseHexOfTheWholeStream) {
    QBuffer stream;
    stream.setData(GetParam().bytes);
    ASSERT_TRUE(stream.open(QIODevice::ReadOnly));
    stream.seek(stream.size());

    EXPECT_EQ(StreamDigestHex(stream), QString::fromLatin1(GetParam().digest));
}

INSTANTIATE_TEST_SUITE_P(
    Md5, Digest,
    ::testing::Values(DigestCase{"Empty", QByteArray(), "D41D8CD98F00B204E9800998ECF8427E"},
                      DigestCase{"Abc", QByteArray("abc"), "900150983CD24FB0D6963F7D28E17F72"},
                      DigestCase{"MessageDigest", QByteArray("message digest"), "F96B697D7CB7938D525A2F31AAF161D0"},
                      DigestCase{"AMillionAs", QByteArray(1000000, 'a'), "7707D6AE4E027C70EEA2A935C2296F21"}),
    CaseName());

}  // namespace
