// Programming a chip from the main window: write, erase, blank check, verify
// and auto-program, against an in-process simulator through the shipped library.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QByteArray>
#include <QCryptographicHash>
#include <QMessageBox>
#include <QRegularExpression>
#include <QStringList>
#include <gtest/gtest.h>

#include "CaseName.h"
#include "HexView.h"
#include "MainWindowFixture.h"
#include "OperationLogLines.h"
#include "Simulator.h"

namespace {

constexpr std::size_t kKiB = 1024;
constexpr std::uint8_t kErased = 0xFF;

const QString kAutoBanner = QStringLiteral("----------------- 自动编程模式 -----------------");
const QString kDifferent = QStringLiteral("芯片中的数据与缓存中的数据不一致！");

// An image to program that is never 0x00 or 0xFF and differs from what the
// simulated chip starts with.
QByteArray ImageToProgram(std::size_t size) {
    QByteArray bytes(static_cast<qsizetype>(size), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(0x11 + (i * 13 + i / 4096) % 0xEE);
    return bytes;
}

QByteArray AllBytes(const std::vector<std::uint8_t> &bytes) { return Bytes(bytes, bytes.size()); }

QString Md5(const QByteArray &bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex().toUpper());
}

class ProgramWindowTest : public MainWindowTest {
protected:
    // The log after the connect line, elapsed times written as N: how long
    // an operation took is not what these tests check.
    QStringList OperationLog() {
        QStringList lines = Log().mid(1);
        lines.replaceInStrings(QRegularExpression(QStringLiteral("^用时:\\d+秒$")), kElapsed);
        return lines;
    }

    void ExpectIdle() {
        EXPECT_EQ(state_.Busy, 0);
        EXPECT_EQ(OperationItemsEnabled(), std::vector<bool>(6, true));
        EXPECT_EQ(Window().cursor().shape(), Qt::ArrowCursor);
    }
};

struct WriteModeCase {
    const char *name;
    const char *modeItem;  // picked before the write; the window starts in MX25L mode
    bool prepares;
};

class WriteModeThroughWindow : public ProgramWindowTest, public ::testing::WithParamInterface<WriteModeCase> {};

TEST_P(WriteModeThroughWindow, WritesTheBufferInThatMode) {
    sim::Simulator &simulator = Connect();
    simulator.firmware().SetImage({});
    const QByteArray image = ImageToProgram(1000);
    LoadBuffer(image);
    if (GetParam().modeItem != nullptr) Pick(GetParam().modeItem);

    Pick("miWriteData");
    std::vector<sim::Message> expected;
    if (GetParam().prepares) expected.push_back({0x14, 0x02, 0xFF, 0xFF});
    const QByteArray padded = image + QByteArray(24, '\0');
    expected.push_back({0x12, 0x01, 0x00, 0x01});
    expected.emplace_back(padded.begin(), padded.begin() + 512);
    expected.push_back({0x12, 0x02, 0x00, 0x01});
    expected.emplace_back(padded.begin() + 512, padded.end());
    EXPECT_EQ(simulator.firmware().Received(), expected);
    EXPECT_EQ(AllBytes(simulator.firmware().Image()).first(1024), padded);
    EXPECT_EQ(OperationLog(), (QStringList{kWriteBanner, kWriting, kWritten, kElapsed}));
    EXPECT_EQ(Buffer().Bytes(), image);
    EXPECT_FALSE(Buffer().Modified());
    ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(Modes, WriteModeThroughWindow,
                         ::testing::Values(WriteModeCase{"Mx25l", nullptr, true},
                                           WriteModeCase{"Sst25vf016b", "SST25VF016B1", false}),
                         CaseName());

// The product's main job: a whole 16 MiB chip programmed and verified. Large
// transfers keep it to 4096 units each way.
TEST_F(ProgramWindowTest, AutoProgramsAndVerifiesA16MiBChip) {
    sim::Simulator &simulator = Connect();
    state_.CapacityKB = 16384;
    state_.LargeTransfer = 1;
    const QByteArray image = ImageToProgram(16384 * kKiB);
    LoadBuffer(image);

    Pick("miAutoProgram");
    Pick("miTestData");
    EXPECT_EQ(AllBytes(simulator.firmware().Image()), image);
    const QString digest = Md5(image);
    EXPECT_EQ(OperationLog(),
              (QStringList{kAutoBanner, kErasing, kEraseDone, kElapsed, kWriting, kWritten, kElapsed, kVerifyBanner,
                           kReading, kReadDone, kElapsed, QStringLiteral("芯片中的数据校验码为：") + digest,
                           QStringLiteral("缓存中的数据校验码为：") + digest, kSame}));
    EXPECT_EQ(Buffer().Bytes(), image);
    ExpectIdle();
}

// Programming only clears bits, so writing over data that was never erased
// leaves neither image on the chip.
TEST_F(ProgramWindowTest, WritingWithoutEraseFailsTheVerify) {
    sim::Simulator &simulator = Connect();
    state_.CapacityKB = 64;
    const QByteArray before = AllBytes(simulator.firmware().Image());
    const QByteArray image = ImageToProgram(64 * kKiB);
    LoadBuffer(image);

    Pick("miWriteData");
    Pick("miTestData");
    QByteArray programmed = image;
    for (qsizetype i = 0; i < programmed.size(); ++i) programmed[i] = static_cast<char>(programmed[i] & before[i]);
    const QByteArray after = AllBytes(simulator.firmware().Image());
    EXPECT_EQ(after.first(programmed.size()), programmed);
    EXPECT_EQ(after.sliced(programmed.size()), before.sliced(programmed.size()));
    EXPECT_EQ(OperationLog().last(), kDifferent);
}

struct EraseAnswerCase {
    const char *name;
    QMessageBox::StandardButton answer;
    bool erases;
};

class EraseQuestion : public ProgramWindowTest, public ::testing::WithParamInterface<EraseAnswerCase> {};

TEST_P(EraseQuestion, ErasesOnlyAfterYes) {
    sim::Simulator &simulator = Connect();
    const QByteArray before = AllBytes(simulator.firmware().Image());
    const QStringList logBefore = Log();
    std::optional<QMessageBox::StandardButton> defaultButton;
    modals_.answerBox = [&](QMessageBox &box) {
        EXPECT_EQ(box.objectName(), QStringLiteral("EraseQuestion"));
        EXPECT_EQ(box.windowTitle(), QStringLiteral("询问"));
        EXPECT_EQ(box.icon(), QMessageBox::Question);
        EXPECT_EQ(box.standardButtons(), QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(box.parent(), &Window());
        defaultButton = box.standardButton(box.defaultButton());
        return int(GetParam().answer);
    };

    Pick("miEraseIC");
    EXPECT_EQ(modals_.messages, QStringList{QStringLiteral("你确定要擦除吗？")});
    EXPECT_EQ(defaultButton, QMessageBox::Yes);
    if (GetParam().erases) {
        // 8192 KiB in 64-KiB blocks; no banner for an erase.
        EXPECT_EQ(OperationLog(), (QStringList{kErasing, kEraseDone, kElapsed}));
        EXPECT_EQ(AllBytes(simulator.firmware().Image()),
                  QByteArray(8192 * kKiB, char(kErased)) + before.sliced(8192 * kKiB));
        std::vector<sim::Message> frames{{0x14, 0x02, 0xFF, 0xFF}};
        for (std::uint8_t index = 0; index < 128; ++index) frames.push_back({0x15, index, 0xFF, 0xFF});
        EXPECT_EQ(simulator.firmware().Received(), frames);
    } else {
        EXPECT_EQ(Log(), logBefore);
        EXPECT_EQ(AllBytes(simulator.firmware().Image()), before);
        EXPECT_EQ(simulator.firmware().Received(), std::vector<sim::Message>{});
    }
    ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(Answers, EraseQuestion,
                         ::testing::Values(EraseAnswerCase{"Yes", QMessageBox::Yes, true},
                                           EraseAnswerCase{"No", QMessageBox::No, false}),
                         CaseName());

class BusyWindow : public ProgramWindowTest, public ::testing::WithParamInterface<const char *> {};

// While another operation runs, nothing is asked and nothing is sent.
TEST_P(BusyWindow, RefusesTheOperation) {
    Connect();
    state_.Busy = 1;

    Pick(GetParam());
    EXPECT_EQ(OperationLog(), QStringList{QStringLiteral("系统工作中，请稍候...")});
    EXPECT_EQ(modals_.messages, QStringList{});
}

INSTANTIATE_TEST_SUITE_P(Operations, BusyWindow,
                         ::testing::Values("miWriteData", "miEraseIC", "miICBlank", "miTestData"),
                         [](const ::testing::TestParamInfo<const char *> &info) { return std::string(info.param); });

struct BlankCase {
    const char *name;
    std::optional<std::size_t> offset;  // of the one byte that is not blank
    std::uint8_t value;
    const char *verdict;
};

class BlankCheck : public ProgramWindowTest, public ::testing::WithParamInterface<BlankCase> {};

TEST_P(BlankCheck, ShowsTheChipAndTellsWhetherItIsBlank) {
    sim::Simulator &simulator = Connect();
    state_.CapacityKB = 64;
    std::vector<std::uint8_t> chip(simulator.firmware().Chip().capacity, kErased);
    if (GetParam().offset) chip[*GetParam().offset] = GetParam().value;
    simulator.firmware().SetImage(chip);

    Pick("miICBlank");
    EXPECT_EQ(OperationLog(), (QStringList{QStringLiteral("------------------- 查空模式 -------------------"), kReading,
                                           kReadDone, kElapsed, QString::fromUtf8(GetParam().verdict)}));
    EXPECT_EQ(Buffer().Bytes(), Bytes(chip, 64 * kKiB));
    ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(Chips, BlankCheck,
                         ::testing::Values(BlankCase{"Erased", std::nullopt, 0, "芯片为空!"},
                                           BlankCase{"LastByteZero", 64 * kKiB - 1, 0x00, "芯片不为空!"},
                                           BlankCase{"FirstByteOneBitShort", 0, 0xFE, "芯片不为空!"}),
                         CaseName());

TEST_F(ProgramWindowTest, BlankCheckWithoutADeviceEmptiesTheHexView) {
    sim::Simulator &simulator = Connect();
    LoadBuffer(ImageToProgram(100));
    simulator.Stop();

    Pick("miICBlank");
    EXPECT_EQ(OperationLog(), (QStringList{QStringLiteral("------------------- 查空模式 -------------------"),
                                           QStringLiteral("未连接到设备...")}));
    EXPECT_EQ(Buffer().Size(), 0);
    ExpectIdle();
}

struct VerifyCase {
    const char *name;
    std::size_t bufferBytes;  // the buffer holds that much of the chip's contents
    std::uint32_t dropAtUnit;
    std::size_t chipBytesRead;
    const char *readOutcome;
    const char *verdict;
};

class VerifyThroughWindow : public ProgramWindowTest, public ::testing::WithParamInterface<VerifyCase> {};

TEST_P(VerifyThroughWindow, ComparesTheDigestsOfChipAndBuffer) {
    const VerifyCase &c = GetParam();
    sim::Simulator &simulator = Connect();
    state_.CapacityKB = 64;
    const QByteArray chip = AllBytes(simulator.firmware().Image());
    LoadBuffer(chip.first(static_cast<qsizetype>(c.bufferBytes)));
    sim::Faults faults;
    faults.dropAtUnit = c.dropAtUnit;
    simulator.firmware().SetFaults(faults);

    Pick("miTestData");
    EXPECT_EQ(OperationLog(),
              (QStringList{kVerifyBanner, kReading, QString::fromUtf8(c.readOutcome), kElapsed,
                           QStringLiteral("芯片中的数据校验码为：") + Md5(chip.first(static_cast<qsizetype>(c.chipBytesRead))),
                           QStringLiteral("缓存中的数据校验码为：") + Md5(chip.first(static_cast<qsizetype>(c.bufferBytes))),
                           QString::fromUtf8(c.verdict)}));
    EXPECT_EQ(Buffer().Bytes(), chip.first(static_cast<qsizetype>(c.bufferBytes)));
    ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(
    Buffers, VerifyThroughWindow,
    ::testing::Values(VerifyCase{"EqualToTheChip", 64 * kKiB, 0, 64 * kKiB, "读取数据已完成...",
                                 "芯片中的数据与缓存中的数据一致！"},
                      VerifyCase{"ShorterThanTheChip", 1000, 0, 64 * kKiB, "读取数据已完成...",
                                 "芯片中的数据与缓存中的数据不一致！"},
                      VerifyCase{"AfterAFailedRead", 64 * kKiB, 5, 4 * 512, "读数据头失败...",
                                 "芯片中的数据与缓存中的数据不一致！"}),
    CaseName());

struct AutoProgramCase {
    const char *name;
    std::int32_t capacityKB;
    std::int32_t eraseBlockKB;
    std::uint32_t failEraseBlock;
    std::size_t bufferBytes;
    std::vector<const char *> eraseLines;
    std::vector<const char *> writeLines;
};

class AutoProgram : public ProgramWindowTest, public ::testing::WithParamInterface<AutoProgramCase> {};

// The write runs whatever the erase reported, and the erase's lines come first.
TEST_P(AutoProgram, WritesAfterTheEraseWhateverItReported) {
    const AutoProgramCase &c = GetParam();
    sim::Simulator &simulator = Connect();
    state_.CapacityKB = c.capacityKB;
    state_.EraseBlockKB = c.eraseBlockKB;
    sim::Faults faults;
    faults.failEraseBlock = c.failEraseBlock;
    simulator.firmware().SetFaults(faults);
    LoadBuffer(ImageToProgram(c.bufferBytes));

    Pick("miAutoProgram");
    QStringList expected{kAutoBanner};
    for (const char *line : c.eraseLines) expected.append(QString::fromUtf8(line));
    expected.append(kElapsed);
    expected.append(kWriting);
    for (const char *line : c.writeLines) expected.append(QString::fromUtf8(line));
    expected.append(kElapsed);
    EXPECT_EQ(OperationLog(), expected);
    ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, AutoProgram,
    ::testing::Values(AutoProgramCase{"EmptyBuffer", 8192, 64, 0, 0, {"正在擦除芯片，请稍等...", "擦除芯片完成..."}, {}},
                      AutoProgramCase{"FailingErase", 256, 64, 4, 256 * kKiB,
                                      {"正在擦除芯片，请稍等...", "擦除芯片失败..."}, {"写数据已完成..."}},
                      AutoProgramCase{"TooManyBlocksToErase", 16384, 32, 0, 0,
                                      {"擦除块数超过256，无法擦除...", "擦除芯片失败..."}, {}}),
    CaseName());

}  // namespace
