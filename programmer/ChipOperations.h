// The command link to the programmer and the chip routines built on it. Each
// routine talks to the programmer through the Vantu exports, reads and
// follows RunState, reports through the host's log and gauge, and returns
// whether it succeeded; callers do not need the result to tell the operator.
#pragma once

#include <cstdint>

#include "ChipHost.h"
#include "Un_Const.h"

class QIODevice;
class QString;

// Writes the 4-byte command frame code p1 p2 p3 (a p3 of 0 goes out as 0xFF).
// True when the library reports the write done.
bool SendCommand(std::uint8_t code, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3);

// The chip's 16-bit id, or 0 on any failure.
std::uint16_t IdentifyChip(ChipHost &host, const RunState &state);

// Reads the whole chip, as sized by CapacityKB, into the stream (passed empty).
// True only when the last transfer unit arrived.
bool ReadChip(ChipHost &host, const RunState &state, QIODevice &stream);

// Writes the stream's whole content to the chip, one acknowledged unit at a
// time; a last unit the image only partly fills is padded with zero bytes.
// True only when the last unit was acknowledged (so false for an empty image).
bool WriteChip(ChipHost &host, const RunState &state, QIODevice &stream);

// Erases the chip block by block, as sized by CapacityKB and EraseBlockKB.
// True when the last reply read reported its block done and no erase frame
// or reply of any block was lost on the way.
bool EraseChip(ChipHost &host, const RunState &state);

// The MD5 digest of the stream from its start to its end, as 32 upper-case
// hexadecimal digits.
QString StreamDigestHex(QIODevice &stream);

// Sectors of 512 bytes per transfer unit, and the unit's size in bytes.
int SectorsPerTransfer(const RunState &state);
int TransferUnit(const RunState &state);

// "用时:<whole seconds>秒" for ticks taken at the start and the end; the tick
// difference is an unsigned 32-bit number, so a wrap in between still counts.
QString ElapsedTimeLine(std::uint32_t startTick, std::uint32_t endTick);
