// Every service command on the wire and what the operator is shown, with the
// programmer present and with it gone.
#include <cstdint>
#include <vector>

#include <QByteArray>
#include <QString>
#include <gtest/gtest.h>

#include "CaseName.h"
#include "ConnectedProgrammer.h"
#include "QtPrinters.h"
#include "ServiceCommands.h"

namespace {

// What one outcome shows, as text: "" where nothing is shown, bytes in hex.
struct Shown {
    const char *message;
    const char *logLine;
    const char *buffer;
};

struct ServiceCase {
    const char *name;
    ServiceCommand command;
    sim::Message wire;
    Shown present;
    Shown absent;
};

void ExpectShown(const ServiceOutcome &outcome, const Shown &shown) {
    EXPECT_EQ(outcome.message.value_or(QString()), QString::fromUtf8(shown.message));
    EXPECT_EQ(outcome.logLine.value_or(QString()), QString::fromUtf8(shown.logLine));
    EXPECT_EQ(outcome.bufferBytes.value_or(QByteArray()).toHex(' ').toUpper(), QByteArray(shown.buffer));
    // An empty buffer would still replace the operator's data.
    if (shown.buffer[0] == '\0') {
        EXPECT_FALSE(outcome.bufferBytes.has_value());
    }
}

sim::Message ApplicationEntry() {
    sim::Message frame(64, 0);
    frame[0] = 0x04;
    frame[1] = 0x52;
    return frame;
}

using ServiceLink = ConnectedProgrammer;

class ServiceCommandTest : public ServiceLink, public ::testing::WithParamInterface<ServiceCase> {};

TEST_P(ServiceCommandTest, SendsItsFrameAndShowsTheReply) {
    const ServiceCase &c = GetParam();
    ExpectShown(RunServiceCommand(c.command), c.present);
    // A frame without reply is seen once the next exchange is answered.
    ASSERT_EQ(RunServiceCommand(ServiceCommand::Latch).bufferBytes, QByteArray("\x66\0\0\0", 4));
    const std::vector<sim::Message> received = simulator_.firmware().Received();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received.front(), c.wire);
}

TEST_P(ServiceCommandTest, ShowsWhatTheBuffersHoldWhenTheProgrammerIsGone) {
    simulator_.Stop();
    ExpectShown(RunServiceCommand(GetParam().command), GetParam().absent);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, ServiceCommandTest,
    ::testing::Values(
        ServiceCase{"EnterBootLoader2", ServiceCommand::EnterBootLoader2, {0xBC, 0xFF, 0xFF, 0xFF},
                    {"EnterBoot OK!", "", ""}, {"USBSendCMD Not OK!", "", ""}},
        ServiceCase{"EnterBootLoader1", ServiceCommand::EnterBootLoader1, {0xBD, 0xFF, 0xFF, 0xFF},
                    {"EnterBoot OK!", "", ""}, {"USBSendCMD Not OK!", "", ""}},
        ServiceCase{"DebugTest1", ServiceCommand::DebugTest1, {0x65, 0xFF, 0xFF, 0xFF},
                    {"", "", "65 00 00 00 00 00 00 10"}, {"", "", "00 00 00 00 00 00 00 00"}},
        ServiceCase{"DebugTest2", ServiceCommand::DebugTest2, {0x67, 0xFF, 0xFF, 0xFF},
                    {"", "", "67 00 00 00 40 C2 20 18"}, {"", "", "00 00 00 00 00 00 00 00"}},
        ServiceCase{"Echo", ServiceCommand::Echo, {0x64, 0xFF, 0xFF, 0xFF}, {"测试OK", "", "64 0B 16 21"},
                    {"", "", "00 00 00 00"}},
        ServiceCase{"EnterApplication", ServiceCommand::EnterApplication, ApplicationEntry(),
                    {"EnterApplication OK!", "", ""}, {"", "", ""}},
        ServiceCase{"PinTest", ServiceCommand::PinTest, {0x88, 0x83, 0, 0, 0, 0, 0, 0x55},
                    {"测试OK", "", "88 83 00 00 00 00 00 55"}, {"", "", "88 83 00 00 00 00 00 55"}},
        ServiceCase{"ProbeIdOld", ServiceCommand::ProbeIdOld, {0x10, 0xFF, 0xFF, 0xFF},
                    {"", "芯片9FID_OLD是:20C2", ""}, {"", "芯片9FID_OLD是:FFFF", ""}},
        ServiceCase{"Latch", ServiceCommand::Latch, {0x66, 0xFF, 0xFF, 0xFF}, {"", "", "66 00 00 00"},
                    {"", "", "00 00 00 00"}},
        ServiceCase{"ProbeId90", ServiceCommand::ProbeId90, {0x20, 0xFF, 0xFF, 0xFF},
                    {"", "芯片90ID是:17C2", ""}, {"", "芯片90ID是:FFFF", ""}},
        ServiceCase{"ProbeId9F", ServiceCommand::ProbeId9F, {0x21, 0xFF, 0xFF, 0xFF},
                    {"", "芯片9FID是:FF1820C2", ""}, {"", "芯片9FID是:FFFFFFFF", ""}},
        ServiceCase{"SpiClockTest", ServiceCommand::SpiClockTest, {0xFD, 0x18, 0x20, 0xC2, 0x00, 0xFF, 0xFF, 0xFF},
                    {"测试OK", "", ""}, {"", "", ""}}),
    CaseName());

// Replies that start with the wrong byte are not a passed test, and what
// arrived is still shown.
TEST_F(ServiceLink, WrongFirstBytesPassNoTest) {
    sim::Faults faults;
    faults.wrongEcho = true;
    simulator_.firmware().SetFaults(faults);
    for (const ServiceCommand command : {ServiceCommand::Echo, ServiceCommand::PinTest, ServiceCommand::SpiClockTest}) {
        const ServiceOutcome outcome = RunServiceCommand(command);
        EXPECT_FALSE(outcome.message.has_value()) << outcome.message.value_or(QString()).toStdString();
        if (outcome.bufferBytes) {
            EXPECT_NE(outcome.bufferBytes->front(), '\0');
        }
    }
}

}  // namespace
