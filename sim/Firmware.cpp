#include "Firmware.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <iterator>
#include <utility>

namespace sim {

namespace {

constexpr std::size_t kSectorBytes = 512;
constexpr std::size_t kCommandFrameBytes = 4;
constexpr std::size_t kLongFrameBytes = 8;
constexpr std::size_t kApplicationEntryBytes = 64;

constexpr std::uint8_t kIdentify = 0x20;
constexpr std::uint8_t kProbeOld = 0x10;
constexpr std::uint8_t kProbeJedec = 0x21;
constexpr std::uint8_t kReadUnit = 0x13;
constexpr std::uint8_t kWriteUnit = 0x12;
constexpr std::uint8_t kPrepare = 0x14;
constexpr std::uint8_t kErase = 0x15;
constexpr std::uint8_t kSpeed = 0xFC;
constexpr std::uint8_t kEcho = 0x64;
constexpr std::uint8_t kDebug1 = 0x65;
constexpr std::uint8_t kLatch = 0x66;
constexpr std::uint8_t kDebug2 = 0x67;
constexpr std::uint8_t kBootLoader2 = 0xBC;
constexpr std::uint8_t kBootLoader1 = 0xBD;
constexpr std::uint8_t kPinMode = 0xFE;
constexpr std::uint8_t kSelfTest = 0x88;
constexpr std::uint8_t kSpiClockTest = 0xFD;
constexpr std::uint8_t kApplicationEntry = 0x04;

constexpr std::uint8_t kWrongEchoMask = 0x80;
constexpr std::uint8_t kFirmwareVersion = 0x10;  // 1.0

// CRC-8, polynomial 0xFF, MSB first, init 0, no final xor: the check byte of
// the pin-mode frames. Bitwise rather than the host's table so the two
// implementations check each other on the wire.
constexpr std::uint8_t Crc8(const std::uint8_t *data, std::size_t count) {
    std::uint8_t crc = 0;
    for (std::size_t i = 0; i < count; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x80) ? static_cast<std::uint8_t>((crc << 1) ^ 0xFF) : static_cast<std::uint8_t>(crc << 1);
        }
    }
    return crc;
}

using LongFrame = std::array<std::uint8_t, kLongFrameBytes>;

constexpr LongFrame WithCrc(LongFrame frame) {
    frame[7] = Crc8(frame.data(), 7);
    return frame;
}

struct KnownPinMode {
    const char *name;
    LongFrame request;
    LongFrame reply;
};

// The reply layouts are what the host's acceptance checks look for; the
// MX25L reply ends in 00 rather than a CRC because the host compares that
// byte with the identifier's top byte.
constexpr std::array<KnownPinMode, 3> kPinModes{{
    {"MX25L", WithCrc({0xFE, 0x18, 0x20, 0xC2, 0x00, 0x00, 0x00, 0}), {0xFE, 0x00, 0x00, 0x00, 0x18, 0x20, 0xC2, 0x00}},
    {"24CX_SMBUS", WithCrc({0xFE, 0x24, 0x24, 0x24, 0x00, 0x04, 0x00, 0}),
     WithCrc({0xFE, 0x00, 0x00, 0x24, 0x24, 0x24, 0x00, 0})},
    {"24CX_IO", WithCrc({0xFE, 0x24, 0x00, 0x00, 0x00, 0x04, 0x00, 0}),
     WithCrc({0xFE, 0x00, 0x00, 0x24, 0x00, 0x00, 0x00, 0})},
}};

constexpr LongFrame kSpiClockTestFrame = {kSpiClockTest, 0x18, 0x20, 0xC2, 0x00, 0xFF, 0xFF, 0xFF};

std::string Hex(std::uint8_t byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[byte >> 4], kDigits[byte & 0x0F]};
}

// Long messages are cut so one line stays readable; the length tells the rest.
std::string DescribeBytes(const Message &message) {
    constexpr std::size_t kShown = 8;
    if (message.empty()) return "(no bytes)";
    std::string text;
    for (std::size_t i = 0; i < std::min(message.size(), kShown); ++i) {
        if (i > 0) text += ' ';
        text += Hex(message[i]);
    }
    if (message.size() > kShown) text += " ... (" + std::to_string(message.size()) + " bytes)";
    return text;
}

Message Bytes(std::initializer_list<std::uint8_t> bytes) { return Message(bytes); }

Replies Reply(Message message) {
    Replies replies;
    replies.messages.push_back(std::move(message));
    return replies;
}

// Calls each(chipOffset, dataOffset, count) for the runs that `count` bytes
// from `address` on take up: addresses wrap at the chip's size, as a real chip
// ignores the address bits above it. Whole runs rather than byte by byte, so a
// unit costs the simulator next to nothing beside the host it serves.
template <typename Each>
void ForEachRun(std::size_t capacity, std::uint64_t address, std::size_t count, Each each) {
    auto chipOffset = static_cast<std::size_t>(address % capacity);
    for (std::size_t done = 0; done < count; chipOffset = 0) {
        const std::size_t run = std::min(count - done, capacity - chipOffset);
        each(chipOffset, done, run);
        done += run;
    }
}

bool AllEqual(const Message &frame, std::size_t from, std::uint8_t value) {
    return std::all_of(frame.begin() + static_cast<std::ptrdiff_t>(from), frame.end(),
                       [value](std::uint8_t b) { return b == value; });
}

}  // namespace

Firmware::Firmware(const ChipModel &chip) : chip_(chip), image_(chip.capacity, 0xFF) {}

Replies Firmware::OnMessage(const Message &message) {
    std::lock_guard lock(mutex_);
    return Handle(message);
}

Replies Firmware::Handle(const Message &message) {
    if (recording_) received_.push_back(message);

    const bool isDataUnit = pendingWriteUnit_.has_value();
    std::string line;
    if (frameLog_) {
        line = isDataUnit ? "<- data unit " + std::to_string(*pendingWriteUnit_) + " (" +
                                std::to_string(message.size()) + " bytes)"
                          : "<- " + DescribeBytes(message);
    }

    std::string note;
    Replies replies;
    const bool isFrame = message.size() == kCommandFrameBytes || message.size() == kLongFrameBytes;
    if (isDataUnit) {
        replies = HandleDataUnit(message, note);
    } else if (isFrame && message[0] == faults_.dropOnCommand) {
        replies = DropDevice(note);
    } else if (message.size() == kCommandFrameBytes) {
        replies = HandleCommandFrame(message, note);
    } else if (message.size() == kLongFrameBytes) {
        replies = HandleEightByteFrame(message, note);
    } else if (message.size() == kApplicationEntryBytes && message[0] == kApplicationEntry && message[1] == 0x52 &&
               AllEqual(message, 2, 0x00)) {
        note = "application entry (already running)";
    } else if (message.empty()) {
        note = "refused: empty message";
    } else {
        note = "refused: " + std::to_string(message.size()) + "-byte message, not a frame, and no write unit pending";
    }

    const bool answersFrame = !isDataUnit && isFrame;
    if (faults_.wrongEcho && answersFrame && !replies.messages.empty() && !replies.messages.front().empty()) {
        replies.messages.front()[0] ^= kWrongEchoMask;
    }

    const std::optional<std::uint8_t> code =
        isDataUnit ? std::optional<std::uint8_t>(kWriteUnit)
                   : (message.empty() ? std::nullopt : std::optional<std::uint8_t>(message[0]));
    if (faults_.noReplyTo && code == faults_.noReplyTo && (!replies.messages.empty() || replies.endless)) {
        replies.messages.clear();
        replies.endless.reset();
        note += note.empty() ? "reply suppressed (fault)" : ", reply suppressed (fault)";
    }

    if (faults_.replyPadding > 0 && !replies.messages.empty()) {
        for (Message &reply : replies.messages) reply.resize(reply.size() + faults_.replyPadding, 0x00);
        note += note.empty() ? "replies padded (fault)" : ", replies padded (fault)";
    }

    if (frameLog_) frameLogLines_.push_back(note.empty() ? line : line + " " + note);
    return replies;
}

Replies Firmware::HandleDataUnit(const Message &data, std::string &note) {
    const std::uint32_t unit = *std::exchange(pendingWriteUnit_, std::nullopt);
    const std::size_t unitBytes = kSectorBytes * pendingWriteSectors_;
    if (data.size() != unitBytes) {
        note = "refused: " + std::to_string(unitBytes) + " bytes expected, write dropped";
        return {};
    }

    const bool onlyClearsBits = chip_.kind == ChipKind::SpiNor;
    ForEachRun(chip_.capacity, std::uint64_t{unit - 1} * unitBytes, data.size(),
               [&](std::size_t chipOffset, std::size_t dataOffset, std::size_t count) {
                   std::uint8_t *cells = image_.data() + chipOffset;
                   const std::uint8_t *bytes = data.data() + dataOffset;
                   if (onlyClearsBits) {
                       for (std::size_t i = 0; i < count; ++i) cells[i] &= bytes[i];
                   } else {
                       std::copy_n(bytes, count, cells);
                   }
               });

    Replies replies;
    replies.messages.assign(faults_.ackJunk, Bytes({0x00}));
    if (faults_.ackJunkEndless) {
        replies.endless = 0x00;
    } else {
        replies.messages.push_back(Bytes({0xFF}));
    }
    return replies;
}

Replies Firmware::HandleCommandFrame(const Message &frame, std::string &note) {
    const std::uint8_t code = frame[0];

    // The speed frame is not a command frame: its byte 3 is the complement of
    // the divisor and so 0 for divisor 255.
    if (code == kSpeed) {
        if (frame[2] != 0x03 || frame[3] != static_cast<std::uint8_t>(0xFF - frame[1])) {
            note = "refused: speed frame must be FC s 03 ~s";
            return {};
        }
        speedDivisor_ = frame[1];
        return Reply(Bytes({kSpeed, speedDivisor_}));
    }

    if (frame[3] == 0x00) {
        note = "refused: byte 3 is 0";
        return {};
    }

    if (code == kReadUnit || code == kWriteUnit) {
        const std::uint32_t unit = frame[1] + 256u * frame[2];
        const std::uint8_t sectors = frame[3];
        if (unit == 0) {
            note = "refused: unit 0";
            return {};
        }
        if (sectors != 1 && sectors != 8) {
            note = "refused: " + std::to_string(sectors) + " sectors per unit (1 or 8)";
            return {};
        }
        if (faults_.dropAtUnit == unit) return DropDevice(note);
        if (code == kReadUnit) return ReadUnit(unit, sectors);
        pendingWriteUnit_ = unit;
        pendingWriteSectors_ = sectors;
        return {};
    }

    if (code == kErase) {
        if (frame[2] != 0xFF || frame[3] != 0xFF) {
            note = "refused: erase frame must be 15 index FF FF";
            return {};
        }
        return EraseBlock(frame[1], note);
    }

    if (code == kPrepare) {
        if (frame[1] != 0x02 || frame[2] != 0xFF || frame[3] != 0xFF) {
            note = "refused: prepare frame must be 14 02 FF FF";
            return {};
        }
        return {};
    }

    const bool knownService = code == kIdentify || code == kProbeOld || code == kProbeJedec || code == kEcho ||
                              code == kDebug1 || code == kLatch || code == kDebug2 || code == kBootLoader2 ||
                              code == kBootLoader1;
    if (!knownService) {
        note = "refused: unknown command " + Hex(code);
        return {};
    }
    if (!AllEqual(frame, 1, 0xFF)) {
        note = "refused: parameters must be FF FF FF";
        return {};
    }

    switch (code) {
    case kIdentify:
        return Reply(Bytes({kIdentify, chip_.id90[0], chip_.id90[1], 0x00}));
    case kProbeOld:
    case kProbeJedec:
        return Reply(Bytes({code, chip_.jedecId[0], chip_.jedecId[1], chip_.jedecId[2]}));
    case kEcho:
        return Reply(Bytes({kEcho, 0x0B, 0x16, 0x21}));
    case kDebug1:
        return Reply(Bytes({kDebug1, selfTestState_[0], selfTestState_[1], selfTestState_[2], selfTestState_[3],
                            selfTestState_[4], selfTestState_[5], kFirmwareVersion}));
    case kDebug2: {
        const std::uint32_t capacityKiB = chip_.capacity / 1024;
        return Reply(
            Bytes({kDebug2, speedDivisor_, pinModeNumber_, static_cast<std::uint8_t>(capacityKiB & 0xFF),
                   static_cast<std::uint8_t>(capacityKiB >> 8), chip_.jedecId[0], chip_.jedecId[1], chip_.jedecId[2]}));
    }
    case kLatch:
        return Reply(Bytes({kLatch, 0x00, 0x00, 0x00}));
    default:
        // The simulator has no boot loader to jump to; it keeps serving.
        note = "boot loader entry (ignored)";
        return {};
    }
}

Replies Firmware::ReadUnit(std::uint32_t unit, std::uint8_t sectors) {
    const std::size_t unitBytes = kSectorBytes * sectors;
    // The header carries 16 bits; a larger fault value is announced as the largest.
    const std::size_t length =
        faults_.headerLength ? std::min<std::uint32_t>(*faults_.headerLength, 0xFFFF) : unitBytes;

    Replies replies;
    replies.messages.push_back(
        Bytes({kReadUnit, static_cast<std::uint8_t>(length & 0xFF), static_cast<std::uint8_t>(length >> 8), 0x00}));
    if (length > 0) {
        Message payload(length);
        ForEachRun(chip_.capacity, std::uint64_t{unit - 1} * unitBytes, length,
                   [&](std::size_t chipOffset, std::size_t payloadOffset, std::size_t count) {
                       std::copy_n(image_.begin() + static_cast<std::ptrdiff_t>(chipOffset), count,
                                   payload.begin() + static_cast<std::ptrdiff_t>(payloadOffset));
                   });
        replies.messages.push_back(std::move(payload));
    }
    return replies;
}

Replies Firmware::EraseBlock(std::uint8_t index, std::string &note) {
    const std::uint32_t block = index + 1u;
    if (faults_.dropAtUnit == block) return DropDevice(note);
    if (faults_.failEraseBlock == block) {
        note = "erase of block " + std::to_string(block) + " fails (fault)";
        return Reply(Bytes({kErase, 0x00, 0x00, 0x00}));
    }

    if (chip_.eraseBlock >= chip_.capacity) {
        std::ranges::fill(image_, 0xFF);
    } else {
        ForEachRun(chip_.capacity, std::uint64_t{index} * chip_.eraseBlock, chip_.eraseBlock,
                   [&](std::size_t chipOffset, std::size_t, std::size_t count) {
                       std::fill_n(image_.begin() + static_cast<std::ptrdiff_t>(chipOffset), count, 0xFF);
                   });
    }
    return Reply(Bytes({kErase, 0xFF, 0x00, 0x00}));
}

// A device that vanishes restarts from power-up when it comes back: only the
// chip keeps its contents.
Replies Firmware::DropDevice(std::string &note) {
    note = "device dropped (fault)";
    speedDivisor_ = 0;
    pinModeNumber_ = 0;
    std::ranges::fill(selfTestState_, 0);
    Replies replies;
    replies.dropDevice = true;
    return replies;
}

Replies Firmware::HandleEightByteFrame(const Message &frame, std::string &note) {
    const std::uint8_t code = frame[0];
    const auto matches = [&frame](const LongFrame &expected) { return std::ranges::equal(frame, expected); };

    if (code == kPinMode) {
        for (std::size_t i = 0; i < kPinModes.size(); ++i) {
            if (!matches(kPinModes[i].request)) continue;
            pinModeNumber_ = static_cast<std::uint8_t>(i + 1);
            note = std::string("pin mode ") + kPinModes[i].name;
            return Reply(Message(kPinModes[i].reply.begin(), kPinModes[i].reply.end()));
        }
        note = Crc8(frame.data(), 7) == frame[7] ? "unknown pin mode, echoed" : "bad CRC, echoed";
        return Reply(frame);
    }

    if (code == kSelfTest) {
        std::copy(frame.begin() + 1, frame.begin() + 7, std::begin(selfTestState_));
        return Reply(frame);
    }

    if (code == kSpiClockTest) {
        if (!matches(kSpiClockTestFrame)) {
            note = "refused: SPICLK test frame must be FD 18 20 C2 00 FF FF FF";
            return {};
        }
        return Reply(Bytes({kSpiClockTest, 0, 0, 0, 0, 0, 0, 0}));
    }

    note = "refused: unknown command " + Hex(code);
    return {};
}

std::vector<std::uint8_t> Firmware::Image() const {
    std::lock_guard lock(mutex_);
    return image_;
}

void Firmware::SetImage(std::vector<std::uint8_t> image) {
    std::lock_guard lock(mutex_);
    image.resize(chip_.capacity, 0xFF);
    image_ = std::move(image);
}

void Firmware::SetFaults(const Faults &faults) {
    std::lock_guard lock(mutex_);
    faults_ = faults;
}

Faults Firmware::CurrentFaults() const {
    std::lock_guard lock(mutex_);
    return faults_;
}

void Firmware::SetRecording(bool on) {
    std::lock_guard lock(mutex_);
    recording_ = on;
}

std::vector<Message> Firmware::Received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

void Firmware::ClearReceived() {
    std::lock_guard lock(mutex_);
    received_.clear();
}

void Firmware::SetFrameLog(bool on) {
    std::lock_guard lock(mutex_);
    frameLog_ = on;
    if (!on) frameLogLines_.clear();
}

std::vector<std::string> Firmware::TakeFrameLog() {
    std::lock_guard lock(mutex_);
    return std::exchange(frameLogLines_, {});
}

}  // namespace sim
