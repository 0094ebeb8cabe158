// A faulty programmer under the main window: each chip operation meets one
// fault, logs how it ended, leaves the window usable, and works again once
// the programmer is back. Cases the programmer and window tests already
// cover (a read or verify that loses the device, announced lengths 0, 300
// and 8193 in a read, a wrong identify echo) are not repeated here.
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include <QRegularExpression>
#include <QStringList>
#include <gtest/gtest.h>

#include "CaseName.h"
#include "DeviceWriteSeam.h"
#include "MainWindowFixture.h"
#include "OperationLogLines.h"
#include "Simulator.h"

namespace {

constexpr std::int32_t kCapacityKB = 4;

// Digests vary; the log keeps them as these placeholders.
const QString kChipDigest = QStringLiteral("芯片中的数据校验码为：<MD5>");
const QString kBufferDigest = QStringLiteral("缓存中的数据校验码为：<MD5>");

struct Operation {
    const char *item;
    QStringList opening;  // logged before anything can go wrong
    QStringList success;  // the rest of the log when nothing does
    bool failureDisablesItems = false;
};

const Operation kIdentify{"miGetID", {QStringLiteral("------------------- 检测芯片 -------------------")},
                          {QStringLiteral("芯片ID是:17C2")}, true};
const Operation kRead{"miReadData", {QStringLiteral("------------------- 读取模式 -------------------"), kReading},
                      {kReadDone, kElapsed}};
const Operation kWrite{"miWriteData", {kWriteBanner, kWriting}, {kWritten, kElapsed}};
const Operation kErase{"miEraseIC", {kErasing}, {kEraseDone, kElapsed}};
const Operation kBlankCheck{"miICBlank",
                            {QStringLiteral("------------------- 查空模式 -------------------"), kReading},
                            {kReadDone, kElapsed, QStringLiteral("芯片不为空!")}};
const Operation kVerify{"miTestData", {kVerifyBanner, kReading},
                        {kReadDone, kElapsed, kChipDigest, kBufferDigest,
                         kSame}};

template <typename Set>
sim::Faults Fault(Set set) {
    sim::Faults faults;
    set(faults);
    return faults;
}

struct FaultCase {
    const char *name;
    const Operation *operation;
    sim::Faults faults;
    // The device vanishes just before this write of the operation (0: it stays).
    int vanishBeforeWrite;
    std::vector<const char *> outcome;  // the log after the opening
    std::int32_t eraseBlockKB = 1;      // four blocks unless a case needs fewer
};

void PrintTo(const FaultCase &c, std::ostream *out) { *out << c.name; }

class FaultThroughWindow : public MainWindowTest, public ::testing::WithParamInterface<FaultCase> {
protected:
    ~FaultThroughWindow() override { ForgetDeviceWriteAction(); }

    QStringList Run(const Operation &operation) {
        const qsizetype before = Log().size();
        Pick(operation.item);
        QStringList lines = Log().mid(before);
        lines.replaceInStrings(QRegularExpression(QStringLiteral("^用时:\\d+秒$")), kElapsed);
        lines.replaceInStrings(QRegularExpression(QStringLiteral("^(.*校验码为：)[0-9A-F]{32}$")),
                               QStringLiteral("\\1<MD5>"));
        return lines;
    }
};

TEST_P(FaultThroughWindow, EndsWithItsLinesAndWorksOnceTheProgrammerIsBack) {
    const FaultCase &c = GetParam();
    const Operation &operation = *c.operation;
    sim::Simulator &simulator = StartProgrammer();
    Window();
    state_.CapacityKB = kCapacityKB;
    state_.EraseBlockKB = c.eraseBlockKB;
    // What the chip holds, so that a write changes nothing and a verify agrees.
    LoadBuffer(Bytes(simulator.firmware().Image(), kCapacityKB * 1024));
    simulator.firmware().SetFaults(c.faults);
    if (c.vanishBeforeWrite > 0) BeforeDeviceWrite(c.vanishBeforeWrite, [&simulator] { simulator.Stop(); });

    QStringList expected = operation.opening;
    for (const char *line : c.outcome) expected.append(QString::fromUtf8(line));
    EXPECT_EQ(Run(operation), expected);
    EXPECT_EQ(state_.Busy, 0);
    EXPECT_EQ(Window().cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(OperationItemsEnabled(), std::vector<bool>(6, !operation.failureDisablesItems));

    // Back as from power-up, without the fault.
    simulator.Stop();
    simulator.firmware().SetFaults({});
    std::string error;
    ASSERT_TRUE(simulator.Start(&error)) << error;
    EXPECT_EQ(Run(operation), operation.opening + operation.success);
    EXPECT_EQ(OperationItemsEnabled(), std::vector<bool>(6, true));
    EXPECT_EQ(state_.Busy, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultThroughWindow,
    ::testing::Values(
        FaultCase{"IdentifyLosesTheDeviceBeforeItsFrame", &kIdentify, {}, 1, {"通讯中断：检测芯片错误..."}},
        FaultCase{"IdentifyLosesTheDeviceAtItsFrame", &kIdentify, Fault([](auto &f) { f.dropOnCommand = 0x20; }), 0,
                  {"与设备断开，读取芯片ID失败..."}},
        FaultCase{"IdentifyGetsNoReply", &kIdentify, Fault([](auto &f) { f.noReplyTo = 0x20; }), 0,
                  {"与设备断开，读取芯片ID失败..."}},
        FaultCase{"IdentifyGetsALongerReply", &kIdentify, Fault([](auto &f) { f.replyPadding = 4; }), 0,
                  {"与设备断开，读取芯片ID失败..."}},

        FaultCase{"ReadGetsNoReply", &kRead, Fault([](auto &f) { f.noReplyTo = 0x13; }), 0,
                  {"读数据头失败...", "用时:N秒"}},
        FaultCase{"ReadIgnoresAWrongEcho", &kRead, Fault([](auto &f) { f.wrongEcho = true; }), 0,
                  {"读取数据已完成...", "用时:N秒"}},
        FaultCase{"ReadTakesOneByteUnits", &kRead, Fault([](auto &f) { f.headerLength = 1; }), 0,
                  {"读取数据已完成...", "用时:N秒"}},
        FaultCase{"ReadRefusesTheLongestAnnouncedLength", &kRead, Fault([](auto &f) { f.headerLength = 65535; }), 0,
                  {"读数据失败...", "用时:N秒"}},
        FaultCase{"ReadGetsALongerHeader", &kRead, Fault([](auto &f) { f.replyPadding = 1; }), 0,
                  {"读数据头失败...", "用时:N秒"}},

        // The window starts in MX25L mode: write 1 prepares, then each unit is a frame and its data.
        FaultCase{"WriteLosesTheDeviceBeforeTheFrameOfUnit3", &kWrite, {}, 6, {"通讯中断：写数据失败...", "用时:N秒"}},
        FaultCase{"WriteLosesTheDeviceBeforeTheDataOfUnit3", &kWrite, {}, 7, {"写数据失败...", "用时:N秒"}},
        FaultCase{"WriteGetsNoAcknowledgement", &kWrite, Fault([](auto &f) { f.noReplyTo = 0x12; }), 0,
                  {"无应答，写数据失败...", "用时:N秒"}},
        FaultCase{"WriteGetsEndlessJunkBeforeTheAcknowledgement", &kWrite,
                  Fault([](auto &f) { f.ackJunkEndless = true; }), 0, {"无应答，写数据失败...", "用时:N秒"}},
        FaultCase{"WriteGetsALongerAcknowledgement", &kWrite, Fault([](auto &f) { f.replyPadding = 1; }), 0,
                  {"无应答，写数据失败...", "用时:N秒"}},

        // Write 1 prepares, write 2 erases block 1.
        FaultCase{"EraseLosesTheDeviceAfterAGoodBlock", &kErase, {}, 3, {"擦除芯片失败...", "用时:N秒"}},
        FaultCase{"EraseLosesTheDeviceAtBlock3", &kErase, Fault([](auto &f) { f.dropAtUnit = 3; }), 0,
                  {"擦除芯片失败...", "用时:N秒"}},
        FaultCase{"EraseGetsNoReply", &kErase, Fault([](auto &f) { f.noReplyTo = 0x15; }), 0,
                  {"擦除芯片失败...", "用时:N秒"}, kCapacityKB},
        FaultCase{"EraseIgnoresAWrongEcho", &kErase, Fault([](auto &f) { f.wrongEcho = true; }), 0,
                  {"擦除芯片完成...", "用时:N秒"}},
        FaultCase{"EraseGetsLongerReplies", &kErase, Fault([](auto &f) { f.replyPadding = 4; }), 0,
                  {"擦除芯片失败...", "用时:N秒"}},

        // A blank check judges what arrived, and nothing when nothing did.
        FaultCase{"BlankCheckLosesTheDeviceAtUnit3", &kBlankCheck, Fault([](auto &f) { f.dropAtUnit = 3; }), 0,
                  {"读数据头失败...", "用时:N秒", "芯片不为空!"}},
        FaultCase{"BlankCheckGetsEmptyUnits", &kBlankCheck, Fault([](auto &f) { f.headerLength = 0; }), 0,
                  {"读数据失败...", "用时:N秒"}},
        FaultCase{"BlankCheckGetsALongerHeader", &kBlankCheck, Fault([](auto &f) { f.replyPadding = 1; }), 0,
                  {"读数据头失败...", "用时:N秒"}},

        FaultCase{"VerifyRefusesAnOversizedUnit", &kVerify, Fault([](auto &f) { f.headerLength = 8193; }), 0,
                  {"读数据失败...", "用时:N秒", "芯片中的数据校验码为：<MD5>", "缓存中的数据校验码为：<MD5>",
                   "芯片中的数据与缓存中的数据不一致！"}},
        FaultCase{"VerifyTakesOneByteUnits", &kVerify, Fault([](auto &f) { f.headerLength = 1; }), 0,
                  {"读取数据已完成...", "用时:N秒", "芯片中的数据校验码为：<MD5>", "缓存中的数据校验码为：<MD5>",
                   "芯片中的数据与缓存中的数据不一致！"}}),
    CaseName());

}  // namespace
