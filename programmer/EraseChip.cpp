#include <array>
#include <cstdint>

#include <QString>

#include "ChipOperations.h"
#include "CommandLink.h"

namespace {

constexpr std::uint8_t kPrepareCommand = 0x14;
constexpr std::uint8_t kEraseBlockCommand = 0x15;
constexpr std::uint8_t kBlockDone = 0xFF;
// The erase frame carries the block index in one byte.
constexpr int kMaxBlocks = 256;

}  // namespace

bool EraseChip(ChipHost &host, const RunState &state) {
    if (state.ChipSelected == 0) {
        host.AppendLog(QStringLiteral("请选择芯片型号..."));
        return false;
    }
    const std::uint32_t startTick = host.TickCount();
    if (!OpenProgrammer(host, state)) return false;

    const int blockCount = state.EraseBlockKB > 0 ? state.CapacityKB / state.EraseBlockKB : 0;
    // Wrapped indexes would erase the first blocks twice and never the rest.
    if (blockCount > kMaxBlocks) {
        host.AppendLog(QStringLiteral("擦除块数超过256，无法擦除..."));
        host.AppendLog(QStringLiteral("擦除芯片失败..."));
        host.AppendLog(ElapsedTimeLine(startTick, host.TickCount()));
        return false;
    }

    SendCommand(kPrepareCommand, 0x02, 0xFF, 0);
    host.AppendLog(QStringLiteral("正在擦除芯片，请稍等..."));
    host.SetGaugeMaximum(blockCount);

    bool lastReplyDone = false;
    // A block whose frame or reply was lost may not be erased at all; a good
    // reply to a later block must not hide that.
    bool everyExchangeCompleted = true;
    std::array<std::uint8_t, 4> reply;
    for (int block = 1; block <= blockCount; ++block) {
        if (SendCommand(kEraseBlockCommand, static_cast<std::uint8_t>(block - 1), 0xFF, 0)) {
            const bool replyRead = ReadReply(reply);
            everyExchangeCompleted = everyExchangeCompleted && replyRead;
            lastReplyDone = replyRead && reply[1] == kBlockDone;
            if (lastReplyDone) host.SetGaugePosition(block);
        } else {
            everyExchangeCompleted = false;
        }
        host.ProcessPendingMessages();
    }

    const bool erased = lastReplyDone && everyExchangeCompleted;
    host.AppendLog(erased ? QStringLiteral("擦除芯片完成...") : QStringLiteral("擦除芯片失败..."));
    host.AppendLog(ElapsedTimeLine(startTick, host.TickCount()));
    return erased;
}
