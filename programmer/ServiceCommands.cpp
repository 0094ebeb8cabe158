#include "ServiceCommands.h"

#include <algorithm>
#include <array>
#include <vector>

#include "ChipOperations.h"
#include "CommandLink.h"
#include "Vantu.h"

namespace {

const QString kTestOk = QStringLiteral("测试OK");

QByteArray AsBytes(std::span<const std::uint8_t> bytes) {
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

ServiceOutcome EnterBootLoader(std::uint8_t code) {
    ServiceOutcome outcome;
    outcome.message = SendCommand(code, 0xFF, 0xFF, 0) ? QStringLiteral("EnterBoot OK!")
                                                       : QStringLiteral("USBSendCMD Not OK!");
    return outcome;
}

// A command frame code FF FF FF, then up to replyBytes into a zero-filled
// buffer. The buffer is shown whatever happened.
ServiceOutcome ShowReply(std::uint8_t code, std::size_t replyBytes, const std::vector<std::uint8_t> &goodReply = {}) {
    std::vector<std::uint8_t> reply(replyBytes, 0);
    const bool received = SendCommand(code, 0xFF, 0xFF, 0) && ReadReply(reply);
    ServiceOutcome outcome;
    if (received && !goodReply.empty() && reply == goodReply) outcome.message = kTestOk;
    outcome.bufferBytes = AsBytes(reply);
    return outcome;
}

ServiceOutcome EnterApplication() {
    std::array<std::uint8_t, 64> frame{};
    frame[0] = 0x04;
    frame[1] = 0x52;
    ServiceOutcome outcome;
    if (WriteFrame(frame)) outcome.message = QStringLiteral("EnterApplication OK!");
    return outcome;
}

// Writes the frame and reads the reply over it; "测试OK" when the read
// succeeded and the reply's first byte is the frame's own.
ServiceOutcome ExchangeOverFrame(std::array<std::uint8_t, 8> buffer, bool showBuffer) {
    const std::uint8_t code = buffer[0];
    ServiceOutcome outcome;
    if (WriteFrame(buffer) && ReadOverFrame(buffer) && buffer[0] == code) outcome.message = kTestOk;
    if (showBuffer) outcome.bufferBytes = AsBytes(buffer);
    return outcome;
}

// The four frame bytes followed by four FF bytes as filler; the reply, at
// most four bytes, overwrites the start.
ServiceOutcome ProbeId(std::uint8_t code, const QString &label, int valueBytes, int minimumDigits) {
    std::array<std::uint8_t, 8> buffer;
    buffer.fill(0xFF);
    buffer[0] = code;
    if (WriteFrame(std::span(buffer).first(4))) ReadOverFrame(std::span(buffer).first(4));
    std::uint32_t value = 0;
    for (int index = valueBytes; index >= 1; --index) value = value << 8 | buffer[static_cast<std::size_t>(index)];
    ServiceOutcome outcome;
    outcome.logLine = label + QStringLiteral("%1").arg(value, minimumDigits, 16, QLatin1Char('0')).toUpper();
    return outcome;
}

}  // namespace

bool WriteFrame(std::span<const std::uint8_t> frame) {
    std::uint32_t transferred = 0;
    return Vantu_DeviceWrite(frame.data(), static_cast<std::uint32_t>(frame.size()), &transferred,
                             kTransferArgument) != 0;
}

bool ReadOverFrame(std::span<std::uint8_t> buffer) {
    std::uint32_t transferred = 0;
    return Vantu_DeviceRead(buffer.data(), static_cast<std::uint32_t>(buffer.size()), &transferred,
                            kTransferArgument) != 0;
}

ServiceOutcome RunServiceCommand(ServiceCommand command) {
    switch (command) {
    case ServiceCommand::EnterBootLoader2:
        return EnterBootLoader(0xBC);
    case ServiceCommand::EnterBootLoader1:
        return EnterBootLoader(0xBD);
    case ServiceCommand::DebugTest1:
        return ShowReply(0x65, 8);
    case ServiceCommand::DebugTest2:
        return ShowReply(0x67, 8);
    case ServiceCommand::Echo:
        return ShowReply(0x64, 4, {0x64, 0x0B, 0x16, 0x21});
    case ServiceCommand::EnterApplication:
        return EnterApplication();
    case ServiceCommand::PinTest:
        return ExchangeOverFrame({0x88, 0x83, 0x00, 0x00, 0x00, 0x00, 0x00, 0x55}, true);
    case ServiceCommand::ProbeIdOld:
        return ProbeId(0x10, QStringLiteral("芯片9FID_OLD是:"), 2, 2);
    case ServiceCommand::Latch:
        return ShowReply(0x66, 4);
    case ServiceCommand::ProbeId90:
        return ProbeId(0x20, QStringLiteral("芯片90ID是:"), 2, 2);
    case ServiceCommand::ProbeId9F:
        return ProbeId(0x21, QStringLiteral("芯片9FID是:"), 4, 4);
    case ServiceCommand::SpiClockTest:
        return ExchangeOverFrame({0xFD, 0x18, 0x20, 0xC2, 0x00, 0xFF, 0xFF, 0xFF}, false);
    }
    return {};
}
