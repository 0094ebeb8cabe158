// Serves one programmer under the POSIX device-registry contract
// (docs/device-registry.md): registers a member folder holding LOCK and the
// two pipe sockets, carries messages between the pipes and a Firmware, and
// removes the member when it stops.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Firmware.h"

namespace sim {

struct ServerOptions {
    std::string instance = "kestro-sim-0";
    std::uint16_t vendorId = 0x1209;
    std::uint16_t productId = 0x4b51;
    std::string friendlyName = "Kestro USB Programmer (simulated)";
    std::string deviceDesc = "Kestro USB Programmer";
    // Models the USB link: the replies to a message wait for the next tick
    // of a clock of this period (0: they leave at once).
    std::chrono::microseconds latency{0};
    // For fuzzing the host's reply handling: when set, the firmware still
    // takes every message but its replies are not sent. The first message
    // taken after each new read connection is answered with these messages
    // instead, and that connection is then closed, so the host reads them in
    // order and its next read fails at once instead of waiting for a reply
    // that never comes.
    std::optional<std::vector<Message>> replyScript;
};

class DeviceServer {
public:
    DeviceServer(Firmware &firmware, ServerOptions options);
    ~DeviceServer();  // unregisters if still registered
    DeviceServer(const DeviceServer &) = delete;
    DeviceServer &operator=(const DeviceServer &) = delete;

    // Creates the member folder, takes its LOCK and starts listening on both
    // pipes. False with a reason when the member can't be registered (another
    // live server holds that instance name, the folder can't be made, ...).
    bool Register(std::string *error);

    // Carries messages until Stop() is called or the firmware drops the
    // device; then closes the pipes and removes the member.
    void Serve();

    // Ends Serve() from any thread; async-signal-safe.
    void Stop();

    // Full path of the member folder (the device interface path).
    const std::string &MemberPath() const { return memberPath_; }

private:
    void Unregister();

    Firmware &firmware_;
    ServerOptions options_;
    std::string memberPath_;
    int memberFd_ = -1;
    int lockFd_ = -1;
    int writePipeListen_ = -1;  // PIPE01: the host writes, we receive
    int readPipeListen_ = -1;   // PIPE00: we send, the host reads
    int stopFd_ = -1;           // eventfd
};

}  // namespace sim
