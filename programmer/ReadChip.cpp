#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include <QBuffer>
#include <QIODevice>
#include <QString>

#include "ChipOperations.h"
#include "CommandLink.h"

namespace {

constexpr std::uint8_t kReadUnitCommand = 0x13;

}  // namespace

bool ReadChip(ChipHost &host, const RunState &state, QIODevice &stream) {
    if (!OpenProgrammer(host, state)) return false;
    if (state.ChipSelected == 0) {
        host.AppendLog(QStringLiteral("请选择芯片型号..."));
        return false;
    }
    const std::uint32_t startTick = host.TickCount();

    // Fixed here, so a settings change made between two units does not affect this read.
    const auto sectors = static_cast<std::uint8_t>(SectorsPerTransfer(state));
    const int unitBytes = TransferUnit(state);
    const auto unitCount = static_cast<int>(std::int64_t{state.CapacityKB} * 1024 / unitBytes);
    stream.seek(0);
    // A memory stream gets room for the whole chip at once: growing it on the
    // way moves every byte read so far, tens of milliseconds in one go at 16 MiB.
    if (auto *memory = qobject_cast<QBuffer *>(&stream)) {
        memory->buffer().reserve(std::max(memory->size(), qsizetype{unitCount} * unitBytes));
    }
    host.AppendLog(QStringLiteral("正在读取数据，请稍等..."));
    host.SetGaugeMaximum(unitCount);

    std::array<std::uint8_t, 4> header;
    // One buffer for the whole read; it grows only if a header announces more than a unit.
    std::vector<std::uint8_t> payload;
    payload.reserve(static_cast<std::size_t>(unitBytes));
    bool complete = false;
    for (int unit = state.FirstBlock; unit <= unitCount; ++unit) {
        if (!SendCommand(kReadUnitCommand, static_cast<std::uint8_t>(unit), static_cast<std::uint8_t>(unit >> 8),
                         sectors)) {
            host.AppendLog(QStringLiteral("通讯中断：读数据失败..."));
            break;
        }
        if (!ReadReply(header)) {
            host.AppendLog(QStringLiteral("读数据头失败..."));
            break;
        }
        payload.resize(header[1] | static_cast<std::size_t>(header[2]) << 8);
        if (!ReadReply(payload)) {
            host.AppendLog(QStringLiteral("读数据失败..."));
            break;
        }
        stream.write(reinterpret_cast<const char *>(payload.data()), static_cast<qint64>(payload.size()));
        host.SetGaugePosition(unit);
        if (unit == unitCount) {
            host.AppendLog(QStringLiteral("读取数据已完成..."));
            complete = true;
            break;
        }
        host.ProcessPendingMessages();
    }

    host.AppendLog(ElapsedTimeLine(startTick, host.TickCount()));
    return complete;
}
