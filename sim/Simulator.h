// A simulated programmer served on a thread of the calling process, for tests
// and benchmarks. The firmware (and so the chip image) outlives Stop(), so a
// test can make the device vanish and come back with the same contents.
#pragma once

#include <memory>
#include <string>
#include <thread>

#include "DeviceServer.h"
#include "Firmware.h"

namespace sim {

class Simulator {
public:
    explicit Simulator(const ChipModel &chip, ServerOptions options = {});
    ~Simulator();
    Simulator(const Simulator &) = delete;
    Simulator &operator=(const Simulator &) = delete;

    // Registers the member and serves it on a thread; returns once it is
    // present. False with a reason when it can't be registered.
    bool Start(std::string *error = nullptr);

    // Removes the member and joins the thread. Harmless when not running.
    void Stop();

    Firmware &firmware() { return firmware_; }
    std::string MemberPath() const;

private:
    Firmware firmware_;
    ServerOptions options_;
    std::unique_ptr<DeviceServer> server_;
    std::thread thread_;
};

}  // namespace sim
