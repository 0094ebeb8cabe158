// What the chip routines need from the window that runs them. The routines
// never touch a widget; TfrmMain implements this, tests replace it.
#pragma once

#include <cstdint>

class QString;

class ChipHost {
public:
    virtual ~ChipHost() = default;

    // Appends one line to the log.
    virtual void AppendLog(const QString &line) = 0;
    // The progress gauge: maximum = number of steps, position = step done.
    virtual void SetGaugeMaximum(int maximum) = 0;
    virtual void SetGaugePosition(int position) = 0;
    // One pass of the event loop, so the window stays live and other menu
    // commands can run between two units.
    virtual void ProcessPendingMessages() = 0;
    // Milliseconds since some fixed point; wraps around at 2^32.
    virtual std::uint32_t TickCount() = 0;
    // Whether the write mode "MX25L" (miMX25L) is checked.
    virtual bool WriteModeMX25LChecked() = 0;
};
