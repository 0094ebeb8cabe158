#include <array>

#include <QString>

#include "ChipOperations.h"
#include "CommandLink.h"

namespace {

constexpr std::uint8_t kIdentifyCommand = 0x20;

}  // namespace

std::uint16_t IdentifyChip(ChipHost &host, const RunState &state) {
    if (!OpenProgrammer(host, state)) return 0;
    if (!SendCommand(kIdentifyCommand, 0xFF, 0xFF, 0)) {
        host.AppendLog(QStringLiteral("通讯中断：检测芯片错误..."));
        return 0;
    }
    std::array<std::uint8_t, 4> reply;
    if (!ReadReply(reply)) {
        host.AppendLog(QStringLiteral("与设备断开，读取芯片ID失败..."));
        return 0;
    }
    if (reply[0] != kIdentifyCommand) {
        host.AppendLog(QStringLiteral("读取芯片ID错误..."));
        return 0;
    }
    const auto id = static_cast<std::uint16_t>(reply[1] | reply[2] << 8);
    host.AppendLog(QStringLiteral("芯片ID是:") + QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0')).toUpper());
    return id;
}
