#include "CommandLink.h"

#include <algorithm>
#include <array>

#include <QString>

#include "ChipOperations.h"
#include "Vantu.h"

namespace {

constexpr int kSectorBytes = 512;
constexpr int kLargeTransferSectors = 8;

}  // namespace

bool SendCommand(std::uint8_t code, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3) {
    // The firmware refuses a frame whose last byte is 0.
    const std::array<std::uint8_t, 4> frame{code, p1, p2, p3 == 0 ? std::uint8_t{0xFF} : p3};
    std::uint32_t transferred = 0;
    return Vantu_DeviceWrite(frame.data(), frame.size(), &transferred, kTransferArgument) != 0;
}

int SectorsPerTransfer(const RunState &state) { return state.LargeTransfer != 0 ? kLargeTransferSectors : 1; }

int TransferUnit(const RunState &state) { return kSectorBytes * SectorsPerTransfer(state); }

QString ElapsedTimeLine(std::uint32_t startTick, std::uint32_t endTick) {
    const std::uint32_t elapsedMs = endTick - startTick;
    return QStringLiteral("用时:") + QString::number(elapsedMs / 1000) + QStringLiteral("秒");
}

bool OpenProgrammer(ChipHost &host, const RunState &state) {
    if (Vantu_OpenDevice(state.DeviceCount - 1) == VANTU_OK) return true;
    host.AppendLog(QStringLiteral("未连接到设备..."));
    return false;
}

bool ReadReply(std::span<std::uint8_t> reply) {
    std::ranges::fill(reply, std::uint8_t{0});
    std::uint32_t transferred = 0;
    return Vantu_DeviceRead(reply.data(), static_cast<std::uint32_t>(reply.size()), &transferred,
                            kTransferArgument) != 0;
}
