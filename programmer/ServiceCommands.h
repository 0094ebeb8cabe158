// The programmer's service commands: boot-loader and application entry,
// debug tests, the echo, pin, latch and SPICLK tests and the identification
// probes. Each goes at once to the programmer the main window has open and
// says what the operator is to be shown; none touches a widget.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include <QByteArray>
#include <QString>

enum class ServiceCommand {
    EnterBootLoader2,  // BC FF FF FF, no reply
    EnterBootLoader1,  // BD FF FF FF, no reply
    DebugTest1,        // 65 FF FF FF, 8 reply bytes shown
    DebugTest2,        // 67 FF FF FF, 8 reply bytes shown
    Echo,              // 64 FF FF FF, 4 reply bytes shown
    EnterApplication,  // 04 52 00 and 61 zero bytes, no reply
    PinTest,           // 88 83 00 00 00 00 00 55, 8 bytes shown
    ProbeIdOld,        // 10 FF FF FF, logged
    Latch,             // 66 FF FF FF, 4 reply bytes shown
    ProbeId90,         // 20 FF FF FF, logged
    ProbeId9F,         // 21 FF FF FF, logged
    SpiClockTest,      // FD 18 20 C2 00 FF FF FF
};

// What the operator sees after a service command, in this order: a message
// box, a log line, the bytes that replace the whole data buffer.
struct ServiceOutcome {
    std::optional<QString> message;
    std::optional<QString> logLine;
    std::optional<QByteArray> bufferBytes;
};

ServiceOutcome RunServiceCommand(ServiceCommand command);

// Writes the bytes as one frame; true when the library reports it written.
bool WriteFrame(std::span<const std::uint8_t> frame);

// Reads a reply over the buffer, so bytes the programmer does not send keep
// the values they had; true when the library reports the read done.
bool ReadOverFrame(std::span<std::uint8_t> buffer);
