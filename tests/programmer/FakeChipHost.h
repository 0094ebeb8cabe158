// A ChipHost that records what a chip routine shows the operator and hands
// out scripted ticks.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <ostream>
#include <vector>

#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

#include "ChipHost.h"
#include "QtPrinters.h"

class FakeChipHost : public ChipHost {
public:
    QStringList log;
    std::optional<int> gaugeMaximum;
    std::vector<int> gaugePositions;
    // The gauge position at each pass of the event loop, so a test sees which
    // units were followed by one.
    std::vector<int> pumpedAtPositions;
    // Runs inside each pass of the event loop, as another menu command would.
    std::function<void()> onPump;
    // Handed out in order; a routine that asks for more fails the test.
    std::deque<std::uint32_t> ticks;

    void AppendLog(const QString &line) override { log.append(line); }
    void SetGaugeMaximum(int maximum) override { gaugeMaximum = maximum; }
    void SetGaugePosition(int position) override { gaugePositions.push_back(position); }
    void ProcessPendingMessages() override {
        pumpedAtPositions.push_back(gaugePositions.empty() ? 0 : gaugePositions.back());
        if (onPump) onPump();
    }
    std::uint32_t TickCount() override {
        if (ticks.empty()) {
            ADD_FAILURE() << "tick count read more often than scripted";
            return 0;
        }
        const std::uint32_t tick = ticks.front();
        ticks.pop_front();
        return tick;
    }
    bool WriteModeMX25LChecked() override { return false; }
};
