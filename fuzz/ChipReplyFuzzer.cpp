// Fuzzes how the chip routines and the exchanges of the settings, pin-mode
// and service commands take the programmer's replies. Each input runs one of
// them through the shipped library against a simulated programmer whose
// replies are the input's messages (the simulator's reply script): the host
// reads them in order, and once they are used up its reads fail at once, so
// no input waits on the library's read limit.
//
// Input:
//   byte 0     what runs (value mod 7): IdentifyChip, ReadChip, WriteChip,
//              EraseChip, a service command, a pin mode, the speed
//   byte 1     bit 0 large transfer units, bit 1 write mode MX25L, bit 2 no chip selected
//   bytes 2-3  CapacityKB, little-endian
//   byte 4     EraseBlockKB
//   bytes 5-6  size of the image a write sends, little-endian
//   byte 7     the service command or pin mode (in declaration order, modulo
//              their number), or the speed divisor
//   then the replies: each a 16-bit little-endian length and that many bytes
//   (the last one may be cut short)
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include <QBuffer>
#include <QByteArray>
#include <QString>
#include <QStringList>

#include "ChipHost.h"
#include "ChipModel.h"
#include "ChipOperations.h"
#include "FuzzCheck.h"
#include "PinModes.h"
#include "ServiceCommands.h"
#include "Simulator.h"
#include "Un_Const.h"
#include "Un_SetSizeSpeed.h"
#include "Vantu.h"

namespace {

constexpr std::size_t kSettingsSize = 8;
constexpr std::uint8_t kIdentifyEcho = 0x20;
constexpr std::uint8_t kSpeedEcho = 0xFC;
constexpr std::uint8_t kDone = 0xFF;
constexpr int kMaxEraseBlocks = 256;
constexpr int kServiceCommands = static_cast<int>(ServiceCommand::SpiClockTest) + 1;
constexpr int kPinModes = static_cast<int>(PinMode::Io24CX) + 1;

enum class Routine { Identify, Read, Write, Erase, Service, PinMode, Speed };
constexpr int kRoutines = static_cast<int>(Routine::Speed) + 1;

struct Settings {
    Routine routine = Routine::Identify;
    RunState state;
    bool writeModeMX25L = false;
    int imageSize = 0;
    std::uint8_t choice = 0;  // service command, pin mode or speed divisor
};

// What a routine shows the operator, kept for the checks: the result it
// returns and the log it writes must agree.
class RecordingHost final : public ChipHost {
public:
    explicit RecordingHost(bool writeModeMX25L) : writeModeMX25L_(writeModeMX25L) {}

    void AppendLog(const QString &line) override { log.append(line); }
    void SetGaugeMaximum(int maximum) override { gaugeMaximum = maximum; }
    void SetGaugePosition(int position) override { gaugePositions.push_back(position); }
    void ProcessPendingMessages() override {}
    std::uint32_t TickCount() override { return tick_ += 250; }
    bool WriteModeMX25LChecked() override { return writeModeMX25L_; }

    QStringList log;
    int gaugeMaximum = -1;
    std::vector<int> gaugePositions;

private:
    bool writeModeMX25L_;
    std::uint32_t tick_ = 0;
};

int LittleEndian16(std::span<const std::uint8_t> bytes) { return bytes[0] | bytes[1] << 8; }

Settings ParseSettings(std::span<const std::uint8_t> bytes) {
    Settings settings;
    settings.routine = static_cast<Routine>(bytes[0] % kRoutines);
    settings.state.LargeTransfer = (bytes[1] & 1) != 0 ? 1 : 0;
    settings.writeModeMX25L = (bytes[1] & 2) != 0;
    settings.state.ChipSelected = (bytes[1] & 4) != 0 ? 0 : 1;
    settings.state.CapacityKB = LittleEndian16(bytes.subspan(2));
    settings.state.EraseBlockKB = bytes[4];
    settings.state.FirstBlock = 1;
    settings.imageSize = LittleEndian16(bytes.subspan(5));
    settings.choice = bytes[7];
    return settings;
}

// The server sends no empty message (it would read as a vanished device), so
// the script holds none.
std::vector<sim::Message> ParseReplies(std::span<const std::uint8_t> bytes) {
    std::vector<sim::Message> replies;
    while (bytes.size() >= 2) {
        const std::size_t length = std::min<std::size_t>(LittleEndian16(bytes), bytes.size() - 2);
        const std::span<const std::uint8_t> message = bytes.subspan(2, length);
        if (!message.empty()) replies.emplace_back(message.begin(), message.end());
        bytes = bytes.subspan(2 + length);
    }
    return replies;
}

// Gauge positions only move forward, within the gauge's range.
void CheckGauge(const RecordingHost &host) {
    for (std::size_t i = 0; i < host.gaugePositions.size(); ++i) {
        FUZZ_CHECK(host.gaugePositions[i] >= 1 && host.gaugePositions[i] <= host.gaugeMaximum);
        if (i > 0) FUZZ_CHECK(host.gaugePositions[i] > host.gaugePositions[i - 1]);
    }
}

// A 4-byte reply as the host holds it: zero-filled past a short message.
std::vector<std::uint8_t> AsFourByteReply(const sim::Message &message) {
    std::vector<std::uint8_t> reply(4, 0);
    std::copy_n(message.begin(), std::min<std::size_t>(message.size(), reply.size()), reply.begin());
    return reply;
}

void RunIdentify(const Settings &settings, const std::vector<sim::Message> &replies) {
    RecordingHost host(settings.writeModeMX25L);
    const std::uint16_t id = IdentifyChip(host, settings.state);
    // The host reads the first reply alone; one longer than 4 bytes fails that read.
    std::uint16_t expected = 0;
    if (!replies.empty() && replies[0].size() <= 4) {
        const std::vector<std::uint8_t> reply = AsFourByteReply(replies[0]);
        if (reply[0] == kIdentifyEcho) expected = static_cast<std::uint16_t>(reply[1] | reply[2] << 8);
    }
    FUZZ_CHECK(id == expected);
}

void RunRead(const Settings &settings, const std::vector<sim::Message> &replies) {
    RecordingHost host(settings.writeModeMX25L);
    QBuffer stream;
    FUZZ_CHECK(stream.open(QIODevice::ReadWrite));
    const bool complete = ReadChip(host, settings.state, stream);
    CheckGauge(host);
    const auto unitsRead = static_cast<qint64>(host.gaugePositions.size());
    const auto unitCount = std::int64_t{settings.state.CapacityKB} * 1024 / TransferUnit(settings.state);
    // Each unit takes a header and a payload, and a payload is one read of at
    // most VANTU_MAX_TRANSFER bytes: the stream can't outgrow the units read.
    FUZZ_CHECK(unitsRead <= static_cast<qint64>(replies.size() / 2));
    FUZZ_CHECK(stream.size() <= unitsRead * VANTU_MAX_TRANSFER);
    FUZZ_CHECK(stream.size() <= unitCount * VANTU_MAX_TRANSFER);
    FUZZ_CHECK(!complete || (unitsRead == unitCount && unitCount > 0 && host.gaugePositions.back() == unitCount));
    FUZZ_CHECK(complete == host.log.contains(QStringLiteral("读取数据已完成...")));
}

void RunWrite(const Settings &settings, const std::vector<sim::Message> &replies) {
    RecordingHost host(settings.writeModeMX25L);
    QByteArray image(settings.imageSize, '\xCC');
    QBuffer stream(&image);
    FUZZ_CHECK(stream.open(QIODevice::ReadOnly));
    const bool complete = WriteChip(host, settings.state, stream);
    CheckGauge(host);
    // An acknowledgement is read one byte at a time, so only a one-byte FF message is one.
    const auto acknowledgements = std::count(replies.begin(), replies.end(), sim::Message{kDone});
    const auto unitsWritten = static_cast<std::int64_t>(host.gaugePositions.size());
    const int unitBytes = TransferUnit(settings.state);
    FUZZ_CHECK(unitsWritten <= acknowledgements);
    FUZZ_CHECK(image.size() == settings.imageSize);
    FUZZ_CHECK(!complete || unitsWritten == (settings.imageSize + unitBytes - 1) / unitBytes);
    FUZZ_CHECK(complete == host.log.contains(QStringLiteral("写数据已完成...")));
}

void RunErase(const Settings &settings, const std::vector<sim::Message> &replies) {
    RecordingHost host(settings.writeModeMX25L);
    const bool done = EraseChip(host, settings.state);
    CheckGauge(host);
    const auto doneReplies = std::count_if(replies.begin(), replies.end(), [](const sim::Message &message) {
        return message.size() <= 4 && AsFourByteReply(message)[1] == kDone;
    });
    FUZZ_CHECK(static_cast<std::int64_t>(host.gaugePositions.size()) <= doneReplies);
    FUZZ_CHECK(host.gaugeMaximum <= kMaxEraseBlocks);
    // Every erase frame is taken here, so a done erase read the last block's reply.
    FUZZ_CHECK(!done || (!host.gaugePositions.empty() && host.gaugePositions.back() == host.gaugeMaximum));
    FUZZ_CHECK(done == host.log.contains(QStringLiteral("擦除芯片完成...")));
}

// The exchanges below read their reply over a buffer that holds the frame:
// the first reply, when it fits, replaces the start and the rest stays.
template <std::size_t Size>
std::array<std::uint8_t, Size> ReadOver(std::array<std::uint8_t, Size> buffer,
                                        const std::vector<sim::Message> &replies) {
    if (!replies.empty() && replies[0].size() <= Size) std::ranges::copy(replies[0], buffer.begin());
    return buffer;
}

// Service, pin-mode and speed commands go out on the pipes of the last open,
// as the window's connect left them.
void OpenAsConnected() { FUZZ_CHECK(Vantu_OpenDevice(0) == VANTU_OK); }

void RunService(const Settings &settings, const std::vector<sim::Message> &replies) {
    OpenAsConnected();
    const auto command = static_cast<ServiceCommand>(settings.choice % kServiceCommands);
    const ServiceOutcome outcome = RunServiceCommand(command);
    if (outcome.bufferBytes) FUZZ_CHECK(outcome.bufferBytes->size() == 4 || outcome.bufferBytes->size() == 8);
    // The frame-echo tests pass only on a first reply that starts with their code.
    if (command == ServiceCommand::PinTest || command == ServiceCommand::SpiClockTest) {
        const std::uint8_t code = command == ServiceCommand::PinTest ? 0x88 : 0xFD;
        const bool passed = outcome.message == QStringLiteral("测试OK");
        FUZZ_CHECK(!passed || (!replies.empty() && replies[0].size() <= 8 && replies[0][0] == code));
    }
}

void RunPinMode(const Settings &settings, const std::vector<sim::Message> &replies) {
    OpenAsConnected();
    RecordingHost host(settings.writeModeMX25L);
    const auto mode = static_cast<PinMode>(settings.choice % kPinModes);
    const PinModeOutcome outcome = ConfigurePinMode(host, mode);
    FUZZ_CHECK(outcome.sent == BuildPinModeFrame(mode));
    // A reply longer than the buffer fails the read, and what the failed read
    // left in the buffer is not the library's promise.
    const bool read = !replies.empty() && replies[0].size() <= outcome.buffer.size();
    if (read || replies.empty()) FUZZ_CHECK(outcome.buffer == ReadOver(outcome.sent, replies));
    FUZZ_CHECK(!outcome.accepted || read);
    FUZZ_CHECK(host.log.size() == (outcome.accepted ? 1 : 0));
}

void RunSpeed(const Settings &settings, const std::vector<sim::Message> &replies) {
    OpenAsConnected();
    const std::optional<std::uint8_t> inEffect = SendSpeed(settings.choice);
    const SpeedFrame frame = BuildSpeedFrame(settings.choice);
    const std::array<std::uint8_t, 8> reply =
        ReadOver(std::array<std::uint8_t, 8>{frame[0], frame[1], frame[2], frame[3]}, replies);
    const bool answered = !replies.empty() && replies[0].size() <= reply.size() && reply[0] == kSpeedEcho;
    FUZZ_CHECK(inEffect == (answered ? std::optional<std::uint8_t>(reply[1]) : std::nullopt));
}

std::string registryFolder;

void RemoveRegistry() {
    std::error_code ignored;
    std::filesystem::remove_all(registryFolder, ignored);
}

}  // namespace

// A device registry of this process's own, so that no other programmer,
// simulated or real, is found instead of the scripted one.
extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    char folder[] = "/tmp/kestro-fuzz-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        std::perror("chip_reply_fuzzer: mkdtemp");
        std::exit(2);
    }
    registryFolder = folder;
    std::atexit(RemoveRegistry);
    setenv("XDG_RUNTIME_DIR", folder, 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < kSettingsSize) return 0;
    const std::span<const std::uint8_t> input(data, size);
    Settings settings = ParseSettings(input.first(kSettingsSize));
    const std::vector<sim::Message> replies = ParseReplies(input.subspan(kSettingsSize));

    sim::ServerOptions options;
    options.instance = "chip-reply-fuzz";
    options.replyScript = replies;
    // The smallest chip: the firmware still takes every frame, and its work is not what is fuzzed.
    sim::Simulator simulator(*sim::FindChipModel("24C64"), options);
    std::string error;
    if (!simulator.Start(&error)) {
        std::fprintf(stderr, "chip_reply_fuzzer: %s\n", error.c_str());
        std::abort();
    }
    FUZZ_CHECK(Vantu_GetNumDevices(&settings.state.DeviceCount) == VANTU_OK && settings.state.DeviceCount == 1);

    switch (settings.routine) {
    case Routine::Identify: RunIdentify(settings, replies); break;
    case Routine::Read: RunRead(settings, replies); break;
    case Routine::Write: RunWrite(settings, replies); break;
    case Routine::Erase: RunErase(settings, replies); break;
    case Routine::Service: RunService(settings, replies); break;
    case Routine::PinMode: RunPinMode(settings, replies); break;
    case Routine::Speed: RunSpeed(settings, replies); break;
    }
    return 0;
}
