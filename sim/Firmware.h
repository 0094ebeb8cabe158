// The programmer's firmware as the simulator plays it: messages from the
// write pipe in, reply messages for the read pipe out. Pure logic, no I/O:
// the device server (DeviceServer.h) carries the messages.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ChipModel.h"

namespace sim {

using Message = std::vector<std::uint8_t>;

// Faults a test or an operator can inject. Unit numbers count from 1 as on
// the wire; erase blocks count from 1 too (block index + 1).
struct Faults {
    // The device vanishes when the read or write frame of this unit, or the
    // erase frame of this block, arrives (0 = never).
    std::uint32_t dropAtUnit = 0;
    // Frames with this command code get no reply at all (nullopt = none).
    std::optional<std::uint8_t> noReplyTo;
    // Replies that the host checks by their first byte start with a wrong one.
    bool wrongEcho = false;
    // Read-unit headers announce this payload length, and that many bytes follow.
    std::optional<std::uint32_t> headerLength;
    // Bytes other than 0xFF sent before each write acknowledgement; endless
    // means the acknowledgement never comes.
    std::uint32_t ackJunk = 0;
    bool ackJunkEndless = false;
    // The erase of this block reports failure (0 = never).
    std::uint32_t failEraseBlock = 0;
    // The device vanishes when a frame with this command code arrives (nullopt = never).
    std::optional<std::uint8_t> dropOnCommand;
    // Every reply message carries this many 00 bytes more than it should.
    std::uint32_t replyPadding = 0;
};

// What one incoming message makes the device do.
struct Replies {
    std::vector<Message> messages;        // sent on the read pipe, in order
    std::optional<std::uint8_t> endless;  // then keep sending this byte, one message each
    bool dropDevice = false;              // vanish after sending the messages
};

class Firmware {
public:
    explicit Firmware(const ChipModel &chip);

    // Handles one message from the write pipe. Thread-safe.
    Replies OnMessage(const Message &message);

    const ChipModel &Chip() const { return chip_; }

    // Chip contents (copies; thread-safe).
    std::vector<std::uint8_t> Image() const;
    void SetImage(std::vector<std::uint8_t> image);  // resized to the chip's capacity with 0xFF

    void SetFaults(const Faults &faults);
    Faults CurrentFaults() const;

    // Every message received so far, when recording is on (off by default).
    void SetRecording(bool on);
    std::vector<Message> Received() const;
    void ClearReceived();

    // One line per received message for a person watching the wire, or empty.
    void SetFrameLog(bool on);
    std::vector<std::string> TakeFrameLog();

private:
    // All called with mutex_ held. Each handler fills `note` for the frame
    // log when the outcome isn't plain from the bytes (a refusal, a fault).
    Replies Handle(const Message &message);
    Replies HandleDataUnit(const Message &data, std::string &note);
    Replies HandleCommandFrame(const Message &frame, std::string &note);
    Replies HandleEightByteFrame(const Message &frame, std::string &note);
    Replies ReadUnit(std::uint32_t unit, std::uint8_t sectors);
    Replies EraseBlock(std::uint8_t index, std::string &note);
    Replies DropDevice(std::string &note);

    const ChipModel &chip_;
    mutable std::mutex mutex_;
    std::vector<std::uint8_t> image_;
    Faults faults_;
    bool recording_ = false;
    std::vector<Message> received_;
    bool frameLog_ = false;
    std::vector<std::string> frameLogLines_;
    // Firmware state between messages.
    std::optional<std::uint32_t> pendingWriteUnit_;  // 0x12 seen, data unit expected
    std::uint8_t pendingWriteSectors_ = 1;
    std::uint8_t speedDivisor_ = 0;
    std::uint8_t pinModeNumber_ = 0;  // 0 = none since power-up, else 1 + index of the known mode
    std::uint8_t selfTestState_[6] = {};
};

}  // namespace sim
