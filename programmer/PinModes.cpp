#include "PinModes.h"

#include <algorithm>

#include <QString>

#include "Crc8Unt.h"
#include "ServiceCommands.h"

namespace {

constexpr std::uint8_t kPinModeCommand = 0xFE;
constexpr std::int32_t kCrcCoverage = 7;

struct ModeDefinition {
    std::uint32_t identifier;
    std::uint16_t parameter;
    // Where the reply must repeat the identifier's low four bytes.
    std::size_t echoOffset;
    std::array<std::uint8_t, 4> echo;
    bool replyCarriesCrc;
    const char *successLine;
};

// In the order of PinMode. The MX25L identifier is the MX25L12845's JEDEC id
// C2 20 18, last byte first.
constexpr std::array<ModeDefinition, 3> kModes{{
    {0x00C22018, 0, 4, {0x18, 0x20, 0xC2, 0x00}, false, "配置MX25L12845引脚成功!"},
    {0x00242424, 4, 3, {0x24, 0x24, 0x24, 0x00}, false, "配置ATMEL 24CXX引脚成功!"},
    {0x00000024, 4, 3, {0x24, 0x00, 0x00, 0x00}, true, "测试CRC成功!"},
}};

const ModeDefinition &Definition(PinMode mode) { return kModes[static_cast<std::size_t>(mode)]; }

}  // namespace

PinModeFrame BuildPinModeFrame(PinMode mode) {
    const ModeDefinition &definition = Definition(mode);
    PinModeFrame frame{kPinModeCommand,
                       static_cast<std::uint8_t>(definition.identifier),
                       static_cast<std::uint8_t>(definition.identifier >> 8),
                       static_cast<std::uint8_t>(definition.identifier >> 16),
                       static_cast<std::uint8_t>(definition.identifier >> 24),
                       static_cast<std::uint8_t>(definition.parameter),
                       static_cast<std::uint8_t>(definition.parameter >> 8),
                       0};
    frame[7] = Crc8TableCalc(frame.data(), kCrcCoverage);
    return frame;
}

bool PinModeReplyAccepted(PinMode mode, const PinModeFrame &buffer) {
    const ModeDefinition &definition = Definition(mode);
    if (buffer[0] != kPinModeCommand) return false;
    if (!std::equal(definition.echo.begin(), definition.echo.end(), buffer.begin() + definition.echoOffset)) {
        return false;
    }
    return !definition.replyCarriesCrc || Crc8TableCheck(buffer.data(), kCrcCoverage, buffer[7]);
}

PinModeOutcome ConfigurePinMode(ChipHost &host, PinMode mode) {
    PinModeOutcome outcome;
    outcome.sent = BuildPinModeFrame(mode);
    outcome.buffer = outcome.sent;
    const bool exchanged = WriteFrame(outcome.buffer) && ReadOverFrame(outcome.buffer);
    outcome.accepted = exchanged && PinModeReplyAccepted(mode, outcome.buffer);
    if (outcome.accepted) host.AppendLog(QString::fromUtf8(Definition(mode).successLine));
    return outcome;
}
