#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include <QIODevice>
#include <QString>

#include "ChipOperations.h"
#include "CommandLink.h"
#include "Vantu.h"

namespace {

constexpr std::uint8_t kWriteUnitCommand = 0x12;
constexpr std::uint8_t kPrepareCommand = 0x14;
constexpr std::uint8_t kAcknowledge = 0xFF;
// A programmer that keeps sending other bytes has lost track of the unit;
// without a bound the write would wait for ever.
constexpr int kMaxBytesBeforeAcknowledge = 4096;

// Reads single bytes until the acknowledgement. False when a read fails or
// the bound is reached first.
bool AwaitAcknowledgement() {
    std::array<std::uint8_t, 4> reply{};
    for (int bytesRead = 0; bytesRead < kMaxBytesBeforeAcknowledge; ++bytesRead) {
        reply[0] = 0;
        std::uint32_t transferred = 0;
        if (Vantu_DeviceRead(reply.data(), 1, &transferred, kTransferArgument) == 0) return false;
        if (reply[0] == kAcknowledge) return true;
    }
    return false;
}

}  // namespace

bool WriteChip(ChipHost &host, const RunState &state, QIODevice &stream) {
    if (!OpenProgrammer(host, state)) return false;
    if (state.ChipSelected == 0) {
        host.AppendLog(QStringLiteral("请选择芯片型号..."));
        return false;
    }
    const std::int64_t imageSize = stream.size();
    if (imageSize > std::int64_t{state.CapacityKB} * 1024) {
        host.AppendLog(QStringLiteral("文件尺寸太大，超过芯片容量......"));
        return false;
    }
    if (!OpenProgrammer(host, state)) return false;
    const std::uint32_t startTick = host.TickCount();

    const auto sectors = static_cast<std::uint8_t>(SectorsPerTransfer(state));
    const int unitBytes = TransferUnit(state);
    if (host.WriteModeMX25LChecked()) SendCommand(kPrepareCommand, 0x02, 0xFF, 0);
    host.AppendLog(QStringLiteral("正在写数据，请稍等..."));

    const auto unitCount = static_cast<int>((imageSize + unitBytes - 1) / unitBytes);
    stream.seek(0);
    host.SetGaugeMaximum(unitCount);

    std::vector<std::uint8_t> unit(static_cast<std::size_t>(unitBytes));
    bool complete = false;
    for (int number = 1; number <= unitCount; ++number) {
        std::ranges::fill(unit, std::uint8_t{0});
        if (!SendCommand(kWriteUnitCommand, static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
                         sectors)) {
            host.AppendLog(QStringLiteral("通讯中断：写数据失败..."));
            break;
        }
        stream.seek(std::int64_t{number - 1} * unitBytes);
        stream.read(reinterpret_cast<char *>(unit.data()), unitBytes);
        std::uint32_t transferred = 0;
        if (Vantu_DeviceWrite(unit.data(), static_cast<std::uint32_t>(unit.size()), &transferred,
                              kTransferArgument) == 0) {
            host.AppendLog(QStringLiteral("写数据失败..."));
            break;
        }
        if (!AwaitAcknowledgement()) {
            host.AppendLog(QStringLiteral("无应答，写数据失败..."));
            break;
        }
        host.SetGaugePosition(number);
        if (number == unitCount) {
            host.AppendLog(QStringLiteral("写数据已完成..."));
            complete = true;
            break;
        }
        host.ProcessPendingMessages();
    }

    host.AppendLog(ElapsedTimeLine(startTick, host.TickCount()));
    return complete;
}
